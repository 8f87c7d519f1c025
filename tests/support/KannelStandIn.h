#pragma once
// Kannel's sendsms as a test needs it to behave, on loopback in the test's
// own process (served while the link's wait runs the event loop): it
// accepts (and reports), breaks off its acceptance, refuses with a hostile
// answer, closes after reading, or never answers; it counts connections and requests.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>
#include <QUrlQuery>
#include <functional>
#include <string>
#include <vector>

namespace mp::test {

// Serves the event loop until `done` (at most `ms` milliseconds).
template <typename F>
bool Spin(F done, int ms = 1000) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  return done();
}

class StandIn {
 public:
  enum Mode { Accept, AcceptAndReport, AcceptThenClose, AcceptCutOff, Refuse, CloseAfterReading, Silent };
  explicit StandIn(Mode mode) : mode_(mode) {
    server_.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&server_, &QTcpServer::newConnection, [this] {
      while (QTcpSocket* s = server_.nextPendingConnection()) {
        ++connections;
        QObject::connect(s, &QTcpSocket::readyRead, [this, s] { Read(s); });
      }
    });
  }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(server_.serverPort()) + "/cgi-bin/sendsms"; }

  int connections = 0;
  std::vector<QByteArray> requests;  // request lines
  std::function<void()> onRequest;   // when a request has arrived
  // Every request after this many is refused as in Refuse (-1: never).
  int refuseAfter = -1;

 private:
  void Read(QTcpSocket* s) {
    buffer_ += s->readAll();
    if (!buffer_.contains("\r\n\r\n")) return;
    requests.push_back(buffer_.left(buffer_.indexOf("\r\n")));
    buffer_.clear();
    if (onRequest) onRequest();
    const bool refuse = refuseAfter >= 0 && int(requests.size()) > refuseAfter;
    switch (refuse ? Refuse : mode_) {
      case Silent: return;
      case CloseAfterReading: s->close(); return;
      case Refuse: {
        const QByteArray body = "\x1b]0;owned\x07\x1b[2JAuthorization failed\xe2\x80\xae!";
        s->write("HTTP/1.1 403 Forbidden\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body);
        return;
      }
      case AcceptThenClose:  // HTTP/1.0: no length, the close ends the answer
        s->write("HTTP/1.0 202 Accepted\r\n\r\n0: Accepted for delivery");
        s->flush();
        s->close();
        return;
      case AcceptCutOff:
        s->write("HTTP/1.1 202 Accepted\r\nContent-Length: 24\r\n\r\n");
        s->flush();
        s->close();
        return;
      case Accept:
      case AcceptAndReport:
        s->write("HTTP/1.1 202 Accepted\r\nContent-Length: 24\r\n\r\n0: Accepted for delivery");
        if (mode_ == AcceptAndReport) Report();
        return;
    }
  }
  // Calls the dlr-url of the last request as Kannel would: type 8, sent.
  void Report() {
    const QUrl request(QString::fromLatin1(requests.back().split(' ').value(1)));
    QString dlr = QUrlQuery(request).queryItemValue("dlr-url", QUrl::FullyDecoded);
    dlr.replace("%d", "8").replace("%A", "ACK%2F");
    const QUrl url(dlr);
    auto* report = new QTcpSocket(&server_);
    report->connectToHost(url.host(), static_cast<quint16>(url.port()));
    report->write("GET " + url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority) + " HTTP/1.1\r\nHost: x\r\n\r\n");
  }

  Mode mode_;
  QTcpServer server_;
  QByteArray buffer_;
};

}  // namespace mp::test
