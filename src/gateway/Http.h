#pragma once
// The network half of the way through Kannel: one sendsms request and a
// listener for the delivery report. It lives in a module of its own
// (mirapost-http.so, Qt Network and Qt HTTP Server), loaded at the first
// message that goes through Kannel, so that nothing else pays for those
// libraries: not the window's start-up, not a send to a phone.
//
//   std::string error;
//   auto http = mp::gateway::OpenHttpSession(&error);
//   if (!http) fail(error);
//   const int port = http->ListenForReports([](const std::string& tail, const Query& q) { ... }, {});
//   http->Get(url);
//   while (!http->Finished()) run the event loop;
//   http->Status(), http->Body(), http->End(), http->Error()
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace mp::gateway {

// What the report listener lets one client cost: another local user can
// reach the port, so neither a huge request nor many held connections may
// grow the program or keep the real report out.
struct ListenLimits {
  std::string host = "127.0.0.1";         // the address it listens on (and Kannel calls)
  int maxHead = 8 * 1024;                 // request line and headers, bytes; a body is refused
  int maxConnections = 32;                // at once; a new one pushes out the oldest unanswered one
  std::chrono::milliseconds idle{10000};  // a connection that sends nothing this long is closed
};

class HttpSession {
 public:
  // A request's query items, percent-decoded.
  using Query = std::map<std::string, std::string>;
  // `tail` is what follows "/dlr/" in the request's path.
  using ReportHandler = std::function<void(const std::string& tail, const Query& query)>;

  // How a request ended.
  enum class End {
    Running,       // not yet
    Answered,      // an HTTP answer came (Status(), Body())
    NotConnected,  // the connection was refused or the host is unknown: nothing reached the server
    Lost,          // anything else once the request may have been written: the server may have it
    Aborted,       // Abort() ended it
  };

  virtual ~HttpSession() = default;
  // Serves GET /dlr/<tail> (answering "OK") within `limits` for as long as
  // the session lives; the port chosen, 0 when nothing could listen.
  virtual int ListenForReports(ReportHandler handler, const ListenLimits& limits) = 0;
  // Starts a GET of `url` (already percent-encoded). It is written once: a
  // connection that closes before the answer is never tried again, and no
  // time-out of the network library ends it; the caller's wait does.
  virtual void Get(const std::string& url) = 0;
  virtual End Ended() const = 0;
  bool Finished() const { return Ended() != End::Running; }
  virtual void Abort() = 0;
  // The HTTP status, 0 when no HTTP answer came.
  virtual int Status() const = 0;
  virtual std::string Body() const = 0;
  // Why the request failed, in the network library's words.
  virtual std::string Error() const = 0;
  // Connections the listener holds now (for tests and benchmarks).
  virtual int Connections() const = 0;
};

// Loads the module (once; see platform/Module.h for where it is looked for)
// and opens a session; nullptr, with the reason in *error, when the module is
// missing or broken.
std::unique_ptr<HttpSession> OpenHttpSession(std::string* error);

// The name of the module's entry: `HttpSession* mirapost_http_session()`.
inline constexpr const char* kHttpEntry = "mirapost_http_session";

}  // namespace mp::gateway
