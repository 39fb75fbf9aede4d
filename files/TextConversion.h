#pragma once
// One direction of a strict conversion between two code pages, by the system's converter, and
// the code set an installed locale uses. Strict means a byte that does not convert fails the
// whole text: nothing is dropped or replaced.
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace zrk {

class TextConversion {
  public:
    // nullptr when the system knows no conversion between the two names.
    static std::unique_ptr<TextConversion> open(const std::string& to, const std::string& from);
    virtual ~TextConversion() = default;

    // The whole text from the initial shift state, nullopt when any byte does not convert
    // (or converts only to something else). Keeps state between calls: one thread at a time.
    virtual std::optional<std::string> convert(std::string_view input) = 0;
};

// The code set of an installed locale ("de_DE.CP1252" gives "CP1252", "C" the system's name for
// ASCII); nullopt when the locale is not installed or names none.
std::optional<std::string> installedLocaleCodeSet(const std::string& localeName);

}  // namespace zrk
