// GatewayLink's way through Kannel: sendsms and the delivery report on a
// loopback address while the link waits, through the network module
// (gateway/Http.h), loaded here at the first message.
#include <QByteArray>
#include <QRandomGenerator>
#include <QString>
#include <cstdlib>
#include <ctime>
#include <optional>

#include "gateway/Credentials.h"
#include "gateway/GatewayLink.h"
#include "gateway/Http.h"
#include "gateway/Kannel.h"

namespace mp::gateway {

namespace {

// Kannel's delivery report types (dlr-mask bits).
enum Dlr { kDelivered = 1, kUndelivered = 2, kBuffered = 4, kSmscAccepted = 8, kSmscRejected = 16 };

QByteArray EncodedQuery(const std::vector<std::pair<std::string, std::string>>& params) {
  QByteArray out;
  for (const auto& [name, value] : params) {
    if (!out.isEmpty()) out += '&';
    out += QByteArray::fromStdString(name).toPercentEncoding() + '=' +
           QByteArray::fromStdString(value).toPercentEncoding();
  }
  return out;
}

// The record's name for what a DLR type says of delivery to the phone, empty
// when it says nothing of it (the centre took the message).
const char* DeliveryOf(int type) {
  switch (type) {
    case kDelivered: return "delivered";
    case kUndelivered:
    case kSmscRejected: return "failed";
    case kBuffered: return "still-trying";
    default: return "";
  }
}

std::string Token() {
  return "mirapost-" + QString::number(QRandomGenerator::global()->generate64(), 36).toStdString();
}

// The delivery report's address: the listener's host (a literal IPv6
// address in brackets), its port and our token.
std::string DlrUrl(const std::string& host, int port, const std::string& token) {
  const std::string h = host.find(':') != std::string::npos ? "[" + host + "]" : host;
  return "http://" + h + ":" + std::to_string(port) + "/dlr/" + token + "?type=%d&answer=%A";
}

// How a sendsms request ended unless Kannel accepted it (then nothing).
struct Ending {
  Outcome outcome;
  Cause cause;
  std::string text, hint;
};
std::optional<Ending> RequestEnding(HttpSession& http, bool cancelled, bool bound) {
  if (cancelled)
    return Ending{Outcome::Unconfirmed, Cause::Cancelled,
                  "Cancelled; Kannel may already have the message: it may have been sent.", ""};
  if (bound)
    return Ending{Outcome::Unconfirmed, Cause::Silence, "Kannel did not answer in time; the message may have been sent.",
                  ""};
  const int status = http.Status();
  const std::string answer = GatewayText(http.Body());
  // Kannel's word counts, however the connection ended after it.
  if (status >= 200 && status < 300 && (answer.rfind("0:", 0) == 0 || answer.rfind("3:", 0) == 0)) return std::nullopt;
  const std::string error = GatewayText(HideCredentials(http.Error()));
  // Only no connection at all proves that nothing reached Kannel.
  if (http.Ended() == HttpSession::End::NotConnected)
    return Ending{Outcome::NotSent, Cause::Gateway, "Failed, Kannel: " + error, ""};
  if (http.Ended() != HttpSession::End::Answered)
    return Ending{Outcome::Unconfirmed, Cause::LineBroken,
                  "Kannel did not answer: " + error + "; the message may have been sent.", ""};
  return Ending{Outcome::Refused, Cause::Gateway,
                "Failed, Kannel answered " + std::to_string(status) + ": " + (answer.empty() ? "(nothing)" : answer),
                answer};
}

}  // namespace

std::string SendsmsUrl(const std::string& base, const std::vector<std::pair<std::string, std::string>>& params) {
  QByteArray url = QByteArray::fromStdString(base);
  url += url.contains('?') ? '&' : '?';
  url += EncodedQuery(params);
  return url.toStdString();
}

}  // namespace mp::gateway

namespace mp::gateway {

void GatewayLink::SendKannel(Run& run) {
  SendsmsQuery query = MapToSendsms(config_, run.report.tpdu);
  if (!query.ok) {
    run.End(Outcome::Refused, Cause::Gateway, "Failed, " + query.error + ".");
    return;
  }
  std::string error;
  const std::unique_ptr<HttpSession> http = OpenHttpSession(&error);
  if (!http) {
    run.End(Outcome::NotSent, Cause::Gateway, "Failed, " + error + ".");
    return;
  }
  // The delivery report comes back to an address of ours, served while the
  // wait lasts: loopback, or the address given for a Kannel elsewhere.
  const std::string token = Token();
  int dlrType = 0;
  bool buffered = false;
  std::string dlrAnswer;
  ListenLimits limits;
  if (!config_.dlrHost.empty()) limits.host = config_.dlrHost;
  const int port = http->ListenForReports(
      [&](const std::string& which, const HttpSession::Query& q) {
        if (which != token) return;
        const auto type = q.find("type");
        const int t = type == q.end() ? 0 : std::atoi(type->second.c_str());
        // The first final word counts; "buffered" is not one.
        if (t == kBuffered) buffered = true;
        if (dlrType == 0 && t != kBuffered && t != 0) {
          dlrType = t;
          const auto answer = q.find("answer");
          dlrAnswer = answer == q.end() ? std::string() : GatewayText(answer->second);
        }
      },
      limits);
  if (port == 0) {
    run.End(Outcome::NotSent, Cause::Gateway,
            "Failed, cannot listen for Kannel's delivery report on " + limits.host + ".");
    return;
  }
  query.params.emplace_back("dlr-url", DlrUrl(limits.host, port, token));
  run.Status("Handing the message to Kannel...");
  run.Pending();
  http->Get(SendsmsUrl(config_.url, query.params));
  const Waited w = WaitFor([&] { return http->Finished(); });
  // The request may have reached Kannel: nobody can say it was not sent.
  if (w != Waited::Done) http->Abort();
  if (const std::optional<Ending> e = RequestEnding(*http, w == Waited::Cancelled, w == Waited::Bound)) {
    run.result.hint = e->hint;
    run.End(e->outcome, e->cause, e->text);
    return;
  }
  run.Status("Queued in Kannel as " + token);
  run.Queued(token);
  // "Buffered": the centre keeps trying; the record's row says so meanwhile.
  Waited d = WaitFor([&] { return dlrType != 0 || buffered; });
  if (d == Waited::Done && dlrType == 0) {
    run.report.delivery = DeliveryOf(kBuffered);
    run.report.deliveryUtc = std::time(nullptr);
    run.Queued(token);
    d = WaitFor([&] { return dlrType != 0; });
  }
  if (d == Waited::Done && *DeliveryOf(dlrType) != '\0') {
    run.report.delivery = DeliveryOf(dlrType);
    run.report.deliveryUtc = std::time(nullptr);
  }
  if (d == Waited::Cancelled) {
    run.End(Outcome::Queued, Cause::Cancelled,
            "Cancelled; the message is queued in Kannel as " + token + " and may still be sent.");
  } else if (d != Waited::Done) {
    run.End(Outcome::Queued, Cause::Gateway, "Queued in Kannel as " + token + ", outcome unknown.");
  } else if (dlrType == kDelivered) {
    run.End(Outcome::Delivered, Cause::None, "Message delivered.");
  } else if (dlrType == kSmscAccepted) {
    run.End(Outcome::Confirmed, Cause::None, "Message successfully sent through Kannel.");
  } else {
    run.result.hint = dlrAnswer;
    run.End(Outcome::NotSent, Cause::Gateway,
            "Failed, Kannel: " + std::string(dlrType == kSmscRejected ? "the phone refused it" : "not delivered") +
                (dlrAnswer.empty() ? std::string() : " (" + dlrAnswer + ")"));
  }
}

}  // namespace mp::gateway
