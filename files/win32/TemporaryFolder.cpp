#include "files/TemporaryFolder.h"

#include "files/win32/WinApi.h"

namespace zrk {

std::optional<std::string> makeTemporaryFolder(const std::string& prefix) {
    wchar_t base[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, base);
    const auto widePrefix = win32::widen(prefix);
    if (length == 0 || length > MAX_PATH || !widePrefix)
        return std::nullopt;
    static constexpr wchar_t kLetters[] =
        L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        unsigned char raw[6] = {};
        if (!win32::randomBytes(raw, sizeof raw))
            return std::nullopt;
        std::wstring folder = std::wstring(base, length) + *widePrefix;
        for (unsigned char byte : raw)
            folder += kLetters[byte % (sizeof kLetters / sizeof kLetters[0] - 1)];
        // The new folder takes the temporary folder's permissions, which are the user's own.
        if (::CreateDirectoryW(folder.c_str(), nullptr))
            return win32::narrow(folder);
        if (::GetLastError() != ERROR_ALREADY_EXISTS)
            return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace zrk
