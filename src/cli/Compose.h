#pragma once
// From the command line's request to what goes to the phone: each kind builds
// its body with the same builders and the same rules as its page of the main
// window. Bad input throws InputError with a text that names the problem.
#include <QString>
#include <QStringList>
#include <istream>
#include <stdexcept>
#include <string>
#include <vector>

#include "builders/Messages.h"
#include "pdu/Reading.h"
#include "phone/PhoneLink.h"

namespace mp::cli {

// Bad usage or bad input: exit code 2.
struct InputError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// What the command line asked for, before any checking.
struct Request {
  QString kind;
  QStringList words;  // the text arguments after the kind
  QStringList to;     // recipients as typed
  bool save = false;
  QString centre;
  bool centreGiven = false;
  bool noReport = false;
  bool forward = false;
  QString coding;         // "", "7bit", "16bit", "auto" (text kinds)
  bool longText = false;  // --long: a text may take several parts
  int maxParts = 10;      // --max-parts
  bool maxPartsGiven = false;
  QString file;
  QString voice, fax, email;  // "", "on", "off"
  QString op, picture, description;
  bool descriptionGiven = false;
  QString name, number;
  bool nameGiven = false, numberGiven = false;
  // The coding the data coding dialog would offer (the stored choice).
  bool storedSevenBit = true;
};

// One message for TransferMessage.
struct Outgoing {
  QString recipient;  // as typed; empty when saved without one
  TransferSettings settings;
  Body body;                // the message, or the first part of a long text
  std::vector<Body> parts;  // a text of several parts: every part (reference 00 until sent)
};

// One phonebook entry for WritePhonebookEntry.
struct Entry {
  QString name;  // as given (markup removed)
  std::string hexName;
  std::string number;
  int type = 0;
};

struct Composed {
  QString kind;
  std::vector<Outgoing> messages;  // empty for a phonebook entry
  bool isEntry = false;
  Entry entry;
  // Characters of the text or name that the receiving phone shows otherwise
  // (or not at all), as the window's preview lists them.
  std::vector<pdu::CharChange> changes;
};

// Standard input holds at most this much for a text (a message's 320
// characters, markup and all, many times over); a message file at most
// kMaxFileBytes. More is refused (exit 2) before it is read.
inline constexpr std::size_t kMaxInputBytes = 64 * 1024;
inline constexpr qint64 kMaxFileBytes = 4 << 20;

inline const QStringList kKinds = {"text", "class0", "hidden", "blink", "indicator",
                                   "void", "template", "logo",   "phonebook"};

// `in` is read when the text is "-".
Composed Compose(const Request& request, std::istream& in);

}  // namespace mp::cli
