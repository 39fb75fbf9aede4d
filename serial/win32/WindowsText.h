#pragma once
// Text at the Windows API for the serial layer: the file layer's conversions (UTF-8 in the
// program, UTF-16 at the system) and its words for an error code, under the names used here.
#include <windows.h>

#include <string>

#include "files/win32/WinApi.h"

namespace zrk::win32 {

inline std::wstring utf16Of(const std::string& text) {
    return widen(text).value_or(std::wstring());
}

inline std::string utf8Of(const std::wstring& text) {
    return narrowForMessage(text);
}

// "Access is denied" for ERROR_ACCESS_DENIED; the number where the system has no words.
inline std::string systemMessage(DWORD error) {
    return systemReason(error);
}

}  // namespace zrk::win32
