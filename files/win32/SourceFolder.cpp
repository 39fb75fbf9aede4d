#include "files/SourceFolder.h"

#include "files/RegularFileReader.h"
#include "files/win32/WinApi.h"

namespace zrk {
namespace {

FileIdentity identityOf(const BY_HANDLE_FILE_INFORMATION& info) {
    return {info.dwVolumeSerialNumber,
            (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

// A reparse point stands where a folder should: a symbolic link or a junction, neither of
// which is entered.
HANDLE enterFolder(const std::wstring& path, const char* whenLink, const char* whenNotFolder,
                   std::string* whyNot) {
    const HANDLE handle = win32::openFolder(path, true);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        if (whyNot)
            *whyNot = error == ERROR_DIRECTORY
                          ? std::string(whenNotFolder)
                          : "cannot open the folder: " + win32::systemReason(error);
        return INVALID_HANDLE_VALUE;
    }
    BY_HANDLE_FILE_INFORMATION info;
    const char* refusal = !win32::informationOf(handle, &info) ? "cannot look at the folder"
                          : win32::isReparsePoint(info)        ? whenLink
                          : !win32::isDirectory(info)          ? whenNotFolder
                                                               : nullptr;
    if (refusal) {
        ::CloseHandle(handle);
        if (whyNot)
            *whyNot = refusal;
        return INVALID_HANDLE_VALUE;
    }
    return handle;
}

}  // namespace

SourceFolder::~SourceFolder() {
    if (m_Handle != kNoFile)
        ::CloseHandle(win32::handleOf(m_Handle));
}

std::shared_ptr<SourceFolder> SourceFolder::adopt(NativeFile handle, std::string path,
                                                  std::string* whyNot) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!win32::informationOf(win32::handleOf(handle), &info)) {
        const DWORD error = ::GetLastError();
        ::CloseHandle(win32::handleOf(handle));
        if (whyNot)
            *whyNot = "cannot look at the folder " + path + ": " + win32::systemReason(error);
        return nullptr;
    }
    return std::shared_ptr<SourceFolder>(
        new SourceFolder(handle, std::move(path), identityOf(info)));
}

std::shared_ptr<SourceFolder> SourceFolder::open(const std::string& path, std::string* whyNot) {
    std::string trimmed = path;
    // "DIR/" would follow a link at DIR.
    while (trimmed.size() > 1 && (trimmed.back() == '/' || trimmed.back() == '\\') &&
           !(trimmed.size() == 3 && trimmed[1] == ':'))
        trimmed.pop_back();
    const auto wide = win32::widen(trimmed);
    if (!wide) {
        if (whyNot)
            *whyNot = "cannot open the folder: the name is not valid UTF-8";
        return nullptr;
    }
    const HANDLE handle =
        enterFolder(*wide, "a symbolic link; name the folder itself", "not a folder", whyNot);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    return adopt(win32::nativeOf(handle), trimmed, whyNot);
}

std::shared_ptr<SourceFolder> SourceFolder::enter(const std::string& name,
                                                  std::string* whyNot) const {
    const auto wide = win32::pathInFolder(m_Handle, name);
    if (!wide) {
        if (whyNot)
            *whyNot = "cannot open the folder: " + win32::systemReason(::GetLastError());
        return nullptr;
    }
    const HANDLE handle =
        enterFolder(*wide, "a symbolic link where a folder was; it is not followed",
                    "no longer a folder", whyNot);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    return adopt(win32::nativeOf(handle), pathOf(name), whyNot);
}

bool SourceFolder::list(std::vector<SourceEntry>* entries, std::string* whyNot) const {
    const auto pattern = win32::pathInFolder(m_Handle, "*");
    WIN32_FIND_DATAW found{};
    const HANDLE search = pattern ? ::FindFirstFileExW(pattern->c_str(), FindExInfoBasic, &found,
                                                       FindExSearchNameMatch, nullptr, 0)
                                  : INVALID_HANDLE_VALUE;
    if (search == INVALID_HANDLE_VALUE) {
        if (whyNot)
            *whyNot = "cannot read the folder: " + win32::systemReason(::GetLastError());
        return false;
    }
    bool ok = true;
    do {
        const std::wstring wideName = found.cFileName;
        if (wideName == L"." || wideName == L"..")
            continue;
        const auto name = win32::narrow(wideName);
        if (!name) {
            ok = false;
            if (whyNot)
                *whyNot =
                    pathOf(win32::narrowForMessage(wideName)) + ": the name is not valid UTF-16";
            break;
        }
        // Looked at as it is now, through a handle on the entry itself (never what a link
        // points at): the number that tells two names of one file apart comes only from there.
        const auto path = win32::pathInFolder(m_Handle, *name);
        const HANDLE entryHandle =
            path ? ::CreateFileW(path->c_str(), FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr)
                 : INVALID_HANDLE_VALUE;
        BY_HANDLE_FILE_INFORMATION info;
        const bool known =
            entryHandle != INVALID_HANDLE_VALUE && win32::informationOf(entryHandle, &info);
        const DWORD error = ::GetLastError();
        if (entryHandle != INVALID_HANDLE_VALUE)
            ::CloseHandle(entryHandle);
        if (!known) {
            ok = false;
            if (whyNot)
                *whyNot = pathOf(*name) + ": " + win32::systemReason(error);
            break;
        }
        SourceEntry entry;
        entry.name = *name;
        entry.link = win32::isReparsePoint(info);
        entry.kind = entry.link                 ? FileKind::Other
                     : win32::isDirectory(info) ? FileKind::Directory
                                                : FileKind::Regular;
        entry.size = entry.kind == FileKind::Regular ? win32::sizeOf(info) : 0;
        entry.identity = identityOf(info);
        entries->push_back(std::move(entry));
    } while (::FindNextFileW(search, &found));
    if (ok && ::GetLastError() != ERROR_NO_MORE_FILES) {
        ok = false;
        if (whyNot)
            *whyNot = "cannot read the folder: " + win32::systemReason(::GetLastError());
    }
    ::FindClose(search);
    return ok;
}

bool SourceFolder::openFile(const std::string& name, RegularFileReader& reader,
                            FileIdentity* identity, std::string* whyNot) const {
    reader.close();
    const auto path = win32::pathInFolder(m_Handle, name);
    // The entry itself (FILE_FLAG_OPEN_REPARSE_POINT): a link there is opened as the link and
    // refused below, never followed.
    const HANDLE handle =
        path ? ::CreateFileW(path->c_str(), GENERIC_READ,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING,
                             FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr)
             : INVALID_HANDLE_VALUE;
    if (handle == INVALID_HANDLE_VALUE) {
        if (whyNot)
            *whyNot = win32::systemReason(::GetLastError());
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info;
    const bool looked =
        ::GetFileType(handle) == FILE_TYPE_DISK && win32::informationOf(handle, &info);
    const char* refusal = !looked || win32::isDirectory(info) ? "no longer a regular file"
                          : win32::isReparsePoint(info)
                              ? "a symbolic link where a file was; it is not followed"
                              : nullptr;
    if (refusal) {
        ::CloseHandle(handle);
        if (whyNot)
            *whyNot = refusal;
        return false;
    }
    reader.m_Handle = win32::nativeOf(handle);
    reader.m_Size = win32::sizeOf(info);
    if (identity)
        *identity = identityOf(info);
    return true;
}

std::string SourceFolder::pathOf(const std::string& name) const {
    if (m_Path == ".")
        return name;
    // Windows' own separator, so that messages name paths as its programs show them.
    const bool separated = !m_Path.empty() && (m_Path.back() == '/' || m_Path.back() == '\\');
    return (separated ? m_Path : m_Path + "\\") + name;
}

}  // namespace zrk
