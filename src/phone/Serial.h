#pragma once
// The serial line behind a small interface, so that the AT dialogues can run
// against a real termios port or an in-memory fake.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "phone/PortAccess.h"

namespace mp {

// Time-outs in milliseconds, as the port keeps them. The total constants
// bound each single-byte read and each write call.
struct CommTimeouts {
  std::uint32_t ReadIntervalTimeout = 0;
  std::uint32_t ReadTotalTimeoutMultiplier = 0;
  std::uint32_t ReadTotalTimeoutConstant = 0;
  std::uint32_t WriteTotalTimeoutMultiplier = 0;
  std::uint32_t WriteTotalTimeoutConstant = 0;
};

class SerialLine {
 public:
  virtual ~SerialLine() = default;
  // Opens the device exclusively for reading and writing; false when it does
  // not exist, may not be opened, is in use, or is no terminal. Failure()
  // then says why.
  virtual bool Open(const std::string& device) = 0;
  // 19200 baud, 8N1, RTS/CTS, raw; true when the line settings were applied.
  virtual bool Configure() = 0;
  // Why the last Open (or Configure) failed; PortError::None when it did not
  // or the line cannot tell.
  virtual PortFailure Failure() const { return {}; }
  virtual bool GetTimeouts(CommTimeouts& t) = 0;
  virtual bool SetTimeouts(const CommTimeouts& t) = 0;
  // Raise DTR and RTS; failures are ignored by callers.
  virtual bool RaiseDtr() = 0;
  virtual bool RaiseRts() = 0;
  // Discards input already waiting.
  virtual void PurgeInput() = 0;
  // Reads one byte within the read time-out; false on time-out, hang-up, or
  // when the wait hook ends the wait.
  virtual bool ReadByte(unsigned char& b) = 0;
  // Writes within the write time-out; returns the number of bytes written
  // (fewer when the wait hook ends the wait).
  virtual int Write(const char* data, int length) = 0;
  virtual void Close() = 0;
  // True once a read found the other side gone (end of file, EIO, POLLHUP):
  // a failed read is then a broken line, not a silent phone.
  virtual bool HungUp() const { return false; }

  // The pause before each write and the clock that bounds a whole wait. A real
  // line sleeps and reads the monotonic clock; a fake may keep its own time.
  // A pause runs the wait hook as well and ends early when it says so.
  virtual void Pause(int milliseconds);
  virtual std::int64_t NowMs();

  // Every wait of the line (for a byte, for room to write, a pause) runs in
  // slices of at most kWaitSliceMs and calls the hook between them, and also
  // while bytes keep coming, at most kWaitSliceMs apart. The hook returns
  // true to end the wait at once. The phone link uses it to let the window
  // live and to bound a whole reply.
  static constexpr int kWaitSliceMs = 20;
  // With an event wait the hook's owner serves its events while it waits, and
  // between bytes that keep coming the hook runs this often.
  static constexpr int kHostedSliceMs = 2;
  using WaitHook = std::function<bool()>;
  void SetWaitHook(WaitHook hook) { hook_ = std::move(hook); }

  // Waits in the wait hook instead of the line's own poll() and sleep: when
  // nothing is ready, the line arms the wait (`fd` to become readable, or
  // writable with `forWrite`, or `milliseconds` to pass; fd -1 for the time
  // alone) and runs the hook at once, whose owner then waits serving its
  // events as they arrive (a window's local event loop) and returns at the
  // first of the three or on a cancel. The link's guard against re-entry
  // thus covers the whole wait.
  using EventWait = std::function<void(int fd, bool forWrite, int milliseconds)>;
  void SetEventWait(EventWait wait) { eventWait_ = std::move(wait); }

 protected:
  // Runs the hook when a slice has passed since its last run (on NowMs()'s
  // clock); true when the wait is to end.
  bool WaitEnded();
  bool RunHook();
  // Waits up to `milliseconds` for `events` (POLLIN or POLLOUT) on `fd`, through
  // the event wait when there is one; poll()'s result and revents, -1 with
  // errno ECANCELED when the hook ended the wait.
  int PollLine(int fd, short events, short& revents, int milliseconds);
  // Milliseconds until the hook is due again (1 .. kWaitSliceMs): the longest
  // a wait may sleep in one piece.
  int MsUntilHook();
  int SliceMs() const { return eventWait_ ? kHostedSliceMs : kWaitSliceMs; }

 private:
  WaitHook hook_;
  EventWait eventWait_;
  std::int64_t lastHook_ = 0;
  bool hookRan_ = false;
};

using SerialFactory = std::function<std::unique_ptr<SerialLine>()>;

// The termios implementation. Exclusive use: a UUCP lock file, a device that
// another process holds open is refused (naming it), flock, and the terminal's
// exclusive mode while the line is open (cleared again before the close, as a
// pseudo-terminal keeps it after the close). Uses CurrentPortPaths().
std::unique_ptr<SerialLine> MakePosixSerialLine();

class PhoneHost;
// Termios lines that wait through the host (ArmLineWait, then the wait hook
// that runs ServiceEvents), so that a window serves its events as they
// arrive while the phone is silent.
SerialFactory HostedSerialFactory(PhoneHost& host);

// The kind of failure an errno value of open() means.
PortError PortErrorFromErrno(int errnum);

// "COM1:" .. "COM9:" -> device path: $MIRAPOST_COM<n>, else the settings text
// value "COM<n>", else the default table. Empty for anything else (COM0:).
std::string ResolvePortDevice(const std::string& portName);
// Paced writing chosen for COM n (the settings value "Pace<n>").
bool PortPaced(int comNumber);
// Whether the phone on COM<n> is asked to keep its delivery reports (the
// settings value "KeepReports<n>"; on when absent, 0 turns it off).
bool PortKeepsReports(int comNumber);
// The default table's device for COM n (1..9); empty for any other n.
std::string DefaultPortDevice(int comNumber);

}  // namespace mp
