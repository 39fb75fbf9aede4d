#include "files/TextConversion.h"

#include <algorithm>
#include <cctype>

#include "files/win32/WinApi.h"

namespace zrk {
namespace {

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

std::optional<UINT> digits(const std::string& text) {
    if (text.empty() || text.size() > 5 ||
        !std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); }))
        return std::nullopt;
    return static_cast<UINT>(std::stoul(text));
}

// The code page a name means, by the names the other systems' converter knows them by.
std::optional<UINT> codePageNamed(const std::string& name) {
    const std::string n = upper(name);
    struct Named {
        const char* name;
        UINT page;
    };
    static constexpr Named kNames[] = {
        {"UTF-8", CP_UTF8},
        {"UTF8", CP_UTF8},
        {"ASCII", 20127},
        {"US-ASCII", 20127},
        {"ANSI_X3.4-1968", 20127},
        {"GBK", 936},
        {"GB2312", 936},
        {"GB18030", 54936},
        {"BIG5", 950},
        {"SHIFT_JIS", 932},
        {"SJIS", 932},
        {"EUC-JP", 20932},
        {"EUC-KR", 51949},
        {"UHC", 949},
        {"KOI8-R", 20866},
        {"KOI8-U", 21866},
    };
    for (const Named& known : kNames)
        if (n == known.name)
            return known.page;
    for (const char* prefix : {"CP-", "CP", "WINDOWS-", "IBM"})
        if (n.rfind(prefix, 0) == 0)
            return digits(n.substr(std::string(prefix).size()));
    if (n.rfind("ISO-8859-", 0) == 0 || n.rfind("ISO8859-", 0) == 0) {
        const auto part = digits(n.substr(n.find('-', 4) + 1));
        if (part && *part >= 1 && *part <= 15)
            return 28590 + *part;
    }
    return std::nullopt;
}

// Windows' single-byte code pages map their holes (0x81 in CP1252) onto the C1 control of the
// same number instead of refusing them; a strict conversion refuses them.
bool holesBecomeControls(UINT page) {
    return page == 874 || (page >= 1250 && page <= 1258);
}

// US-ASCII (20127) takes bytes and characters above 7Fh by dropping their high bit ("\xE9"
// reads as "i"): a strict conversion refuses them.
constexpr UINT kAscii = 20127;
bool allAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}
bool allAscii(const std::wstring& text) {
    return std::all_of(text.begin(), text.end(), [](wchar_t c) { return c < 0x80; });
}

class WindowsConversion : public TextConversion {
  public:
    WindowsConversion(UINT to, UINT from) : m_To(to), m_From(from) {}

    std::optional<std::string> convert(std::string_view input) override {
        if (input.empty())
            return std::string();
        const auto wide = toWide(input);
        if (!wide)
            return std::nullopt;
        return fromWide(*wide);
    }

  private:
    std::optional<std::wstring> toWide(std::string_view input) const {
        if (m_From == kAscii && !allAscii(input))
            return std::nullopt;
        const int length = ::MultiByteToWideChar(m_From, MB_ERR_INVALID_CHARS, input.data(),
                                                 static_cast<int>(input.size()), nullptr, 0);
        if (length <= 0)
            return std::nullopt;
        std::wstring wide(static_cast<std::size_t>(length), L'\0');
        ::MultiByteToWideChar(m_From, MB_ERR_INVALID_CHARS, input.data(),
                              static_cast<int>(input.size()), wide.data(), length);
        if (holesBecomeControls(m_From) && wide.size() == input.size())
            for (std::size_t i = 0; i < wide.size(); ++i) {
                const auto byte = static_cast<unsigned char>(input[i]);
                if (byte >= 0x80 && byte <= 0x9F && wide[i] == static_cast<wchar_t>(byte))
                    return std::nullopt;
            }
        return wide;
    }

    std::optional<std::string> fromWide(const std::wstring& wide) const {
        if (m_To == kAscii && !allAscii(wide))
            return std::nullopt;
        // UTF-8 and GB18030 hold every character, and take no default-character flags.
        const bool whole = m_To == CP_UTF8 || m_To == 54936;
        // No best fit ("é" as "e") and no default character: what does not convert fails.
        const DWORD flags = whole ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
        BOOL usedDefault = FALSE;
        BOOL* defaulted = whole ? nullptr : &usedDefault;
        const int length =
            ::WideCharToMultiByte(m_To, flags, wide.data(), static_cast<int>(wide.size()), nullptr,
                                  0, nullptr, defaulted);
        if (length <= 0 || usedDefault)
            return std::nullopt;
        std::string output(static_cast<std::size_t>(length), '\0');
        ::WideCharToMultiByte(m_To, flags, wide.data(), static_cast<int>(wide.size()),
                              output.data(), length, nullptr, defaulted);
        if (usedDefault)
            return std::nullopt;
        return output;
    }

    UINT m_To;
    UINT m_From;
};

}  // namespace

std::unique_ptr<TextConversion> TextConversion::open(const std::string& to,
                                                     const std::string& from) {
    const auto toPage = codePageNamed(to);
    const auto fromPage = codePageNamed(from);
    if (!toPage || !fromPage || !::IsValidCodePage(*toPage) || !::IsValidCodePage(*fromPage))
        return nullptr;
    return std::make_unique<WindowsConversion>(*toPage, *fromPage);
}

std::optional<std::string> installedLocaleCodeSet(const std::string& localeName) {
    // "ll_CC.CODESET@modifier", as the other systems name locales.
    if (localeName.empty())
        return std::nullopt;
    const auto at = localeName.find('@');
    const std::string name = localeName.substr(0, at);
    const auto dot = name.find('.');
    std::string language = name.substr(0, dot);
    const std::string codeSet = dot == std::string::npos ? std::string() : name.substr(dot + 1);
    if (language == "C" || language == "POSIX") {
        if (codeSet.empty())
            return "ANSI_X3.4-1968";
    } else {
        std::replace(language.begin(), language.end(), '_', '-');
        const auto wideLanguage = win32::widen(language);
        if (!wideLanguage || !::IsValidLocaleName(wideLanguage->c_str()))
            return std::nullopt;
        if (codeSet.empty()) {
            // The locale's own ANSI code page; 0 for the locales that have only Unicode.
            UINT page = 0;
            if (::GetLocaleInfoEx(
                    wideLanguage->c_str(), LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                    reinterpret_cast<LPWSTR>(&page), sizeof page / sizeof(wchar_t)) == 0)
                return std::nullopt;
            return page == 0 || page == CP_UTF8 ? std::string("UTF-8")
                                                : "CP" + std::to_string(page);
        }
    }
    const auto page = codePageNamed(codeSet);
    if (!page || !::IsValidCodePage(*page))
        return std::nullopt;
    return *page == CP_UTF8 ? std::string("UTF-8") : upper(codeSet);
}

}  // namespace zrk
