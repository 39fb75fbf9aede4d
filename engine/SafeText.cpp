#include "engine/SafeText.h"

#include <cstdint>
#include <cstdio>

namespace zrk {
namespace {

void appendByte(std::string& out, unsigned char byte) {
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
    out += escaped;
}

void appendCodePoint(std::string& out, std::uint32_t codePoint) {
    char escaped[12];
    std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(codePoint));
    out += escaped;
}

bool isKeptBreak(unsigned char byte, bool keepLineBreaks) {
    return keepLineBreaks && (byte == '\r' || byte == '\n' || byte == '\t');
}

bool isAsciiControl(unsigned char byte) {
    return byte < 0x20 || byte == 0x7F;
}

// Characters that are printable in themselves but reorder or split the line they are in:
// "/\u202Etxt.exe" reads "/exe.txt", U+2028 starts a new line in some terminals and viewers.
bool isLayoutControl(std::uint32_t c) {
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069) || c == 0x2028 || c == 0x2029;
}

// The length of the valid UTF-8 sequence at the start of text and its code point; 0 when the
// first byte starts none (a stray continuation, an overlong form, a surrogate, beyond U+10FFFF
// or cut short).
std::size_t decodeUtf8(std::string_view text, std::uint32_t* codePoint) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char first = byte(0);
    std::size_t length = 0;
    std::uint32_t c = 0;
    std::uint32_t lowest = 0;
    if (first >= 0xC2 && first <= 0xDF) {
        length = 2, c = first & 0x1F, lowest = 0x80;
    } else if (first >= 0xE0 && first <= 0xEF) {
        length = 3, c = first & 0x0F, lowest = 0x800;
    } else if (first >= 0xF0 && first <= 0xF4) {
        length = 4, c = first & 0x07, lowest = 0x10000;
    } else {
        return 0;
    }
    if (text.size() < length)
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (byte(i) & 0x3F);
    }
    if (c < lowest || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return 0;
    *codePoint = c;
    return length;
}

std::string escapedUtf8(std::string_view text, bool keepLineBreaks) {
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        const auto first = static_cast<unsigned char>(text[0]);
        if (first < 0x80) {
            if (isAsciiControl(first) && !isKeptBreak(first, keepLineBreaks))
                appendByte(out, first);
            else
                out += text[0];
            text.remove_prefix(1);
            continue;
        }
        std::uint32_t c = 0;
        const std::size_t length = decodeUtf8(text, &c);
        if (length == 0) {
            appendByte(out, first);
            text.remove_prefix(1);
            continue;
        }
        if (c <= 0x9F) {
            // U+0080..U+009F: terminals read U+009B as a control sequence's start.
            for (std::size_t i = 0; i < length; ++i)
                appendByte(out, static_cast<unsigned char>(text[i]));
        } else if (isLayoutControl(c)) {
            appendCodePoint(out, c);
        } else {
            out.append(text.substr(0, length));
        }
        text.remove_prefix(length);
    }
    return out;
}

std::string escapedBytes(std::string_view text, bool keepLineBreaks, const TextEncoding& encoding) {
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const auto byte = static_cast<unsigned char>(ch);
        const bool unprintable = byte < 0x80
                                     ? isAsciiControl(byte) && !isKeptBreak(byte, keepLineBreaks)
                                     : encoding.kind == TextEncoding::Kind::SingleByte &&
                                           encoding.unprintableHigh[byte - 0x80];
        if (unprintable)
            appendByte(out, byte);
        else
            out += ch;
    }
    return out;
}

std::string escaped(std::string_view text, bool keepLineBreaks, const TextEncoding& encoding) {
    if (encoding.kind == TextEncoding::Kind::Utf8)
        return escapedUtf8(text, keepLineBreaks);
    return escapedBytes(text, keepLineBreaks, encoding);
}

}  // namespace

std::string printableName(std::string_view name, const TextEncoding& encoding) {
    return escaped(name, false, encoding);
}

std::string withoutControlCharacters(std::string_view text, const TextEncoding& encoding) {
    return escaped(text, true, encoding);
}

bool isValidUtf8(std::string_view text) {
    while (!text.empty()) {
        std::uint32_t c = 0;
        const std::size_t length =
            static_cast<unsigned char>(text[0]) < 0x80 ? 1 : decodeUtf8(text, &c);
        if (length == 0)
            return false;
        text.remove_prefix(length);
    }
    return true;
}

std::string trimmedWords(const std::string& text) {
    const auto first = text.find_first_not_of(" \r\n");
    if (first == std::string::npos)
        return "";
    return text.substr(first, text.find_last_not_of(" \r\n") - first + 1);
}

}  // namespace zrk
