#pragma once
// Runs a Phone on a pseudo-terminal: prints the slave's path (and points a
// symbolic link at it), moves bytes between the master side and the phone,
// paces output at a baud rate, and carries out hang-ups and chatter.
#include <cstdio>
#include <string>

#include "Phone.h"

namespace phonesim {

struct RunOptions {
  std::string link;      // symbolic link to the slave, removed at exit
  int baud = 0;          // 0: no pacing; else 10 bits a byte at this rate
  int byteMs = 0;        // when set: one byte every byteMs milliseconds (over baud)
  bool trace = false;    // dialogue on standard error
  int chatterSeconds = 60;
  int chatterIntervalMs = 200;
  std::FILE* out = stdout;  // receives the slave path, one line per pseudo-terminal
};

// Runs until SIGINT or SIGTERM. Returns the process exit code: 0 after a
// signal, 1 when the pseudo-terminal or the link cannot be made.
int RunPhone(Phone& phone, const RunOptions& options);

}  // namespace phonesim
