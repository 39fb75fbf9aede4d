#include "filesystem/CodePage.h"

#include <cstdlib>
#include <utility>

#include "files/ProgramText.h"
#include "files/TextConversion.h"

namespace zrk {
namespace {

constexpr const char* kUtf8 = "UTF-8";

}  // namespace

std::optional<CodePage> CodePage::open(const std::string& name, std::string* error) {
    auto refuse = [&]() -> std::optional<CodePage> {
        if (error)
            *error = "unknown code page '" + name + "'";
        return std::nullopt;
    };
    // An empty name would mean "the process's locale" to iconv, a '/' an iconv option.
    if (name.empty() || name.find('/') != std::string::npos)
        return refuse();
    auto toUtf8 = TextConversion::open(kUtf8, name);
    if (!toUtf8)
        return refuse();
    auto fromUtf8 = TextConversion::open(name, kUtf8);
    if (!fromUtf8)
        return refuse();
    return CodePage(name, std::move(toUtf8), std::move(fromUtf8));
}

CodePage::CodePage(std::string name, std::unique_ptr<TextConversion> toUtf8,
                   std::unique_ptr<TextConversion> fromUtf8)
    : m_Name(std::move(name)), m_ToUtf8(std::move(toUtf8)), m_FromUtf8(std::move(fromUtf8)) {}

CodePage::CodePage(CodePage&& other) noexcept = default;
CodePage& CodePage::operator=(CodePage&& other) noexcept = default;
CodePage::~CodePage() = default;

std::optional<std::string> CodePage::toUtf8(std::string_view local) const {
    if (!m_ToUtf8)
        return std::nullopt;
    return m_ToUtf8->convert(local);
}

std::optional<std::string> CodePage::fromUtf8(std::string_view utf8) const {
    if (!m_FromUtf8)
        return std::nullopt;
    return m_FromUtf8->convert(utf8);
}

TextEncoding textEncodingOf(const CodePage& page) {
    TextEncoding encoding;
    const std::string sample = "\xC3\xA9\xE2\x82\xAC\xE4\xB8\xAD";  // é € 中
    if (page.fromUtf8(sample) == sample)
        return encoding;
    for (const char* wide : {"\xEA\xB0\x80", "\xE3\x81\x82", "\xE4\xB8\xAD"}) {  // 가 あ 中
        const auto local = page.fromUtf8(wide);
        if (local && local->size() > 1) {
            encoding.kind = TextEncoding::Kind::MultiByte;
            return encoding;
        }
    }
    bool anyCharacter = false;
    for (int byte = 0x80; byte <= 0xFF; ++byte) {
        const auto utf8 = page.toUtf8(std::string(1, static_cast<char>(byte)));
        const bool control = utf8 && utf8->size() == 2 &&
                             static_cast<unsigned char>((*utf8)[0]) == 0xC2 &&
                             static_cast<unsigned char>((*utf8)[1]) < 0xA0;
        anyCharacter = anyCharacter || (utf8 && !control);
        encoding.unprintableHigh[static_cast<std::size_t>(byte - 0x80)] = !utf8 || control;
    }
    if (anyCharacter)
        encoding.kind = TextEncoding::Kind::SingleByte;
    else
        encoding = TextEncoding::utf8();
    return encoding;
}

std::string codePageOfLocale(const std::string& localeName) {
    if (const auto codeSet = installedLocaleCodeSet(localeName))
        return *codeSet;
    // Not installed here ("ko_KR.CP949" on a machine with only C.UTF-8): the name still says
    // which code page the user's files are in. language_TERRITORY.codeset@modifier
    const auto dot = localeName.find('.');
    if (dot != std::string::npos) {
        const std::string codeset = localeName.substr(dot + 1, localeName.find('@', dot) - dot - 1);
        if (!codeset.empty())
            return codeset;
    }
    return kUtf8;
}

std::string localeCodePageName() {
    // Windows has no locale variables; its users' files are in the ANSI code page.
    if (auto ansi = systemAnsiCodePage())
        return *ansi;
    for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value && *value)
            return codePageOfLocale(value);
    }
    return kUtf8;
}

}  // namespace zrk
