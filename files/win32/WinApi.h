#pragma once
// What every Windows file of this folder shares: names UTF-8 inside the program and UTF-16 at
// the system, the system's words for an error, handles held in a NativeFile, and paths of
// names inside a folder this program holds open.
#include <windows.h>

#include <optional>
#include <string>
#include <system_error>

#include "files/NativeFile.h"

namespace zrk::win32 {

// nullopt when text is not valid UTF-8 (or UTF-16): nothing is replaced.
std::optional<std::wstring> widen(const std::string& text);
std::optional<std::string> narrow(const std::wstring& text);
// For messages: invalid UTF-16 shown with replacement characters.
std::string narrowForMessage(const std::wstring& text);

// GetLastError's numbers, with FormatMessage's words.
const std::error_category& windowsCategory();
std::error_code lastError();
std::string systemReason(DWORD error);
// The nearest errno for a Windows error, for the callers whose promise is errno.
int errnoFor(DWORD error);

inline HANDLE handleOf(NativeFile file) {
    return reinterpret_cast<HANDLE>(file);
}
inline NativeFile nativeOf(HANDLE handle) {
    return reinterpret_cast<NativeFile>(handle);
}

// A folder opened for holding: listed and traversed, never followed when it is a reparse point
// (FILE_FLAG_OPEN_REPARSE_POINT) when noFollow, and without FILE_SHARE_DELETE, so that nobody
// can rename or remove it, or a folder above it, while this program holds it.
HANDLE openFolder(const std::wstring& path, bool noFollow);
// The system's full path of what handle holds ("\\?\C:\..."), and of name inside it.
std::optional<std::wstring> pathOfHandle(HANDLE handle);
std::optional<std::wstring> pathInFolder(NativeFile folder, const std::string& name);

// What the system says about an open handle; false with GetLastError set.
bool informationOf(HANDLE handle, BY_HANDLE_FILE_INFORMATION* info);
inline bool isReparsePoint(const BY_HANDLE_FILE_INFORMATION& info) {
    return (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}
inline bool isDirectory(const BY_HANDLE_FILE_INFORMATION& info) {
    return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}
inline std::uint64_t sizeOf(const BY_HANDLE_FILE_INFORMATION& info) {
    return (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
}

// Random bytes from the system's generator; false when it gave none.
bool randomBytes(unsigned char* bytes, std::size_t count);

}  // namespace zrk::win32
