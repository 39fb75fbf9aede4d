#include "files/win32/WinApi.h"

#include <bcrypt.h>

#include <cerrno>

namespace zrk::win32 {
namespace {

class WindowsCategory : public std::error_category {
  public:
    const char* name() const noexcept override { return "windows"; }
    std::string message(int error) const override {
        return systemReason(static_cast<DWORD>(error));
    }
    // So that a caller can ask `why == std::errc::no_such_file_or_directory` on any system.
    std::error_condition default_error_condition(int error) const noexcept override {
        return std::error_condition(errnoFor(static_cast<DWORD>(error)), std::generic_category());
    }
};

}  // namespace

std::optional<std::wstring> widen(const std::string& text) {
    if (text.empty())
        return std::wstring();
    const int length = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                             static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0)
        return std::nullopt;
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                          wide.data(), length);
    return wide;
}

namespace {

std::optional<std::string> toUtf8(const std::wstring& text, DWORD flags) {
    if (text.empty())
        return std::string();
    const int length = ::WideCharToMultiByte(
        CP_UTF8, flags, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (length <= 0)
        return std::nullopt;
    std::string narrow(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(CP_UTF8, flags, text.data(), static_cast<int>(text.size()), narrow.data(),
                          length, nullptr, nullptr);
    return narrow;
}

}  // namespace

std::optional<std::string> narrow(const std::wstring& text) {
    return toUtf8(text, WC_ERR_INVALID_CHARS);
}

std::string narrowForMessage(const std::wstring& text) {
    return toUtf8(text, 0).value_or(std::string());
}

const std::error_category& windowsCategory() {
    static const WindowsCategory category;
    return category;
}

std::error_code lastError() {
    return std::error_code(static_cast<int>(::GetLastError()), windowsCategory());
}

std::string systemReason(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring words = length > 0 && text ? std::wstring(text, length) : std::wstring();
    if (text)
        ::LocalFree(text);
    // "The system cannot find the file specified.\r\n" reads as the other systems' words do.
    while (!words.empty() && (words.back() == L'\n' || words.back() == L'\r' ||
                              words.back() == L' ' || words.back() == L'.'))
        words.pop_back();
    if (words.empty())
        return "Windows error " + std::to_string(error);
    return narrowForMessage(words);
}

int errnoFor(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
            return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_WRITE_PROTECT:
            return EACCES;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return EEXIST;
        case ERROR_DIRECTORY:
            return ENOTDIR;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_INVALID_NAME:
        case ERROR_INVALID_PARAMETER:
            return EINVAL;
        case ERROR_FILENAME_EXCED_RANGE:
            return ENAMETOOLONG;
        case ERROR_INVALID_HANDLE:
            return EBADF;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return ENOMEM;
        case ERROR_CANT_RESOLVE_FILENAME:
            return ELOOP;
        default:
            return EIO;
    }
}

HANDLE openFolder(const std::wstring& path, bool noFollow) {
    return ::CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS | (noFollow ? FILE_FLAG_OPEN_REPARSE_POINT : 0),
                         nullptr);
}

std::optional<std::wstring> pathOfHandle(HANDLE handle) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetFinalPathNameByHandleW(
            handle, path.data(), static_cast<DWORD>(path.size()), FILE_NAME_NORMALIZED);
        if (length == 0)
            return std::nullopt;
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(length + 1);
    }
}

std::optional<std::wstring> pathInFolder(NativeFile folder, const std::string& name) {
    auto base = pathOfHandle(handleOf(folder));
    auto wideName = widen(name);
    if (!base || !wideName)
        return std::nullopt;
    if (base->empty() || base->back() != L'\\')
        *base += L'\\';
    return *base + *wideName;
}

bool informationOf(HANDLE handle, BY_HANDLE_FILE_INFORMATION* info) {
    *info = {};
    return ::GetFileInformationByHandle(handle, info) != 0;
}

bool randomBytes(unsigned char* bytes, std::size_t count) {
    return BCRYPT_SUCCESS(::BCryptGenRandom(nullptr, bytes, static_cast<ULONG>(count),
                                            BCRYPT_USE_SYSTEM_PREFERRED_RNG));
}

}  // namespace zrk::win32
