#include "files/win32/ReservedNames.h"

#include <algorithm>
#include <cctype>

namespace zrk::win32 {

bool isReservedDeviceName(const std::string& name) {
    // The part before the first dot, trailing spaces dropped, is what the system matches.
    std::string stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ')
        stem.pop_back();
    std::transform(stem.begin(), stem.end(), stem.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
        if (stem == device)
            return true;
    // COM1-COM9, LPT1-LPT9, and the superscript digits ¹²³ Windows also takes.
    if (stem.size() >= 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0)) {
        const std::string digit = stem.substr(3);
        if (digit.size() == 1 && digit[0] >= '1' && digit[0] <= '9')
            return true;
        if (digit == "\xC2\xB9" || digit == "\xC2\xB2" || digit == "\xC2\xB3")
            return true;
    }
    return false;
}

}  // namespace zrk::win32
