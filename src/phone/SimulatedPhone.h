#pragma once
// The simulated phone as a child process: started on request (never in place
// of a real phone by itself), mapped to one "COM n" of this process through
// MIRAPOST_COM<n>, and stopped with its owner or when the program is ended by
// a signal; it also ends by itself when its parent dies, however (SIGKILL
// included). Its journal records, decoded, every message it received: in a
// private folder of its own (mode 0700, in $XDG_RUNTIME_DIR or the temporary
// folder), made new with mode 0600 and removed when the simulated phone ends,
// unless the caller names a file to keep.
#include <QString>
#include <QStringList>
#include <memory>
#include <string>

class QProcess;

namespace mp {

class SimulatedPhone {
 public:
  SimulatedPhone();
  ~SimulatedPhone();
  SimulatedPhone(const SimulatedPhone&) = delete;
  SimulatedPhone& operator=(const SimulatedPhone&) = delete;

  // Starts the simulated phone and maps "COM<comNumber>" (1..9) to its
  // pseudo-terminal for this process. `extraArgs` go to its command line;
  // `journal`, when given, is the file its journal is appended to and kept.
  // False with `error` set when it cannot be started.
  bool Start(int comNumber, std::string* error, const QStringList& extraArgs = {},
             const QString& journal = {});
  void Stop();
  bool Running() const;

  int ComNumber() const { return com_; }
  // The pseudo-terminal the port is mapped to, and the journal file.
  // KeepsJournal: false when the journal goes at Stop.
  QString Device() const { return device_; }
  QString Journal() const { return journal_; }
  bool KeepsJournal() const { return privateFolder_.isEmpty(); }

  // The simulated phone's program: in the build tree's tools/phonesim when
  // this program runs from that tree, else in ../libexec/mirapost beside the
  // installed program's folder; else on the PATH. Empty when none.
  static QString FindProgram();

 private:
  std::unique_ptr<QProcess> process_;
  QString device_;
  QString journal_;
  QString privateFolder_;  // made for the journal; removed with it
  int com_ = 0;
};

}  // namespace mp
