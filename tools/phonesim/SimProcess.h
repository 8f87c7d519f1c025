#pragma once
// Starts mirapost-phonesim as a child process for a test or a benchmark and
// stops it again. Typical use:
//
//   phonesim::SimProcess sim;
//   ASSERT_TRUE(sim.Start(MP_PHONESIM, {"--journal", journalPath})) << sim.Error();
//   ... open sim.SlavePath() ...
//   auto lines = phonesim::ReadJournal(journalPath);
//   sim.Stop();  // also done by the destructor
#include <sys/types.h>

#include <string>
#include <vector>

namespace phonesim {

class SimProcess {
 public:
  SimProcess() = default;
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;
  ~SimProcess();

  // Spawns `binary` with `args` and waits (at most `timeoutMs`) for the first
  // line of its standard output, the slave path.
  bool Start(const std::string& binary, const std::vector<std::string>& args, int timeoutMs = 5000);
  const std::string& SlavePath() const { return slave_; }
  const std::string& Error() const { return error_; }
  pid_t Pid() const { return pid_; }

  // The next line of standard output within `timeoutMs` (after a hang-up the
  // simulator prints the path of its new pseudo-terminal); empty on time-out.
  std::string NextLine(int timeoutMs);

  // SIGTERM, then waits up to 5 s (SIGKILL after that). Returns the exit
  // status as waitpid gives it to WEXITSTATUS (-1 when killed or not running).
  int Stop();
  bool Running() const { return pid_ > 0; }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  std::string buffered_;
  std::string slave_;
  std::string error_;
};

// The journal's lines (JSON objects), without their line feeds.
std::vector<std::string> ReadJournal(const std::string& path);

}  // namespace phonesim
