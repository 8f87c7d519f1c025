// mirapost-http.so: HttpSession over Qt Network (the sendsms request) and Qt
// HTTP Server (the delivery report). Built as a module of its own and loaded
// at the first message through Kannel; it includes only its interface, so
// that it carries no second copy of the program.
#include <QHostInfo>
#include <QHttpServer>
#include <QHttpServerRequest>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>
#include <list>
#include <memory>

#include "gateway/Http.h"

namespace {

using mp::gateway::ListenLimits;

// An empty body that cannot be read twice. A GET carries it (Content-Length:
// 0) so that the network library, which would write the request again on a
// new connection when the first closes before the answer, finds it cannot
// and ends the reply instead: Kannel may have read the first one.
class OnceOnlyBody final : public QIODevice {
 public:
  OnceOnlyBody() { open(QIODevice::ReadOnly); }
  bool isSequential() const override { return true; }
  bool reset() override { return false; }
  bool seek(qint64) override { return false; }
  bool atEnd() const override { return true; }
  qint64 bytesAvailable() const override { return 0; }

 protected:
  qint64 readData(char*, qint64) override { return -1; }
  qint64 writeData(const char*, qint64) override { return -1; }
};

// Where a request's head ends (after its empty line, CR LF or LF alone),
// -1 while it has not.
qsizetype HeadEnd(const QByteArray& data) {
  const qsizetype crlf = data.indexOf("\r\n\r\n"), lf = data.indexOf("\n\n");
  if (crlf < 0) return lf < 0 ? -1 : lf + 2;
  return lf < 0 || crlf + 2 < lf ? crlf + 4 : lf + 2;
}

// Whether a head announces a body: a Transfer-Encoding, or a Content-Length
// other than 0.
bool AnnouncesBody(const QByteArray& head) {
  for (const QByteArray& line : head.split('\n')) {
    const qsizetype colon = line.indexOf(':');
    if (colon < 0) continue;
    const QByteArray name = line.left(colon).trimmed().toLower();
    if (name == "transfer-encoding") return true;
    if (name == "content-length" && line.mid(colon + 1).trimmed() != "0") return true;
  }
  return false;
}

// Takes each connection first and hands it to the HTTP server only once its
// whole request head has arrived within the limits: the server itself keeps
// whatever a client sends until the request is complete, which lets one
// endless request line grow the program without bound.
class BoundedServer final : public QTcpServer {
 public:
  explicit BoundedServer(ListenLimits limits) : limits_(std::move(limits)) {}
  ~BoundedServer() override {
    // The connections go while what they report to is still here.
    std::list<Held> all;
    all.swap(held_);
    for (Held& h : all) {
      QObject::disconnect(h.socket, nullptr, this, nullptr);
      delete h.socket;
    }
  }
  void SetHttp(QAbstractHttpServer* http) { http_ = http; }
  int Count() const { return static_cast<int>(held_.size()); }

 protected:
  void incomingConnection(qintptr handle) override {
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(handle)) {
      delete socket;
      return;
    }
    // More than the head never waits in memory: reading stops when it is full.
    socket->setReadBufferSize(limits_.maxHead + 1);
    if (static_cast<int>(held_.size()) >= limits_.maxConnections) Evict();
    held_.push_back({socket, State::Reading});
    auto* idle = new QTimer(socket);
    idle->setSingleShot(true);
    QObject::connect(idle, &QTimer::timeout, socket, [socket] { socket->abort(); });
    idle->start(limits_.idle);
    QObject::connect(socket, &QTcpSocket::readyRead, this, [this, socket, idle] {
      idle->start(limits_.idle);
      Check(socket);
    });
    QObject::connect(socket, &QTcpSocket::disconnected, this, [this, socket] { Drop(socket); });
    QObject::connect(socket, &QObject::destroyed, this, [this, socket] { Forget(socket); });
    if (socket->bytesAvailable() > 0) Check(socket);
  }

 private:
  enum class State { Reading, Handing, Handed };
  struct Held {
    QTcpSocket* socket;
    State state;
  };

  Held* Find(QTcpSocket* socket) {
    for (Held& h : held_)
      if (h.socket == socket) return &h;
    return nullptr;
  }
  void Forget(QTcpSocket* socket) {
    held_.remove_if([socket](const Held& h) { return h.socket == socket; });
  }
  void Drop(QTcpSocket* socket) {
    Forget(socket);
    socket->deleteLater();
  }
  // At the limit, the oldest connection that has not sent a whole request
  // goes: a client that holds connections open loses its own, while a
  // report, which comes whole at once, gets through.
  void Evict() {
    auto victim = held_.begin();
    for (auto it = held_.begin(); it != held_.end(); ++it)
      if (it->state == State::Reading) {
        victim = it;
        break;
      }
    QTcpSocket* socket = victim->socket;
    held_.erase(victim);
    socket->abort();
    socket->deleteLater();
  }

  void Check(QTcpSocket* socket) {
    Held* h = Find(socket);
    if (!h || h->state == State::Handing) return;
    if (h->state == State::Handed) {
      // One request a connection: whatever follows the answered one is
      // not read.
      socket->abort();
      return;
    }
    const QByteArray head = socket->peek(limits_.maxHead + 1);
    const qsizetype end = HeadEnd(head);
    if (end < 0) {
      if (head.size() > limits_.maxHead) socket->abort();
      return;
    }
    // A report is a GET without a body: anything after the head, or a
    // head that announces a body, is refused.
    if (head.size() > end || AnnouncesBody(head.left(end))) {
      socket->abort();
      return;
    }
    h->state = State::Handing;
    addPendingConnection(socket);  // the HTTP server takes it now (a direct connection)...
    emit socket->readyRead();      // ...and reads the head that is already here
    if ((h = Find(socket))) h->state = State::Handed;
    if (http_) QObject::disconnect(socket, &QTcpSocket::readyRead, http_, nullptr);
    if (socket->state() == QAbstractSocket::ConnectedState) socket->disconnectFromHost();
  }

  ListenLimits limits_;
  QPointer<QAbstractHttpServer> http_;
  std::list<Held> held_;
};

class QtHttpSession final : public mp::gateway::HttpSession {
 public:
  ~QtHttpSession() override {
    if (reply_) {
      QObject::disconnect(reply_.get(), nullptr, nullptr, nullptr);
      reply_->abort();
    }
    // The server owns its TCP server; both go before the handler.
    server_.reset();
  }

  int ListenForReports(ReportHandler handler, const ListenLimits& limits) override {
    handler_ = std::move(handler);
    if (server_) return port_;
    QHostAddress address(QString::fromStdString(limits.host));
    if (address.isNull()) {
      // A name: the first address it has.
      const QHostInfo info = QHostInfo::fromName(QString::fromStdString(limits.host));
      if (info.addresses().isEmpty()) return 0;
      address = info.addresses().front();
    }
    server_ = std::make_unique<QHttpServer>();
    server_->route("/dlr/<arg>", [this](const QString& tail, const QHttpServerRequest& request) {
      Query query;
      for (const auto& [name, value] : request.query().queryItems(QUrl::FullyDecoded))
        query[name.toStdString()] = value.toStdString();
      if (handler_) handler_(tail.toStdString(), query);
      return QString("OK");
    });
    auto* tcp = new BoundedServer(limits);
    if (!tcp->listen(address, 0)) {
      delete tcp;
      server_.reset();
      return 0;
    }
    tcp_ = tcp;
    tcp->SetHttp(server_.get());
    server_->bind(tcp);
    port_ = tcp->serverPort();
    return port_;
  }

  void Get(const std::string& url) override {
    if (reply_) reply_->abort();
    end_ = End::Running;
    QNetworkRequest request(QUrl::fromEncoded(QByteArray::fromStdString(url), QUrl::StrictMode));
    // Our wait decides how long; a redirect would be a second request.
    request.setTransferTimeout(0);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    request.setAttribute(QNetworkRequest::DoNotBufferUploadDataAttribute, true);
    request.setHeader(QNetworkRequest::ContentLengthHeader, 0);
    body_ = QByteArray();
    auto* once = new OnceOnlyBody;
    reply_.reset(network_.sendCustomRequest(request, "GET", once));
    // Kannel's answer is a line; more is never kept.
    reply_->setReadBufferSize(64 * 1024);
    once->setParent(reply_.get());
    QObject::connect(reply_.get(), &QNetworkReply::finished, [this] { end_ = Classify(); });
  }

  End Ended() const override { return end_; }
  void Abort() override {
    if (reply_ && end_ == End::Running) {
      aborting_ = true;
      reply_->abort();
      aborting_ = false;
      end_ = End::Aborted;
    }
  }
  int Status() const override {
    return reply_ ? reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() : 0;
  }
  std::string Body() const override {
    if (!reply_) return {};
    if (body_.isNull()) body_ = reply_->read(64 * 1024);
    return body_.toStdString();
  }
  std::string Error() const override {
    if (!reply_) return {};
    // The library's refusal to write the request twice reads as an unknown
    // error: it is a connection closed before the answer.
    if (reply_->error() == QNetworkReply::ContentReSendError || reply_->error() == QNetworkReply::RemoteHostClosedError)
      return "the connection closed";
    return reply_->errorString().toStdString();
  }
  int Connections() const override { return tcp_ ? tcp_->Count() : 0; }

 private:
  End Classify() const {
    if (aborting_) return End::Aborted;
    if (Status() != 0) {
      // An acceptance cut off by the network is no refusal: Kannel may
      // hold the message.
      // (The library may even have tried to write the request again.)
      const QNetworkReply::NetworkError error = reply_->error();
      const bool cut = (error > QNetworkReply::NoError && error < QNetworkReply::ProxyConnectionRefusedError) ||
                       error == QNetworkReply::ContentReSendError;
      return Status() < 300 && cut ? End::Lost : End::Answered;
    }
    switch (reply_->error()) {
      // Only these prove that nothing reached the server.
      case QNetworkReply::ConnectionRefusedError:
      case QNetworkReply::HostNotFoundError: return End::NotConnected;
      default: return End::Lost;
    }
  }

  QNetworkAccessManager network_;
  std::unique_ptr<QNetworkReply> reply_;
  mutable QByteArray body_;
  End end_ = End::Running;
  bool aborting_ = false;
  std::unique_ptr<QHttpServer> server_;
  QPointer<BoundedServer> tcp_;
  int port_ = 0;
  ReportHandler handler_;
};

}  // namespace

extern "C" __attribute__((visibility("default"))) mp::gateway::HttpSession* mirapost_http_session() {
  return new QtHttpSession();
}
