#include "engine/SafeText.h"

#include <cstdio>

namespace zrk {
namespace {

void appendEscaped(std::string& out, unsigned char byte) {
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
    out += escaped;
}

std::string escaped(const std::string& text, bool keepLineBreaks) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (keepLineBreaks && (byte == '\r' || byte == '\n' || byte == '\t')) {
            out += text[i];
        } else if (byte < 0x20 || byte == 0x7F) {
            appendEscaped(out, byte);
        } else if (byte == 0xC2 && i + 1 < text.size() &&
                   (static_cast<unsigned char>(text[i + 1]) & 0xE0) == 0x80) {
            // U+0080..U+009F: terminals read U+009B as a control sequence's start.
            appendEscaped(out, byte);
            appendEscaped(out, static_cast<unsigned char>(text[++i]));
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace

std::string printableName(const std::string& name) {
    return escaped(name, false);
}

std::string withoutControlCharacters(const std::string& text) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && byte != '\r' && byte != '\n' && byte != '\t') || byte == 0x7F ||
            byte == 0xC2)
            return escaped(text, true);
    }
    return text;
}

std::string trimmedWords(const std::string& text) {
    const auto first = text.find_first_not_of(" \r\n");
    if (first == std::string::npos)
        return "";
    return text.substr(first, text.find_last_not_of(" \r\n") - first + 1);
}

}  // namespace zrk
