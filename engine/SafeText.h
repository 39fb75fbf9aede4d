#pragma once
// Names come from the phone and from files that anyone may have made: a name must never move
// a terminal's cursor, set its title, ring its bell or start a forged log line.
#include <string>

namespace zrk {

// A name for a log line or a listing: every control character (line breaks and ESC too, and
// the C1 controls of UTF-8) becomes a visible \xNN; all else is left as it is.
std::string printableName(const std::string& name);

// A whole text on its way to a terminal or a log: the same, except that its own line breaks
// and tabs stay.
std::string withoutControlCharacters(const std::string& text);

// Words of a log line or message without the spaces and line breaks around them.
std::string trimmedWords(const std::string& text);

}  // namespace zrk
