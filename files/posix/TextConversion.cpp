#include "files/TextConversion.h"

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <cerrno>

namespace zrk {
namespace {

const iconv_t kNoDescriptor = reinterpret_cast<iconv_t>(-1);

class IconvConversion : public TextConversion {
  public:
    explicit IconvConversion(iconv_t descriptor) : m_Descriptor(descriptor) {}
    ~IconvConversion() override { ::iconv_close(m_Descriptor); }
    IconvConversion(const IconvConversion&) = delete;
    IconvConversion& operator=(const IconvConversion&) = delete;

    // Irreversible conversions count as failures too: glibc only reports them when a character
    // was replaced by something else.
    std::optional<std::string> convert(std::string_view input) override {
        ::iconv(m_Descriptor, nullptr, nullptr, nullptr, nullptr);
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
            const std::size_t result = flushing
                                           ? ::iconv(m_Descriptor, nullptr, nullptr, &out, &outLeft)
                                           : ::iconv(m_Descriptor, &in, &inLeft, &out, &outLeft);
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

  private:
    iconv_t m_Descriptor;
};

}  // namespace

std::unique_ptr<TextConversion> TextConversion::open(const std::string& to,
                                                     const std::string& from) {
    const iconv_t descriptor = ::iconv_open(to.c_str(), from.c_str());
    if (descriptor == kNoDescriptor)
        return nullptr;
    return std::make_unique<IconvConversion>(descriptor);
}

std::optional<std::string> installedLocaleCodeSet(const std::string& localeName) {
    if (localeName.empty())
        return std::nullopt;  // "" would make newlocale read the environment itself
    const locale_t locale = ::newlocale(LC_CTYPE_MASK, localeName.c_str(), locale_t{});
    if (!locale)
        return std::nullopt;
    std::string codeSet = ::nl_langinfo_l(CODESET, locale);
    ::freelocale(locale);
    if (codeSet.empty())
        return std::nullopt;
    return codeSet;
}

}  // namespace zrk
