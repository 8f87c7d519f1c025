// mirapost-http.so: HttpSession over Qt Network (the sendsms request) and Qt
// HTTP Server (the delivery report on a loopback address). Built as a module
// of its own and loaded at the first message through Kannel; it includes
// only its interface, so that it carries no second copy of the program.
#include <QHttpServer>
#include <QHttpServerRequest>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QUrl>
#include <QUrlQuery>
#include <memory>

#include "gateway/Http.h"

namespace {

class QtHttpSession final : public mp::gateway::HttpSession {
 public:
  ~QtHttpSession() override {
    if (reply_) {
      QObject::disconnect(reply_.get(), nullptr, nullptr, nullptr);
      reply_->abort();
    }
  }

  int ListenForReports(ReportHandler handler) override {
    handler_ = std::move(handler);
    if (!server_) {
      server_ = std::make_unique<QHttpServer>();
      server_->route("/dlr/<arg>", [this](const QString& tail, const QHttpServerRequest& request) {
        Query query;
        for (const auto& [name, value] : request.query().queryItems(QUrl::FullyDecoded))
          query[name.toStdString()] = value.toStdString();
        if (handler_) handler_(tail.toStdString(), query);
        return QString("OK");
      });
      port_ = server_->listen(QHostAddress::LocalHost, 0);
    }
    return port_;
  }

  void Get(const std::string& url, std::chrono::milliseconds timeout) override {
    if (reply_) reply_->abort();
    finished_ = false;
    QNetworkRequest request(QUrl::fromEncoded(QByteArray::fromStdString(url), QUrl::StrictMode));
    request.setTransferTimeout(static_cast<int>(timeout.count()));
    body_ = QByteArray();
    reply_.reset(network_.get(request));
    QObject::connect(reply_.get(), &QNetworkReply::finished, [this] { finished_ = true; });
  }

  bool Finished() const override { return finished_; }
  void Abort() override {
    if (reply_) reply_->abort();
  }
  int Status() const override {
    return reply_ ? reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() : 0;
  }
  std::string Body() const override {
    if (!reply_) return {};
    if (body_.isNull()) body_ = reply_->readAll();
    return body_.toStdString();
  }
  std::string Error() const override { return reply_ ? reply_->errorString().toStdString() : std::string(); }

 private:
  QNetworkAccessManager network_;
  std::unique_ptr<QNetworkReply> reply_;
  mutable QByteArray body_;
  bool finished_ = false;
  std::unique_ptr<QHttpServer> server_;
  int port_ = 0;
  ReportHandler handler_;
};

}  // namespace

extern "C" __attribute__((visibility("default"))) mp::gateway::HttpSession* mirapost_http_session() {
  return new QtHttpSession();
}
