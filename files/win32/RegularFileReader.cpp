#include "files/RegularFileReader.h"

#include <cerrno>

#include "files/win32/WinApi.h"

namespace zrk {
namespace {

RegularFileReader::Open notRegular(bool folder) {
    errno = folder ? EISDIR : EINVAL;
    return RegularFileReader::Open::NotRegular;
}

RegularFileReader::Open failedWith(DWORD error) {
    errno = win32::errnoFor(error);
    return RegularFileReader::Open::Failed;
}

}  // namespace

RegularFileReader::Open RegularFileReader::open(const std::string& path, Options options) {
    close();
    const auto wide = win32::widen(path);
    if (!wide)
        return failedWith(ERROR_INVALID_NAME);
    const DWORD attributes = ::GetFileAttributesW(wide->c_str());
    if (options.lookFirst && attributes == INVALID_FILE_ATTRIBUTES)
        return failedWith(::GetLastError());
    // A folder cannot be opened as a file: told by its kind, as on other systems.
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
        (options.followLinks || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)))
        return notRegular(true);
    const HANDLE handle = ::CreateFileW(
        wide->c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING,
        FILE_FLAG_SEQUENTIAL_SCAN | (options.followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT),
        nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return failedWith(::GetLastError());
    BY_HANDLE_FILE_INFORMATION info;
    if (::GetFileType(handle) != FILE_TYPE_DISK || !win32::informationOf(handle, &info)) {
        ::CloseHandle(handle);
        return notRegular(false);
    }
    if (win32::isReparsePoint(info)) {
        // Not followed when asked not to: the link itself is no file to read.
        ::CloseHandle(handle);
        return failedWith(ERROR_CANT_RESOLVE_FILENAME);
    }
    if (win32::isDirectory(info)) {
        ::CloseHandle(handle);
        return notRegular(true);
    }
    m_Handle = win32::nativeOf(handle);
    m_Size = win32::sizeOf(info);
    return Open::Opened;
}

long RegularFileReader::read(void* buffer, std::size_t capacity) {
    if (m_Handle == kNoFile) {
        errno = EBADF;
        return -1;
    }
    constexpr std::size_t kMostAtOnce = 1u << 30;
    DWORD got = 0;
    if (!::ReadFile(win32::handleOf(m_Handle), buffer,
                    static_cast<DWORD>(capacity < kMostAtOnce ? capacity : kMostAtOnce), &got,
                    nullptr)) {
        errno = win32::errnoFor(::GetLastError());
        return -1;
    }
    return static_cast<long>(got);
}

void RegularFileReader::close() {
    if (m_Handle != kNoFile)
        ::CloseHandle(win32::handleOf(m_Handle));
    m_Handle = kNoFile;
    m_Size = 0;
}

}  // namespace zrk
