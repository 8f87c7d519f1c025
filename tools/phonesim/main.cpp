// mirapost-phonesim: a GSM phone on a pseudo-terminal for tests, benchmarks
// and the demonstration run.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "Phone.h"
#include "PtyRunner.h"

namespace {

const char kUsage[] =
    "usage: mirapost-phonesim [--link PATH] [--journal FILE [--journal-temporary]]\n"
    "                         [--phonebook FILE] [--no-echo]\n"
    "                         [--baud N] [--byte-ms N] [--fault NAME]...\n"
    "                         [--empty-entry ok|error|blank] [--trace] [--chatter-interval MS]\n"
    "                         [--personality NAME[,NAME]...]... [--reply-delay MS]\n"
    "                         [--report-status N]\n"
    "                         [--status-interval MS]\n"
    "Prints the pseudo-terminal's slave path as the first line of standard output and\n"
    "answers AT commands on it until SIGINT or SIGTERM.\n"
    "faults: silent, cmgf-error, refuse, no-prompt, hangup-after-prompt, chatter, long-line,\n"
    "        full, no-range, refuse-later, refuse-third\n"
    "personalities: terse, chatty, interrupting, unregistered, searching, denied, sim-pin,\n"
    "        sim-puk, cmee0, cmee1, cmee2, no-cmee, no-centre, drops-fast, pdu-entry,\n"
    "        transient-500, slow-network, lf-only, bare-prompt, empty-cme22, phase2plus,\n"
    "        reports, zero-mr\n"
    "After a hang-up a new pseudo-terminal follows: its path is printed as a further line\n"
    "and --link is pointed at it. See tools/phonesim/README.md for the journal format.\n";

int Usage(const char* why) {
  if (why) std::fprintf(stderr, "mirapost-phonesim: %s\n", why);
  std::fputs(kUsage, stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  // SIGINT and SIGTERM wait until the phone runs and takes them as the
  // request to end (its journal and link removed): a parent that dies at
  // once must not end us before that, the journal left behind.
  sigset_t ending;
  sigemptyset(&ending);
  sigaddset(&ending, SIGINT);
  sigaddset(&ending, SIGTERM);
  sigprocmask(SIG_BLOCK, &ending, nullptr);

  phonesim::PhoneOptions phoneOptions;
  phonesim::RunOptions runOptions;
  std::string journalPath, phonebookPath;
  bool journalTemporary = false;

  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i], value;
    bool hasValue = false;
    if (auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = arg.substr(eq + 1);
      arg = arg.substr(0, eq);
      hasValue = true;
    }
    auto next = [&](std::string& out) {
      if (hasValue) {
        out = value;
        return true;
      }
      if (i + 1 >= argc) return false;
      out = argv[++i];
      return true;
    };
    // The next value as a whole number from `low` to `high`.
    auto number = [&](int& out, long low, long high) {
      std::string v;
      char* end = nullptr;
      if (!next(v) || v.empty()) return false;
      const long n = std::strtol(v.c_str(), &end, 10);
      if (*end || n < low || n > high) return false;
      out = static_cast<int>(n);
      return true;
    };
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--no-echo") {
      phoneOptions.echo = false;
    } else if (arg == "--trace") {
      runOptions.trace = true;
    } else if (arg == "--link") {
      if (!next(runOptions.link) || runOptions.link.empty()) return Usage("--link needs a path");
    } else if (arg == "--journal") {
      if (!next(journalPath) || journalPath.empty()) return Usage("--journal needs a file");
    } else if (arg == "--journal-temporary") {
      journalTemporary = true;
    } else if (arg == "--phonebook") {
      if (!next(phonebookPath) || phonebookPath.empty()) return Usage("--phonebook needs a file");
    } else if (arg == "--baud") {
      if (!number(runOptions.baud, 0, 10'000'000)) return Usage("--baud needs a rate up to 10000000");
    } else if (arg == "--byte-ms") {
      if (!number(runOptions.byteMs, 0, 3'600'000)) return Usage("--byte-ms needs milliseconds");
    } else if (arg == "--chatter-interval") {
      if (!number(runOptions.chatterIntervalMs, 1, 60'000))
        return Usage("--chatter-interval needs milliseconds from 1 to 60000");
    } else if (arg == "--fault") {
      std::string v;
      phonesim::Fault fault;
      if (!next(v) || !phonesim::ParseFault(v, fault)) return Usage("unknown --fault");
      phoneOptions.faults.insert(fault);
    } else if (arg == "--personality") {
      std::string v, error;
      if (!next(v)) return Usage("--personality needs a name");
      if (!phonesim::ParsePersonalities(v, phoneOptions.personalities, error)) return Usage(error.c_str());
    } else if (arg == "--report-status") {
      if (!number(phoneOptions.reportStatus, 0, 255)) return Usage("--report-status needs a TP-ST value from 0 to 255");
    } else if (arg == "--reply-delay") {
      if (!number(phoneOptions.replyDelayMs, 0, 600'000)) return Usage("--reply-delay needs milliseconds up to 600000");
    } else if (arg == "--status-interval") {
      if (!number(phoneOptions.statusIntervalMs, 1, 60'000))
        return Usage("--status-interval needs milliseconds from 1 to 60000");
    } else if (arg == "--empty-entry") {
      std::string v;
      if (!next(v) || !phonesim::ParseEmptyEntry(v, phoneOptions.emptyEntry)) return Usage("bad --empty-entry");
    } else {
      return Usage(("unknown argument " + arg).c_str());
    }
  }

  if (!phonebookPath.empty()) {
    std::string error;
    if (!phonesim::LoadPhonebook(phonebookPath, phoneOptions.mePhonebook, error)) {
      std::fprintf(stderr, "mirapost-phonesim: %s\n", error.c_str());
      return 1;
    }
  }
  int journalFd = -1;
  if (!journalPath.empty()) {
    // Never through a link, never held by a FIFO; readable by this user
    // alone when made here, and only ever a file of this user's own.
    journalFd =
        open(journalPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK, 0600);
    if (journalFd < 0) {
      std::fprintf(stderr, "mirapost-phonesim: %s: %s\n", journalPath.c_str(), std::strerror(errno));
      return 1;
    }
    struct stat st {};
    if (fstat(journalFd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid()) {
      std::fprintf(stderr, "mirapost-phonesim: %s: not a regular file of your own\n", journalPath.c_str());
      return 1;
    }
    fcntl(journalFd, F_SETFL, O_APPEND);
  }

  phonesim::Phone phone(phoneOptions);
  if (journalFd >= 0) {
    // One write a line, so that a reader never sees half a line.
    phone.journal = [journalFd](const std::string& line) {
      // Each entry begins with the time it was received, in UTC.
      char stamp[40] = "";
      const std::time_t now = std::time(nullptr);
      std::tm utc{};
      if (gmtime_r(&now, &utc)) std::strftime(stamp, sizeof stamp, "{\"time\":\"%Y-%m-%dT%H:%M:%SZ\",", &utc);
      std::string text = line;
      if (stamp[0] != '\0' && text.size() > 1 && text[0] == '{') text.replace(0, 1, stamp);
      text += "\n";
      std::size_t done = 0;
      while (done < text.size()) {
        ssize_t n = write(journalFd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
      }
    };
  }
  int rc = phonesim::RunPhone(phone, runOptions);
  if (journalFd >= 0) close(journalFd);
  if (journalTemporary) {
    // The journal of one run, in a folder made for it: both go.
    unlink(journalPath.c_str());
    const std::string::size_type slash = journalPath.rfind('/');
    if (slash != std::string::npos && slash > 0) rmdir(journalPath.substr(0, slash).c_str());
  }
  return rc;
}
