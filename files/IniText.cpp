#include "files/IniText.h"

#include <charconv>

namespace zrk {
namespace {

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    return (c | 0x20) - 'a' + 10;
}

void appendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

// Keys and section names escape everything but letters, digits and "-_." as %XX (the byte) or
// %UXXXX (a wider character).
bool plainKeyCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.';
}

std::string escapedKey(std::string_view key) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : key) {
        if (plainKeyCharacter(c)) {
            out += c;
        } else {
            const auto byte = static_cast<unsigned char>(c);
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        }
    }
    return out;
}

std::string unescapedKey(std::string_view key) {
    std::string out;
    for (std::size_t i = 0; i < key.size(); ++i) {
        if (key[i] == '%' && i + 2 < key.size() && isHexDigit(key[i + 1]) &&
            isHexDigit(key[i + 2])) {
            out += static_cast<char>(hexValue(key[i + 1]) * 16 + hexValue(key[i + 2]));
            i += 2;
        } else {
            out += key[i];
        }
    }
    return out;
}

}  // namespace

IniText::IniText(std::string_view text) {
    std::string section = "General";
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        Line entry;
        entry.text = std::string(line);
        const std::string_view body = trimmed(line);
        if (body.size() >= 2 && body.front() == '[' && body.back() == ']') {
            section = unescapedKey(body.substr(1, body.size() - 2));
            entry.header = true;
        } else if (!body.empty() && body.front() != ';' && body.front() != '#') {
            const std::size_t equals = body.find('=');
            if (equals != std::string_view::npos) {
                entry.key = unescapedKey(trimmed(body.substr(0, equals)));
                entry.raw = std::string(trimmed(body.substr(equals + 1)));
            }
        }
        entry.section = section;
        m_Lines.push_back(std::move(entry));
    }
}

const IniText::Line* IniText::find(std::string_view section, std::string_view key) const {
    // The toolkit takes the last of two lines that set one key.
    const Line* found = nullptr;
    for (const Line& line : m_Lines)
        if (!line.header && !line.key.empty() && line.section == section && line.key == key)
            found = &line;
    return found;
}

IniText::Line* IniText::find(std::string_view section, std::string_view key) {
    return const_cast<Line*>(static_cast<const IniText&>(*this).find(section, key));
}

std::optional<std::string> IniText::text(std::string_view section, std::string_view key) const {
    const Line* line = find(section, key);
    if (!line)
        return std::nullopt;
    return unquoted(line->raw);
}

std::optional<std::int64_t> IniText::number(std::string_view section, std::string_view key) const {
    const std::optional<std::string> value = text(section, key);
    return value ? integerOf(*value) : std::nullopt;
}

std::optional<std::int64_t> IniText::integerOf(std::string_view text) {
    const std::string_view digits = trimmed(text);
    std::int64_t number = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (error != std::errc() || end != digits.data() + digits.size() || digits.empty())
        return std::nullopt;
    return number;
}

void IniText::setText(std::string_view section, std::string_view key, std::string_view value) {
    const std::string lineText = escapedKey(key) + "=" + quoted(value);
    if (Line* line = find(section, key)) {
        line->text = lineText;
        line->raw = quoted(value);
        return;
    }
    Line entry;
    entry.text = lineText;
    entry.section = std::string(section);
    entry.key = std::string(key);
    entry.raw = quoted(value);
    // After the section's last line that says something, or in a new section at the end.
    std::size_t insertAt = m_Lines.size();
    bool sectionFound = false;
    for (std::size_t i = 0; i < m_Lines.size(); ++i) {
        if (m_Lines[i].section != section)
            continue;
        sectionFound = true;
        if (!trimmed(m_Lines[i].text).empty())
            insertAt = i + 1;
    }
    if (!sectionFound) {
        if (!m_Lines.empty() && !trimmed(m_Lines.back().text).empty())
            m_Lines.push_back(Line{"", m_Lines.back().section, "", "", false});
        Line header;
        header.text = "[" + escapedKey(section) + "]";
        header.section = std::string(section);
        header.header = true;
        m_Lines.push_back(std::move(header));
        insertAt = m_Lines.size();
    }
    m_Lines.insert(m_Lines.begin() + static_cast<std::ptrdiff_t>(insertAt), std::move(entry));
}

void IniText::remove(std::string_view section, std::string_view key) {
    std::erase_if(m_Lines, [&](const Line& line) {
        return !line.header && line.section == section && line.key == key;
    });
}

std::string IniText::render() const {
    std::string out;
    for (const Line& line : m_Lines) {
        out += line.text;
        out += '\n';
    }
    return out;
}

std::string IniText::quoted(std::string_view value) {
    static const char kHex[] = "0123456789abcdef";
    bool needsQuotes = value.empty() ? false : (value.front() == ' ' || value.back() == ' ');
    std::string body;
    if (!value.empty() && value.front() == '@')
        body += '@';  // "@@": a leading "@" that does not start a typed value
    bool afterHexEscape = false;
    for (char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        const bool hexFollows = afterHexEscape && isHexDigit(c);
        afterHexEscape = false;
        switch (c) {
            case '\\':
                body += "\\\\";
                continue;
            case '"':
                body += "\\\"";
                needsQuotes = true;
                continue;
            case '\t':
                body += "\\t";
                continue;
            case '\n':
                body += "\\n";
                continue;
            case '\r':
                body += "\\r";
                continue;
            case ';':
            case ',':
            case '=':
                needsQuotes = true;
                break;
            default:
                break;
        }
        if (byte < 0x20 || byte == 0x7F || hexFollows) {
            // A digit right after "\x.." would be read as part of it: escaped as well.
            body += "\\x";
            if (byte >= 0x10)
                body += kHex[byte >> 4];
            body += kHex[byte & 0xF];
            afterHexEscape = true;
            continue;
        }
        body += c;
    }
    return needsQuotes ? "\"" + body + "\"" : body;
}

std::optional<std::string> IniText::unquoted(std::string_view raw) {
    if (raw.starts_with("@") && !raw.starts_with("@@"))
        return std::nullopt;  // a typed variant, a byte array: not a plain string
    std::string out;
    std::size_t kept = 0;  // what ends in quotes or an escape keeps its trailing spaces
    bool inQuotes = false;
    std::size_t i = raw.starts_with("@@") ? 1 : 0;
    while (i < raw.size()) {
        const char c = raw[i];
        if (c == '"') {
            inQuotes = !inQuotes;
            ++i;
            continue;
        }
        if (!inQuotes && c == ',')
            return std::nullopt;  // a list
        if (!inQuotes && c == ';')
            break;  // a comment
        if (c != '\\') {
            out += c;
            if (inQuotes)
                kept = out.size();
            ++i;
            continue;
        }
        if (++i >= raw.size())
            break;
        const char escape = raw[i++];
        switch (escape) {
            case 'a':
                out += '\a';
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'v':
                out += '\v';
                break;
            case 'x': {
                std::uint32_t code = 0;
                int digits = 0;
                while (i < raw.size() && digits < 4 && isHexDigit(raw[i])) {
                    code = code * 16 + static_cast<std::uint32_t>(hexValue(raw[i++]));
                    ++digits;
                }
                appendUtf8(out, code);
                break;
            }
            default:
                if (escape >= '0' && escape <= '7') {
                    std::uint32_t code = static_cast<std::uint32_t>(escape - '0');
                    for (int digits = 1;
                         digits < 3 && i < raw.size() && raw[i] >= '0' && raw[i] <= '7'; ++digits)
                        code = code * 8 + static_cast<std::uint32_t>(raw[i++] - '0');
                    appendUtf8(out, code);
                } else {
                    out += escape;  // \\ \" \' \? and anything else stand for themselves
                }
                break;
        }
        kept = out.size();
    }
    while (out.size() > kept && (out.back() == ' ' || out.back() == '\t'))
        out.pop_back();
    return out;
}

}  // namespace zrk
