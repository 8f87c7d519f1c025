// The --help text; the manual page (data/man/mirapost-send.1.scd) says the
// same at length.
#include "cli/Send.h"

namespace mp::cli {

const char* HelpText() {
  return R"(Usage: mirapost-send [OPTION]... KIND [ARGUMENTS]
Composes a special GSM short message and stores or sends it through a phone
on a serial line (AT commands, SMS PDU mode), as the MIRAPOST window does.

Kinds:
  text TEXT                  a normal text message
  class0 TEXT                a class 0 message, shown at once
  hidden TEXT                a hidden message (a leading character 0000)
  blink TEXT                 a blinking message: {blink}...{/blink} marks the
                             blinking parts, {{ is a literal brace
  indicator --voice on|off --fax on|off --email on|off
                             switches the receiver's waiting indicators
                             (at least one of the three)
  void                       only the receiver's new-message signal
  template                   an empty class 0 message stored in the SIM
  logo --operator MCC-MNC [--picture FILE] [--description TEXT]
                             an operator logo made from any picture
                             (000-00 removes the logo of any operator)
  phonebook --name TEXT --number NUMBER
                             a phonebook entry in the phone's own memory;
                             {blink} markup in the name
  reports                    reads the delivery reports the phone keeps into
                             the record of sent messages, deleting from the
                             phone those matched to a message
  A TEXT of - is read from standard input. Several words are joined by blanks.
  After -- nothing is an option, so that a text may start with a dash:
    mirapost-send --to 5551234 text -- -5 degrees tonight

Options:
  --port COMn|DEVICE         the phone's port: COM1 to COM9 as the window maps
                             them, or a device path (default: the stored port)
  --simulated-phone          start the simulated phone on the port and use it
  --journal FILE             with --simulated-phone: keep what it received in
                             FILE (otherwise removed when the run ends)
  --to NUMBER                the recipient; repeat for several, sent one after
                             another on one connection
  --save                     store the message in the SIM instead of sending
  --centre NUMBER            the message centre (default: the phone's own)
  --no-report                ask for no status report
  --forward                  indicator: the receiver keeps the message
  --coding auto|7bit|16bit   text kinds: 7bit (default) maps to the GSM
                             alphabet with look-alikes; auto keeps every
                             character (GSM with its extension table, else
                             UCS-2); 16bit is UCS-2. Indicator stored with
                             --save: 7bit or 16bit, the info text's coding
                             (default: the window's stored choice)
  --long                     a text longer than one message goes in parts
                             that the receiving phone joins
  --max-parts N              with --long: at most N parts (1-255, default 10)
  --file FILE                the text from a message file; in RTF, red text
                             blinks
  --dry-run                  print the SCA, the TPDU and what the receiving
                             phone reads; open no port
  --json                     print one JSON object per message (bad usage
                             too, as {"result": "bad-input", "error": ...})
  --strict                   refuse (exit 2) a text or name that would not
                             arrive as written; without it the characters
                             that change are named on standard error
  --log FILE                 write the serial traffic to FILE
  --pace                     write to the phone in small paced pieces, for
                             phones that lose bytes of a PDU written at once
  --via GATEWAY              send through an SMS gateway instead of a phone:
                             smstools:SPOOL-FOLDER, kannel:SENDSMS-URL or
                             the name of a gateway defined in the window
  --text-is-pdu-key KEY      smstools: the modem's text_is_pdu_key, so that
                             the spool file carries the TPDU as it is
  --wait SECONDS             how long to follow a message in the gateway,
                             all of it (default 60); past it the outcome is
                             unknown
  --wait-report SECONDS      keep the connection to the phone open after the
                             last message until every delivery report has
                             come, or SECONDS have passed; --json then tells
                             delivery, delivered_at and report_status
  --password-file FILE       Kannel: the password, on the first line of a
                             file only you can read (or MIRAPOST_KANNEL_PASSWORD;
                             one on the command line shows in ps)
  --dlr-host ADDRESS         Kannel: this machine's address as Kannel reaches
                             it, for its delivery report (default 127.0.0.1)
  -h, --help                 show this help
  --version                  show the version

Exit status: 0 all sent, 1 the phone refused or failed at least one message
(nothing of it was sent: safe to retry), 2 bad usage or input, 3 the port
could not be opened, 4 the phone did not confirm a message after it went out
(it may have been sent: do not simply retry), 5 a gateway holds at least one
message and its outcome was not known within --wait, 6 a long text went out
only in part (its first parts were sent: do not simply retry). 4 outranks 6,
6 outranks 5, 5 outranks 3, 3 outranks 1. With --wait-report and every
message sent: 0 only when every one was delivered, 7 a delivery report said a
message was not delivered, 8 a report did not come in time (or a message
asked for none); 7 outranks 8.
)";
}

}  // namespace mp::cli
