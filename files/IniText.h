#pragma once
// The INI dialect the window's toolkit writes its settings in, read and edited without the
// toolkit: sections of "key=value" lines, values quoted where they hold separators, C-style
// escapes inside, "@@" for a leading "@". Only what plain strings and numbers need is
// understood; a value in any other form (a list, a typed variant) reads as absent, as the
// window would not take it for a string either. Lines that are not changed are kept as they
// were, so an edit never loses what the window stored.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zrk {

class IniText {
  public:
    IniText() = default;
    explicit IniText(std::string_view text);

    // The value as a string; nullopt when absent or not a plain string.
    std::optional<std::string> text(std::string_view section, std::string_view key) const;
    // A decimal integer (as the toolkit writes an int), with its sign.
    std::optional<std::int64_t> number(std::string_view section, std::string_view key) const;

    void setText(std::string_view section, std::string_view key, std::string_view value);
    void remove(std::string_view section, std::string_view key);

    std::string render() const;

    // The dialect's spelling of a string value, and back; exposed for tests.
    static std::string quoted(std::string_view value);
    static std::optional<std::string> unquoted(std::string_view raw);
    // A decimal integer with its sign, spaces around it allowed, as the toolkit reads an int.
    static std::optional<std::int64_t> integerOf(std::string_view text);

  private:
    struct Line {
        std::string text;     // as read, or as rendered when changed
        std::string section;  // the section the line belongs to (its own name for a header)
        std::string key;      // the key it sets, unescaped; empty for others
        std::string raw;      // the value's text after "="
        bool header = false;
    };
    const Line* find(std::string_view section, std::string_view key) const;
    Line* find(std::string_view section, std::string_view key);

    std::vector<Line> m_Lines;
};

}  // namespace zrk
