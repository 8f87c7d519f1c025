// GatewayLink's way through Kannel: sendsms over Qt Network, the delivery
// report on a loopback address served by Qt HTTP Server while the link waits.
#include <QHttpServer>
#include <QHttpServerRequest>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRandomGenerator>
#include <QUrl>
#include <QUrlQuery>
#include <memory>

#include "gateway/GatewayLink.h"
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

std::string Token() {
  return "mirapost-" + QString::number(QRandomGenerator::global()->generate64(), 36).toStdString();
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
  // The delivery report comes back to a loopback address of ours, served
  // while the wait lasts.
  const std::string token = Token();
  int dlrType = 0;
  std::string dlrAnswer;
  QHttpServer server;
  server.route("/dlr/<arg>", [&](const QString& which, const QHttpServerRequest& request) {
    if (which.toStdString() == token) {
      const QUrlQuery q = request.query();
      const int type = q.queryItemValue("type").toInt();
      // The first final word counts; "buffered" is not one.
      if (dlrType == 0 && type != kBuffered && type != 0) {
        dlrType = type;
        dlrAnswer = q.queryItemValue("answer", QUrl::FullyDecoded).toStdString();
      }
    }
    return QString("OK");
  });
  const quint16 port = server.listen(QHostAddress::LocalHost, 0);
  if (port == 0) {
    run.End(Outcome::NotSent, Cause::Gateway, "Failed, cannot listen for Kannel's delivery report.");
    return;
  }
  query.params.emplace_back("dlr-url", "http://127.0.0.1:" + std::to_string(port) + "/dlr/" + token +
                                           "?type=%d&answer=%A");
  QNetworkAccessManager network;
  QNetworkRequest request(QUrl::fromEncoded(QByteArray::fromStdString(SendsmsUrl(config_.url, query.params)),
                                            QUrl::StrictMode));
  request.setTransferTimeout(static_cast<int>(wait_.count()));
  std::unique_ptr<QNetworkReply> reply(network.get(request));
  bool answered = false;
  QObject::connect(reply.get(), &QNetworkReply::finished, [&answered] { answered = true; });
  run.Status("Handing the message to Kannel...");
  const Waited w = WaitFor([&] { return answered; });
  if (w != Waited::Done) {
    // Kannel may have it or not: the answer never came.
    reply->abort();
    run.End(Outcome::Unconfirmed, w == Waited::Cancelled ? Cause::Cancelled : Cause::Silence,
            "Kannel did not answer; the message may have been sent.");
    return;
  }
  const int http = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
  const std::string answer = QString::fromUtf8(reply->readAll()).trimmed().toStdString();
  if (http == 0) {
    run.End(Outcome::NotSent, Cause::Gateway, "Failed, Kannel: " + reply->errorString().toStdString());
    return;
  }
  const bool accepted = http >= 200 && http < 300 && (answer.rfind("0:", 0) == 0 || answer.rfind("3:", 0) == 0);
  if (!accepted) {
    run.result.hint = answer;
    run.End(Outcome::Refused, Cause::Gateway,
            "Failed, Kannel answered " + std::to_string(http) + ": " + (answer.empty() ? "(nothing)" : answer));
    return;
  }
  run.Status("Queued in Kannel as " + token);
  run.Queued(token);
  const Waited d = WaitFor([&] { return dlrType != 0; });
  if (d != Waited::Done) {
    run.End(Outcome::Queued, d == Waited::Cancelled ? Cause::Cancelled : Cause::Gateway,
            "Queued in Kannel as " + token + ", outcome unknown.");
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
