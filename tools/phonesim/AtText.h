#pragma once
// Text helpers of the simulated phone's command interpreter, shared by its
// parts: case, blanks, hex digits, parameters of extended commands, +CME
// texts and the GSM alphabet. Internal to the simulator.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "Phone.h"

namespace phonesim {

constexpr std::size_t kMaxLine = 1024;  // command line bytes kept before CR
constexpr std::size_t kMaxPdu = 1024;   // PDU hex characters kept before Ctrl-Z

std::string Upper(std::string_view s);
std::string Trim(std::string_view s);
int HexValue(char c);

// One parameter of an extended command.
struct Arg {
  std::string text;  // string constants with their \HH escapes decoded
  bool quoted = false;
  bool present = false;
};

// Splits parameters at commas outside double quotes. A string constant may
// hold "\HH" escapes (V.250 5.4.2.2), which are decoded.
std::vector<Arg> SplitArgs(std::string_view args);
bool ToInt(const Arg& a, int& value);
const char* CmeText(int code);
// The TS 27.005 3.2.5 text of a +CMS error code; nullptr for one it lacks.
const char* CmsVerbose(int code);
// Unicode -> GSM default alphabet septets (an extension character as 1B xx).
std::string UnicodeToGsm(char32_t cp);

// Appends bytes for the computer, joined to a Send event just before them.
void Send(std::vector<Event>& out, std::string_view bytes);

// The answer being built for one command line.
struct Phone::Reply {
  std::string urc;                // unsolicited lines that come first, framed
  std::vector<std::string> info;  // information text blocks, lines joined by CR LF
  enum Final { Ok, Error, Cme, Cms, None } final = Ok;
  int code = 0;
};

// One extended command of a line: its name, operation ('=' set, '?' read,
// 't' test, 'x' execute), parameters, and the reply it adds to.
struct Phone::Command {
  const std::string& name;
  char op;
  std::vector<Arg> args;
  Reply& reply;

  Arg arg(std::size_t k) const { return k < args.size() ? args[k] : Arg(); }
  bool info(std::string text) const {
    reply.info.push_back(std::move(text));
    return true;
  }
  bool cme(int code) const {
    reply.final = Reply::Cme;
    reply.code = code;
    return false;
  }
  bool cms(int code) const {
    reply.final = Reply::Cms;
    reply.code = code;
    return false;
  }
};

}  // namespace phonesim
