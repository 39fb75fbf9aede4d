#include "files/TextConversion.h"

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <cerrno>
#include <string>
#include <vector>

namespace zrk {
namespace {

const iconv_t kNoDescriptor = reinterpret_cast<iconv_t>(-1);

// Descriptors this thread closed lately, for the next open of the same pair. Opening one looks
// up the system's converter modules and builds their tables: a download opens its code page
// twice and the explorer once, each time for the same names. A converter keeps no state from
// one text to the next (convert() resets it first), so a kept one is as good as a new one.
// Set when this thread's idle descriptors are gone (at its exit): a conversion destroyed later,
// by a static's destructor, closes its own. A plain flag stays readable to the very end.
thread_local bool t_IdleGone = false;

class IdleDescriptors {
  public:
    ~IdleDescriptors() {
        t_IdleGone = true;
        for (const Idle& idle : m_Idle)
            ::iconv_close(idle.descriptor);
    }
    iconv_t take(const std::string& to, const std::string& from) {
        for (auto it = m_Idle.begin(); it != m_Idle.end(); ++it) {
            if (it->to == to && it->from == from) {
                const iconv_t descriptor = it->descriptor;
                m_Idle.erase(it);
                return descriptor;
            }
        }
        return kNoDescriptor;
    }
    void keep(std::string to, std::string from, iconv_t descriptor) {
        if (m_Idle.size() == kKept) {
            ::iconv_close(m_Idle.front().descriptor);
            m_Idle.erase(m_Idle.begin());
        }
        m_Idle.push_back({std::move(to), std::move(from), descriptor});
    }

  private:
    static constexpr std::size_t kKept = 8;
    struct Idle {
        std::string to;
        std::string from;
        iconv_t descriptor;
    };
    std::vector<Idle> m_Idle;
};

IdleDescriptors* idleDescriptors() {
    if (t_IdleGone)
        return nullptr;
    thread_local IdleDescriptors idle;
    return &idle;
}

class IconvConversion : public TextConversion {
  public:
    IconvConversion(iconv_t descriptor, std::string to, std::string from)
        : m_Descriptor(descriptor), m_To(std::move(to)), m_From(std::move(from)) {}
    ~IconvConversion() override {
        if (IdleDescriptors* idle = idleDescriptors())
            idle->keep(std::move(m_To), std::move(m_From), m_Descriptor);
        else
            ::iconv_close(m_Descriptor);
    }
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
    std::string m_To;
    std::string m_From;
};

}  // namespace

std::unique_ptr<TextConversion> TextConversion::open(const std::string& to,
                                                     const std::string& from) {
    IdleDescriptors* idle = idleDescriptors();
    iconv_t descriptor = idle ? idle->take(to, from) : kNoDescriptor;
    if (descriptor == kNoDescriptor)
        descriptor = ::iconv_open(to.c_str(), from.c_str());
    if (descriptor == kNoDescriptor)
        return nullptr;
    return std::make_unique<IconvConversion>(descriptor, to, from);
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
