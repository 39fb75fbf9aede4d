#pragma once
// The local code page of the file-system configuration and of the explorer's paths, while the
// phone wants UTF-8. Conversion is strict: a name that does not convert is refused, because a
// silently dropped byte would create a different file on the phone than the one configured.
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "engine/SafeText.h"

namespace zrk {

class TextConversion;

class CodePage {
  public:
    // Any name the system's converter (glibc's iconv here) knows ("CP1252", "CP949", "UTF-8", ...).
    // Names carrying iconv options ("//IGNORE", "//TRANSLIT") are refused: they would make the
    // conversion lenient.
    static std::optional<CodePage> open(const std::string& name, std::string* error);

    CodePage(CodePage&& other) noexcept;
    CodePage& operator=(CodePage&& other) noexcept;
    CodePage(const CodePage&) = delete;
    CodePage& operator=(const CodePage&) = delete;
    ~CodePage();

    // nullopt when any byte does not convert. The conversions keep state between calls, so one
    // CodePage must not be used by two threads at once.
    std::optional<std::string> toUtf8(std::string_view local) const;
    std::optional<std::string> fromUtf8(std::string_view utf8) const;

    const std::string& name() const { return m_Name; }

  private:
    CodePage(std::string name, std::unique_ptr<TextConversion> toUtf8,
             std::unique_ptr<TextConversion> fromUtf8);

    std::string m_Name;
    // Null in a page moved from, which converts nothing.
    std::unique_ptr<TextConversion> m_ToUtf8;
    std::unique_ptr<TextConversion> m_FromUtf8;
};

// What counts as a printable character in this page's text, for showing names safely: UTF-8
// (and plain ASCII, which terminals take as UTF-8 nowadays) strictly; an 8-bit page with the
// high bytes that are controls (C1) or no character of it; a page of several bytes a
// character by its ASCII controls alone.
TextEncoding textEncodingOf(const CodePage& page);

// The codeset of a locale name such as "de_DE.CP1252" or "C" (which glibc calls
// "ANSI_X3.4-1968", its name for ASCII). A locale that is not installed gives the codeset
// written in its name, if any; otherwise "UTF-8".
std::string codePageOfLocale(const std::string& localeName);

// The codeset of the user's locale (LC_ALL, else LC_CTYPE, else LANG), "UTF-8" when none is
// set; on Windows the ANSI code page. The process's own locale is left alone.
std::string localeCodePageName();

}  // namespace zrk
