#include "filesystem/CodePage.h"

#include <langinfo.h>
#include <locale.h>

#include <cerrno>
#include <cstdlib>
#include <utility>

namespace zrk {
namespace {

const iconv_t kNoDescriptor = reinterpret_cast<iconv_t>(-1);
constexpr const char* kUtf8 = "UTF-8";

// Runs one whole conversion from the initial shift state. Irreversible conversions count as
// failures too: glibc only reports them when a character was replaced by something else.
std::optional<std::string> convert(iconv_t descriptor, std::string_view input) {
    ::iconv(descriptor, nullptr, nullptr, nullptr, nullptr);
    std::string output(input.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(input.data());
    std::size_t inLeft = input.size();
    std::size_t used = 0;
    bool flushing = false;
    for (;;) {
        char* out = output.data() + used;
        std::size_t outLeft = output.size() - used;
        // The final call with no input writes the shift sequence back to the initial state
        // (stateful code pages only).
        const std::size_t result = flushing ? ::iconv(descriptor, nullptr, nullptr, &out, &outLeft)
                                            : ::iconv(descriptor, &in, &inLeft, &out, &outLeft);
        used = output.size() - outLeft;
        if (result == static_cast<std::size_t>(-1)) {
            if (errno != E2BIG)
                return std::nullopt;  // EILSEQ, or EINVAL for a sequence cut off at the end
            output.resize(output.size() * 2);
            continue;
        }
        if (result != 0)
            return std::nullopt;
        if (flushing)
            break;
        flushing = true;
    }
    output.resize(used);
    return output;
}

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
    const iconv_t toUtf8 = ::iconv_open(kUtf8, name.c_str());
    if (toUtf8 == kNoDescriptor)
        return refuse();
    const iconv_t fromUtf8 = ::iconv_open(name.c_str(), kUtf8);
    if (fromUtf8 == kNoDescriptor) {
        ::iconv_close(toUtf8);
        return refuse();
    }
    return CodePage(name, toUtf8, fromUtf8);
}

CodePage::CodePage(std::string name, iconv_t toUtf8, iconv_t fromUtf8)
    : m_Name(std::move(name)), m_ToUtf8(toUtf8), m_FromUtf8(fromUtf8) {}

CodePage::CodePage(CodePage&& other) noexcept
    : m_Name(std::move(other.m_Name)),
      m_ToUtf8(std::exchange(other.m_ToUtf8, kNoDescriptor)),
      m_FromUtf8(std::exchange(other.m_FromUtf8, kNoDescriptor)) {}

CodePage& CodePage::operator=(CodePage&& other) noexcept {
    if (this != &other) {
        release();
        m_Name = std::move(other.m_Name);
        m_ToUtf8 = std::exchange(other.m_ToUtf8, kNoDescriptor);
        m_FromUtf8 = std::exchange(other.m_FromUtf8, kNoDescriptor);
    }
    return *this;
}

CodePage::~CodePage() {
    release();
}

void CodePage::release() {
    if (m_ToUtf8 != kNoDescriptor)
        ::iconv_close(m_ToUtf8);
    if (m_FromUtf8 != kNoDescriptor)
        ::iconv_close(m_FromUtf8);
    m_ToUtf8 = kNoDescriptor;
    m_FromUtf8 = kNoDescriptor;
}

std::optional<std::string> CodePage::toUtf8(std::string_view local) const {
    if (m_ToUtf8 == kNoDescriptor)
        return std::nullopt;
    return convert(m_ToUtf8, local);
}

std::optional<std::string> CodePage::fromUtf8(std::string_view utf8) const {
    if (m_FromUtf8 == kNoDescriptor)
        return std::nullopt;
    return convert(m_FromUtf8, utf8);
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
    if (localeName.empty())
        return kUtf8;  // "" would make newlocale read the environment itself
    if (const locale_t locale = ::newlocale(LC_CTYPE_MASK, localeName.c_str(), locale_t{})) {
        std::string codeset = ::nl_langinfo_l(CODESET, locale);
        ::freelocale(locale);
        if (!codeset.empty())
            return codeset;
    }
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
    for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value && *value)
            return codePageOfLocale(value);
    }
    return kUtf8;
}

}  // namespace zrk
