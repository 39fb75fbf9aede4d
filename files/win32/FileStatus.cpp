#include "files/FileStatus.h"

#include <io.h>

#include "files/win32/WinApi.h"

namespace zrk {
namespace {

bool failed(std::error_code* why, DWORD error) {
    if (why)
        *why = std::error_code(static_cast<int>(error), win32::windowsCategory());
    return false;
}

bool failed(std::error_code* why) {
    return failed(why, ::GetLastError());
}

// Opened to be looked at only, following links; INVALID_HANDLE_VALUE with GetLastError set.
HANDLE openToLook(const std::string& path, DWORD access) {
    const auto wide = win32::widen(path);
    if (!wide) {
        ::SetLastError(ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    return ::CreateFileW(wide->c_str(), access,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

std::optional<FileStatus> statusOf(HANDLE handle) {
    // A console or NUL is a character device: there is nothing regular about it.
    if (::GetFileType(handle) != FILE_TYPE_DISK)
        return FileStatus{FileKind::Other, 0};
    BY_HANDLE_FILE_INFORMATION info;
    if (!win32::informationOf(handle, &info))
        return std::nullopt;
    if (win32::isDirectory(info))
        return FileStatus{FileKind::Directory, 0};
    return FileStatus{FileKind::Regular, win32::sizeOf(info)};
}

// Whether the path can be opened for access; false with why.
bool mayOpen(const std::string& path, DWORD access, std::error_code* why) {
    const HANDLE handle = openToLook(path, access);
    if (handle == INVALID_HANDLE_VALUE)
        return failed(why);
    ::CloseHandle(handle);
    return true;
}

}  // namespace

std::optional<FileStatus> fileStatus(const std::string& path, std::error_code* why) {
    const HANDLE handle = openToLook(path, FILE_READ_ATTRIBUTES);
    if (handle == INVALID_HANDLE_VALUE) {
        failed(why);
        return std::nullopt;
    }
    auto status = statusOf(handle);
    const DWORD error = ::GetLastError();
    ::CloseHandle(handle);
    if (!status)
        failed(why, error);
    return status;
}

std::optional<FileStatus> fileStatus(std::FILE* stream) {
    if (!stream)
        return std::nullopt;
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream)));
    if (handle == INVALID_HANDLE_VALUE)
        return std::nullopt;
    return statusOf(handle);
}

std::optional<FileIdentity> fileIdentity(const std::string& path, std::error_code* why) {
    const HANDLE handle = openToLook(path, FILE_READ_ATTRIBUTES);
    if (handle == INVALID_HANDLE_VALUE) {
        failed(why);
        return std::nullopt;
    }
    BY_HANDLE_FILE_INFORMATION info;
    const bool known = win32::informationOf(handle, &info);
    const DWORD error = ::GetLastError();
    ::CloseHandle(handle);
    if (!known) {
        failed(why, error);
        return std::nullopt;
    }
    return FileIdentity{
        info.dwVolumeSerialNumber,
        (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

bool pathExists(const std::string& path, std::error_code* why) {
    const auto wide = win32::widen(path);
    if (!wide)
        return failed(why, ERROR_INVALID_NAME);
    return ::GetFileAttributesW(wide->c_str()) != INVALID_FILE_ATTRIBUTES || failed(why);
}

bool mayRead(const std::string& path, std::error_code* why) {
    return mayOpen(path, GENERIC_READ, why);
}

bool mayWrite(const std::string& path, std::error_code* why) {
    // Opened for writing and closed at once: nothing in the file changes.
    return mayOpen(path, GENERIC_WRITE, why);
}

bool mayCreateIn(const std::string& folder, std::error_code* why) {
    const auto wide = win32::widen(folder);
    if (!wide)
        return failed(why, ERROR_INVALID_NAME);
    const DWORD attributes = ::GetFileAttributesW(wide->c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return failed(why);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return failed(why, ERROR_DIRECTORY);
    return mayOpen(folder, FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY, why);
}

}  // namespace zrk
