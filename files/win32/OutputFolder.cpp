#include "files/OutputFolder.h"

#include <filesystem>

#include "files/win32/ReservedNames.h"
#include "files/win32/WinApi.h"

namespace zrk {
namespace {

std::string trimmedFolder(const std::string& path) {
    std::string trimmed = path;
    // "C:\" and "/" stay whole: a drive's root is a folder of its own.
    while (trimmed.size() > 1 && (trimmed.back() == '/' || trimmed.back() == '\\') &&
           !(trimmed.size() == 3 && trimmed[1] == ':'))
        trimmed.pop_back();
    return trimmed;
}

// The folder at wide, held; whyNot names shown when it cannot be, or is a link or no folder.
// noFollow: a reparse point there (a symbolic link, a junction) is refused, not entered.
HANDLE holdFolder(const std::wstring& wide, const std::string& shown, bool noFollow,
                  const char* whenLink, const char* whenNotFolder, std::string* whyNot) {
    const HANDLE handle = win32::openFolder(wide, noFollow);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        if (whyNot)
            *whyNot = "cannot open the folder " + shown + ": " + win32::systemReason(error);
        return INVALID_HANDLE_VALUE;
    }
    BY_HANDLE_FILE_INFORMATION info;
    const bool known = win32::informationOf(handle, &info);
    const char* refusal = !known                        ? "cannot be looked at"
                          : win32::isReparsePoint(info) ? whenLink
                          : !win32::isDirectory(info)   ? whenNotFolder
                                                        : nullptr;
    if (refusal) {
        ::CloseHandle(handle);
        if (whyNot)
            *whyNot = shown + refusal;
        return INVALID_HANDLE_VALUE;
    }
    return handle;
}

}  // namespace

OutputFolder::~OutputFolder() {
    if (m_Handle != kNoFile)
        ::CloseHandle(win32::handleOf(m_Handle));
}

bool isPlainFileName(const std::string& name) {
    if (name.empty() || name == "." || name == ".." || name.size() > 255)
        return false;
    // What Windows cannot hold in a name, or would change: a name it drops the last dot or
    // space of would become another name.
    for (unsigned char c : name)
        if (c < 0x20 ||
            std::string_view("<>:\"/\\|?*").find(static_cast<char>(c)) != std::string_view::npos)
            return false;
    if (name.back() == '.' || name.back() == ' ')
        return false;
    return !win32::isReservedDeviceName(name) && win32::widen(name).has_value();
}

std::shared_ptr<OutputFolder> OutputFolder::openOrCreate(const std::string& path,
                                                         std::string* whyNot) {
    if (path.empty()) {
        if (whyNot)
            *whyNot = "no folder was named";
        return nullptr;
    }
    const std::string trimmed = trimmedFolder(path);
    const auto wide = win32::widen(trimmed);
    if (!wide) {
        if (whyNot)
            *whyNot = trimmed + " is not valid UTF-8";
        return nullptr;
    }
    // What already stands there (a file, a link) is judged by the open below.
    std::error_code made, looked;
    std::filesystem::create_directories(std::filesystem::path(*wide), made);
    if (made && !std::filesystem::exists(std::filesystem::symlink_status(*wide, looked))) {
        if (whyNot)
            *whyNot = "cannot create the folder " + trimmed + ": " + made.message();
        return nullptr;
    }
    const HANDLE handle =
        holdFolder(*wide, trimmed, true, " is a symbolic link; name the folder itself",
                   " is not a folder", whyNot);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    return std::shared_ptr<OutputFolder>(new OutputFolder(win32::nativeOf(handle), trimmed));
}

std::shared_ptr<OutputFolder> OutputFolder::openParentOf(const std::string& filePath,
                                                         std::string* name, std::string* whyNot) {
    const auto slash = filePath.find_last_of("/\\");
    const std::string folder = slash == std::string::npos         ? "."
                               : slash == 0                       ? filePath.substr(0, 1)
                               : slash == 2 && filePath[1] == ':' ? filePath.substr(0, 3)
                                                                  : filePath.substr(0, slash);
    *name = slash == std::string::npos ? filePath : filePath.substr(slash + 1);
    if (!isPlainFileName(*name)) {
        if (whyNot)
            *whyNot = filePath + " does not name a file";
        return nullptr;
    }
    const auto wide = win32::widen(folder);
    if (!wide) {
        if (whyNot)
            *whyNot = folder + " is not valid UTF-8";
        return nullptr;
    }
    // Reached as the path says: the user named it, links and all.
    const HANDLE handle = holdFolder(*wide, folder, false, "", " is not a folder", whyNot);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    return std::shared_ptr<OutputFolder>(new OutputFolder(win32::nativeOf(handle), folder));
}

std::shared_ptr<OutputFolder> OutputFolder::child(const std::string& name, std::string* whyNot) {
    const std::string shown = pathOf(name);
    if (!isPlainFileName(name)) {
        if (whyNot)
            *whyNot = "'" + name + "' cannot be a folder's name";
        return nullptr;
    }
    if (!claim(name)) {
        if (whyNot)
            *whyNot = "another name of this copy already became " + shown;
        return nullptr;
    }
    const auto wide = win32::pathInFolder(m_Handle, name);
    if (!wide ||
        (!::CreateDirectoryW(wide->c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS)) {
        if (whyNot)
            *whyNot =
                "cannot create the folder " + shown + ": " + win32::systemReason(::GetLastError());
        return nullptr;
    }
    return enter(name, whyNot);
}

std::shared_ptr<OutputFolder> OutputFolder::enter(const std::string& name,
                                                  std::string* whyNot) const {
    const std::string shown = pathOf(name);
    if (!isPlainFileName(name)) {
        if (whyNot)
            *whyNot = "'" + name + "' cannot be a folder's name";
        return nullptr;
    }
    const auto wide = win32::pathInFolder(m_Handle, name);
    if (!wide) {
        if (whyNot)
            *whyNot =
                "cannot open the folder " + shown + ": " + win32::systemReason(::GetLastError());
        return nullptr;
    }
    const HANDLE handle = holdFolder(
        *wide, shown, true, " is a symbolic link that was already there; it is not followed",
        " exists and is not a folder", whyNot);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    return std::shared_ptr<OutputFolder>(new OutputFolder(win32::nativeOf(handle), shown));
}

bool OutputFolder::claim(const std::string& name) {
    // Windows' names ignore case: "Read.me" and "READ.ME" would be one file.
    auto wide = win32::widen(name);
    if (!wide)
        return m_Claimed.insert(name).second;
    ::CharUpperBuffW(wide->data(), static_cast<DWORD>(wide->size()));
    return m_Claimed.insert(win32::narrowForMessage(*wide)).second;
}

std::string OutputFolder::pathOf(const std::string& name) const {
    if (m_Path == ".")
        return name;
    // Windows' own separator, so that messages name paths as its programs show them.
    const bool separated = !m_Path.empty() && (m_Path.back() == '/' || m_Path.back() == '\\');
    return (separated ? m_Path : m_Path + "\\") + name;
}

}  // namespace zrk
