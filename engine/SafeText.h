#pragma once
// Names come from the phone and from files that anyone may have made: a name must never move
// a terminal's cursor, set its title, ring its bell, start a forged log line or turn the text
// after it around.
#include <array>
#include <string>
#include <string_view>

namespace zrk {

// What the terminal or file the text goes to takes for a character, as far as safety goes.
struct TextEncoding {
    enum class Kind {
        Utf8,        // strict: a byte outside a valid sequence is no character at all
        SingleByte,  // one byte a character; the high bytes below are not printable
        MultiByte,   // CP949, Shift_JIS and friends: only the ASCII controls can be judged
    };
    Kind kind = Kind::Utf8;
    // For SingleByte: bytes 0x80..0xFF that are controls (C1) or no character of the page.
    std::array<bool, 128> unprintableHigh{};

    static TextEncoding utf8() { return {}; }
};

// A name for a log line or a listing: every byte that is not a printable character becomes a
// visible \xNN (controls, line breaks, DEL, C1, each byte of invalid UTF-8), and the
// characters that reorder or break the text around them (U+202A..U+202E, U+2066..U+2069,
// U+200E, U+200F, U+061C, U+2028, U+2029) a readable \uXXXX; all else is left as it is.
std::string printableName(std::string_view name, const TextEncoding& encoding = {});

// A whole text on its way to a terminal or a log: the same, except that its own line breaks
// and tabs stay.
std::string withoutControlCharacters(std::string_view text, const TextEncoding& encoding = {});

// Whether text is UTF-8 throughout (no stray byte, overlong form, surrogate or value past
// U+10FFFF).
bool isValidUtf8(std::string_view text);

// Words of a log line or message without the spaces and line breaks around them.
std::string trimmedWords(const std::string& text);

}  // namespace zrk
