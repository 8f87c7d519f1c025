#pragma once
// The network half of the way through Kannel: one sendsms request and a
// loopback listener for the delivery report. It lives in a module of its own
// (mirapost-http.so, Qt Network and Qt HTTP Server), loaded at the first
// message that goes through Kannel, so that nothing else pays for those
// libraries: not the window's start-up, not a send to a phone.
//
//   std::string error;
//   auto http = mp::gateway::OpenHttpSession(&error);
//   if (!http) fail(error);
//   const int port = http->ListenForReports([](const std::string& tail, const Query& q) { ... });
//   http->Get(url, timeout);
//   while (!http->Finished()) run the event loop;
//   http->Status(), http->Body(), http->Error()
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace mp::gateway {

class HttpSession {
 public:
  // A request's query items, percent-decoded.
  using Query = std::map<std::string, std::string>;
  // `tail` is what follows "/dlr/" in the request's path.
  using ReportHandler = std::function<void(const std::string& tail, const Query& query)>;

  virtual ~HttpSession() = default;
  // Serves GET /dlr/<tail> on 127.0.0.1 (answering "OK") for as long as the
  // session lives; the port chosen, 0 when nothing could listen.
  virtual int ListenForReports(ReportHandler handler) = 0;
  // Starts a GET of `url` (already percent-encoded), ended after `timeout`
  // without a transfer.
  virtual void Get(const std::string& url, std::chrono::milliseconds timeout) = 0;
  // True once the request ended: answered, failed or aborted.
  virtual bool Finished() const = 0;
  virtual void Abort() = 0;
  // The HTTP status, 0 when no HTTP answer came.
  virtual int Status() const = 0;
  virtual std::string Body() const = 0;
  // Why the request failed, in the network library's words.
  virtual std::string Error() const = 0;
};

// Loads the module (once; see platform/Module.h for where it is looked for)
// and opens a session; nullptr, with the reason in *error, when the module is
// missing or broken.
std::unique_ptr<HttpSession> OpenHttpSession(std::string* error);

// The name of the module's entry: `HttpSession* mirapost_http_session()`.
inline constexpr const char* kHttpEntry = "mirapost_http_session";

}  // namespace mp::gateway
