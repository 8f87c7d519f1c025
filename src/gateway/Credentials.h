#pragma once
// Kannel's password kept out of sight (the record, --json, the log, the
// terminal) and given other ways than on the command line, where every
// local user reads it in `ps` for the whole wait.
#include <string>
#include <string_view>

namespace mp::gateway {

// What stands for a password wherever one would show.
inline constexpr const char* kPasswordMask = "****";

// A web address or a text holding one, with the password of `user:password@`
// and the value of every `password=` query item replaced by the mask.
std::string HideCredentials(std::string_view text);

// The same in place, for a program argument: the password's characters
// become "*", so that `ps` shows the argument without them once the program
// has read it (the system keeps the arguments where the program can write).
void MaskCredentials(char* argument);

// Moves the `username=` and `password=` query items of a sendsms address
// into *user and *password (where those are still empty) and gives the
// address without them.
std::string TakeQueryCredentials(const std::string& url, std::string* user, std::string* password);

// The environment variable that may hold the password.
inline constexpr const char* kPasswordVariable = "MIRAPOST_KANNEL_PASSWORD";

// The first line of a file that only its owner, the user, can read or
// write. Empty, with the reason in *error, for anything else: a link, no
// regular file, another owner, a mode that lets others read or write it.
std::string PasswordFromFile(const std::string& path, std::string* error);

// A text from a gateway (Kannel's answer or report, smsd's Fail_reason:)
// made safe to show: control and format characters (escape sequences that
// set a terminal's title or clear it, bidirectional overrides) become "?",
// line breaks spaces, at most `limit` characters, as code page 1252 like
// every status text. Read as UTF-8.
std::string GatewayText(std::string_view raw, int limit = 200);

// A status text (code page 1252) with its control characters made "?": the
// last guard before the terminal or the status bar.
std::string PrintableStatus(std::string_view cp1252);

}  // namespace mp::gateway
