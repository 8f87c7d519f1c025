// What Kannel answers, and what its delivery reports say, decide the outcome
// a user sees: each documented sendsms answer and each report type, played by
// a stand-in Kannel on loopback, ends in the right outcome, record row and
// beep. A message Kannel holds is never called refused, a report that is not
// final never ends the wait, and a delivered message sounds as a success. The
// record's row carries the report's delivery state, as a phone's report sets
// it, with the time it came.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>
#include <QUrlQuery>
#include <algorithm>
#include <vector>

#include "gateway/GatewayLink.h"
#include "record/Record.h"
#include "support/CaseName.h"

namespace mp::gateway {
namespace {

// Kannel's delivery report types (dlr-mask bits).
enum Report { kDelivered = 1, kUndelivered = 2, kBuffered = 4, kSmscSubmit = 8, kSmscReject = 16 };

// Kannel's sendsms on 127.0.0.1: answers the request with `status` and
// `body`, then calls the request's dlr-url once for each of `reports`, in
// order, as bearerbox does.
class FakeKannel {
 public:
  FakeKannel(int status, QByteArray body, std::vector<int> reports)
      : status_(status), body_(std::move(body)), reports_(std::move(reports)) {
    server_.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&server_, &QTcpServer::newConnection, [this] {
      QTcpSocket* s = server_.nextPendingConnection();
      QObject::connect(s, &QTcpSocket::readyRead, [this, s] { Serve(s); });
    });
  }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(server_.serverPort()) + "/cgi-bin/sendsms"; }
  int requests = 0;

 private:
  void Serve(QTcpSocket* s) {
    QByteArray& got = received_[s];
    got += s->readAll();
    if (!got.contains("\r\n\r\n")) return;
    ++requests;
    const QByteArray target = got.split(' ').value(1);
    dlrUrl_ = QUrlQuery(QUrl::fromEncoded("http://x" + target).query(QUrl::FullyEncoded))
                  .queryItemValue("dlr-url", QUrl::FullyDecoded);
    s->write("HTTP/1.1 " + QByteArray::number(status_) + " Answer\r\nContent-Type: text/html\r\nContent-Length: " +
             QByteArray::number(body_.size()) + "\r\nConnection: close\r\n\r\n" + body_);
    s->disconnectFromHost();
    NextReport();
  }
  void NextReport() {
    if (reports_.empty() || dlrUrl_.isEmpty()) return;
    const int type = reports_.front();
    reports_.erase(reports_.begin());
    QString url = dlrUrl_;
    url.replace("%d", QString::number(type)).replace("%A", "id%3A1%20stat%3AX");
    QNetworkReply* r = net_.get(QNetworkRequest(QUrl(url)));
    QObject::connect(r, &QNetworkReply::finished, [this, r] {
      r->deleteLater();
      NextReport();
    });
  }

  int status_;
  QByteArray body_;
  std::vector<int> reports_;
  QString dlrUrl_;
  QTcpServer server_;
  QNetworkAccessManager net_;
  std::map<QTcpSocket*, QByteArray> received_;
};

// What the window would see and hear.
struct Host : PhoneHost {
  int PortIndex() const override { return -1; }
  void ShowStatus(const std::string& t) override { last = t; }
  void Beep(BeepKind k) override { beeps.push_back(k); }
  void SetWaitCursor(bool) override {}
  void Transferred(const TransferReport& r) override { reports.push_back(r); }
  std::string last;
  std::vector<BeepKind> beeps;
  std::vector<TransferReport> reports;
};

struct AnswerCase {
  const char* what;
  int http;
  const char* body;          // sendsms's answer
  std::vector<int> reports;  // the delivery reports that follow, in order
  Outcome outcome;
  const char* state;     // the record's row
  const char* delivery;  // and its delivery state in the end
};

void PrintTo(const AnswerCase& c, std::ostream* os) { *os << c.what; }

class KannelAnswer : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(KannelAnswer, EndsInTheOutcomeItMeans) {
  const AnswerCase& c = GetParam();
  FakeKannel kannel(c.http, c.body, c.reports);
  Config config;
  config.name = "kannel";
  config.kind = Kind::Kannel;
  config.url = kannel.Url();
  TransferSettings s;
  s.DestAddress = "0C91534810325476";
  Host host;
  // Long enough for every report to come; a wait that ends without a final
  // one is kept short.
  const bool waitsOut = c.outcome == Outcome::Queued;
  GatewayLink link(host, config, std::chrono::milliseconds(waitsOut ? 600 : 5000));
  const LinkResult r = link.Send(s, false, "0000A905E8329BFD06");

  EXPECT_EQ(r.outcome, c.outcome) << host.last;
  EXPECT_EQ(kannel.requests, 1) << "one request a message";
  const bool good = c.outcome == Outcome::Confirmed || c.outcome == Outcome::Delivered;
  EXPECT_EQ(r.Ok(), good);
  ASSERT_FALSE(host.beeps.empty());
  EXPECT_EQ(host.beeps.back(), good ? BeepKind::Ok : BeepKind::Exclamation) << "the sound of how it ended";
  ASSERT_FALSE(host.reports.empty());
  const TransferReport& row = host.reports.back();
  EXPECT_TRUE(row.finished);
  EXPECT_EQ(row.ok, good);
  EXPECT_STREQ(OutcomeName(row.result.outcome), c.state);
  const record::Entry entry = record::EntryFromReport(row);
  EXPECT_EQ(entry.delivery, c.delivery);
  EXPECT_EQ(entry.deliveryTime.empty(), entry.delivery.empty()) << entry.deliveryTime;
  // While the centre keeps trying, the row already says so (a final report
  // that came first may spare that step).
  const auto step = std::find_if(host.reports.begin(), host.reports.end(),
                                 [](const TransferReport& t) { return !t.finished && !t.delivery.empty(); });
  if (entry.delivery == "still-trying") {
    ASSERT_NE(step, host.reports.end());
  }
  if (step != host.reports.end()) {
    const record::Entry trying = record::EntryFromReport(*step);
    EXPECT_EQ(trying.delivery, "still-trying");
    EXPECT_EQ(trying.state, "queued");
  }
}

const char* const kAccepted = "0: Accepted for delivery";
const char* const kQueuedLater = "3: Queued for later delivery";

// The sendsms answers of Kannel's user guide: 202 with "0:" or "3:" (taken),
// 4xx (the request or the configuration refuses it), 503 (a temporal failure
// in Kannel, nothing queued).
INSTANTIATE_TEST_SUITE_P(
    Sendsms, KannelAnswer,
    ::testing::Values(
        AnswerCase{"accepted for delivery and no report yet", 202, kAccepted, {}, Outcome::Queued, "queued", ""},
        AnswerCase{"queued for later delivery then sent", 202, kQueuedLater, {kSmscSubmit}, Outcome::Confirmed, "sent", ""},
        AnswerCase{"queued for later delivery and no report yet", 202, kQueuedLater, {}, Outcome::Queued, "queued", ""},
        AnswerCase{"authorization failed", 403, "Authorization failed for sendsms", {}, Outcome::Refused, "refused", ""},
        AnswerCase{"bad request", 400, "Missing receiver number, rejected", {}, Outcome::Refused, "refused", ""},
        AnswerCase{"temporal failure", 503, "Temporal failure, try again later.", {}, Outcome::Refused, "refused", ""}),
    test::NamedBy(&AnswerCase::what));

// Each report type after "0: Accepted for delivery"; "buffered" (4) is not
// final: the wait goes on to the report that is.
INSTANTIATE_TEST_SUITE_P(
    Report, KannelAnswer,
    ::testing::Values(
        AnswerCase{"delivered 1", 202, kAccepted, {kDelivered}, Outcome::Delivered, "delivered", "delivered"},
        AnswerCase{"undelivered 2", 202, kAccepted, {kUndelivered}, Outcome::NotSent, "failed", "failed"},
        AnswerCase{"buffered 4 then no more", 202, kAccepted, {kBuffered}, Outcome::Queued, "queued", "still-trying"},
        AnswerCase{
            "buffered 4 then delivered 1", 202, kAccepted, {kBuffered, kDelivered}, Outcome::Delivered, "delivered", "delivered"},
        AnswerCase{
            "buffered 4 then undelivered 2", 202, kAccepted, {kBuffered, kUndelivered}, Outcome::NotSent, "failed", "failed"},
        AnswerCase{"smsc submit 8", 202, kAccepted, {kSmscSubmit}, Outcome::Confirmed, "sent", ""},
        AnswerCase{"smsc reject 16", 202, kAccepted, {kSmscReject}, Outcome::NotSent, "failed", "failed"}),
    test::NamedBy(&AnswerCase::what));

}  // namespace
}  // namespace mp::gateway
