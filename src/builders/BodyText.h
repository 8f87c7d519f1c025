#pragma once
// Small helpers shared by the message builders: filling "??" placeholders and
// bounding text before it goes through an encoder, so that no body can grow
// beyond BodyBuffer whatever the caller hands in.
#include <cstddef>
#include <string>

namespace mp::detail {

// Writes `value` as two upper-case hex digits over the two characters at
// `at`, leaving everything after them untouched (no terminator).
void PutCount(char* at, int value);

// Copies `text` into TextBuffer, stopping at a zero byte, after `maxChars`
// characters that an encoder counts (carriage returns are skipped by the
// 16-bit encoder and so cost nothing there when `crFree` is set), or when
// the buffer is full. Returns the number of counted characters copied.
int LimitToTextBuffer(const std::string& text, int maxChars, bool crFree);

}  // namespace mp::detail
