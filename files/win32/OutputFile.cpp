#include "files/OutputFile.h"

#include "files/OutputFolder.h"
#include "files/OutputTarget.h"
#include "files/win32/WinApi.h"

namespace zrk {
namespace {

// Room for ".", "." and six letters of its own and ".part" within the 255 characters of a
// name, for a target of any allowed length.
constexpr std::size_t kTempPrefixBytes = 200;

std::string reason(DWORD error) {
    return win32::systemReason(error);
}

// Cut at a character's start, so that a shortened UTF-8 name stays readable.
std::string utf8Prefix(const std::string& text, std::size_t bytes) {
    if (text.size() <= bytes)
        return text;
    std::size_t end = bytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

std::string randomLetters() {
    static constexpr char kLetters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char raw[6] = {};
    if (!win32::randomBytes(raw, sizeof raw)) {
        // Uniqueness comes from CREATE_NEW; the letters only make a clash unlikely.
        static unsigned counter = 0;
        const unsigned seed = static_cast<unsigned>(::GetCurrentProcessId()) * 2654435761u +
                              static_cast<unsigned>(::GetTickCount()) + ++counter;
        for (std::size_t i = 0; i < sizeof raw; ++i)
            raw[i] = static_cast<unsigned char>(seed >> (i * 5));
    }
    std::string letters;
    for (unsigned char byte : raw)
        letters += kLetters[byte % (sizeof kLetters - 1)];
    return letters;
}

// The file named name in folder, as it stands (a link there is the link itself).
bool identityNamed(NativeFile folder, const std::string& name, BY_HANDLE_FILE_INFORMATION* info) {
    const auto path = win32::pathInFolder(folder, name);
    if (!path)
        return false;
    const HANDLE handle = ::CreateFileW(
        path->c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    const bool known = win32::informationOf(handle, info);
    ::CloseHandle(handle);
    return known;
}

// Gives from the name to: replacing what stands there, or never.
bool moveInFolder(NativeFile folder, const std::string& from, const std::string& to, bool replace,
                  DWORD* error) {
    const auto source = win32::pathInFolder(folder, from);
    const auto target = win32::pathInFolder(folder, to);
    if (!source || !target) {
        *error = ::GetLastError() ? ::GetLastError() : ERROR_INVALID_NAME;
        return false;
    }
    // Write-through: the new name is on disk when the call returns.
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    if (::MoveFileExW(source->c_str(), target->c_str(), flags))
        return true;
    *error = ::GetLastError();
    return false;
}

// Removes exactly the file handle holds, whatever name it has now.
void deleteHeld(HANDLE handle) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    ::SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition);
}

}  // namespace

bool OutputFile::openDevice(const std::string& path, bool, std::string* whyNot) {
    const auto wide = win32::widen(path);
    const HANDLE handle =
        wide ? ::CreateFileW(wide->c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, 0, nullptr)
             : INVALID_HANDLE_VALUE;
    if (handle == INVALID_HANDLE_VALUE) {
        if (whyNot)
            *whyNot =
                "cannot open " + path + ": " + reason(wide ? ::GetLastError() : ERROR_INVALID_NAME);
        return false;
    }
    if (::GetFileType(handle) != FILE_TYPE_CHAR) {
        ::CloseHandle(handle);
        if (whyNot)
            *whyNot = path + " changed into something other than a device; nothing was written";
        return false;
    }
    m_Stream = true;
    m_TargetPath = path;
    begin(win32::nativeOf(handle));
    return true;
}

bool OutputFile::openDescriptor(const std::string& path, int, std::string* whyNot) {
    // Windows names no descriptors by path; judgeOutputTarget never answers Descriptor here.
    if (whyNot)
        *whyNot = "cannot open " + path + ": not a file or a device";
    return false;
}

NativeFile OutputFile::createTemporary(std::string* whyNot) {
    const std::string prefix = "." + utf8Prefix(m_Name, kTempPrefixBytes) + ".";
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = prefix + randomLetters() + ".part";
        const auto path = win32::pathInFolder(m_Folder->handle(), candidate);
        if (!path) {
            if (whyNot)
                *whyNot = "cannot create a file in " + m_Folder->path() + ": " +
                          reason(::GetLastError() ? ::GetLastError() : ERROR_INVALID_NAME);
            return kNoFile;
        }
        // CREATE_NEW never opens what was there, a link included. Readable too, so that the
        // bytes can move to another file (rehome); DELETE, so that discard removes exactly
        // this file; shared for delete, so that the file can be renamed while it is open.
        const HANDLE handle =
            ::CreateFileW(path->c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                          FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            m_TempName = candidate;
            return win32::nativeOf(handle);
        }
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
            if (whyNot)
                *whyNot = "cannot create a file in " + m_Folder->path() + ": " + reason(error);
            return kNoFile;
        }
    }
    if (whyNot)
        *whyNot = "cannot create a file in " + m_Folder->path() + ": every name tried was taken";
    return kNoFile;
}

bool OutputFile::holdsFileNamed(const std::string& name) const {
    if (!m_Folder || m_File == kNoFile)
        return false;
    // The volume is the folder's: the file was made there, and a rename never leaves its
    // volume. (Wine forgets the volume of a handle whose file was renamed.)
    BY_HANDLE_FILE_INFORMATION folder;
    BY_HANDLE_FILE_INFORMATION held;
    BY_HANDLE_FILE_INFORMATION named;
    return win32::informationOf(win32::handleOf(m_Folder->handle()), &folder) &&
           win32::informationOf(win32::handleOf(m_File), &held) &&
           identityNamed(m_Folder->handle(), name, &named) && !win32::isReparsePoint(named) &&
           !win32::isDirectory(named) &&
           named.dwVolumeSerialNumber == folder.dwVolumeSerialNumber &&
           named.nFileIndexHigh == held.nFileIndexHigh && named.nFileIndexLow == held.nFileIndexLow;
}

bool OutputFile::rehome() {
    const NativeFile copy = createTemporary(nullptr);
    if (copy == kNoFile)
        return false;
    const HANDLE from = win32::handleOf(m_File);
    const HANDLE to = win32::handleOf(copy);
    std::vector<std::uint8_t> chunk(kBufferBytes);
    std::uint64_t offset = 0;
    for (;;) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD got = 0;
        if (!::ReadFile(from, chunk.data(), static_cast<DWORD>(chunk.size()), &got, &at) ||
            got == 0)
            break;
        DWORD done = 0;
        while (done < got) {
            DWORD n = 0;
            if (!::WriteFile(to, chunk.data() + done, got - done, &n, nullptr) || n == 0) {
                deleteHeld(to);
                ::CloseHandle(to);
                return false;
            }
            done += n;
        }
        offset += got;
    }
    closeFile();
    m_File = copy;
    return true;
}

bool OutputFile::flush() {
    if (m_File == kNoFile || !m_WriteError.empty())
        return false;
    std::size_t done = 0;
    while (done < m_Buffer.size()) {
        DWORD n = 0;
        if (!::WriteFile(win32::handleOf(m_File), m_Buffer.data() + done,
                         static_cast<DWORD>(m_Buffer.size() - done), &n, nullptr) ||
            n == 0) {
            const DWORD error = ::GetLastError();
            m_WriteErrorCode = std::error_code(static_cast<int>(error ? error : ERROR_WRITE_FAULT),
                                               win32::windowsCategory());
            m_WriteError = m_WriteErrorCode.message();
            m_Buffer.erase(m_Buffer.begin(), m_Buffer.begin() + static_cast<std::ptrdiff_t>(done));
            return false;
        }
        done += n;
    }
    m_Buffer.clear();
    return true;
}

bool OutputFile::commit(std::string* whyNot) {
    if (m_File == kNoFile || !m_KeptPath.empty()) {
        if (whyNot)
            *whyNot = "the file is not open";
        return false;
    }
    const auto failed = [&](const std::string& what) {
        if (whyNot)
            *whyNot = what;
        return false;
    };
    if (!flush())
        return failed("cannot write " + m_TargetPath + ": " + m_WriteError);
    if (m_Stream) {
        closeFile();
        m_Stream = false;
        return true;
    }
    // On disk before the rename: otherwise a crash could leave the name on empty blocks.
    if (!::FlushFileBuffers(win32::handleOf(m_File))) {
        m_WriteErrorCode = win32::lastError();
        m_WriteError = m_WriteErrorCode.message();
        return failed("cannot write " + m_TargetPath + ": " + m_WriteError);
    }
    if (!holdsFileNamed(m_TempName))
        return failed("the hidden file " + m_Folder->pathOf(m_TempName) +
                      " was replaced by something else while it was written; " + m_TargetPath +
                      " was left as it was");
    DWORD error = 0;
    const bool replace = m_Existing == Existing::Replace;
    if (!moveInFolder(m_Folder->handle(), m_TempName, m_Name, replace, &error)) {
        if (!replace && (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS))
            return failed(m_TargetPath + " already exists; it was left as it was");
        return failed("cannot give " + m_TargetPath + " its name: " + reason(error));
    }
    // A swap between the look and the rename: what took the name is not ours, so it goes.
    if (!holdsFileNamed(m_Name)) {
        if (const auto path = win32::pathInFolder(m_Folder->handle(), m_Name))
            ::DeleteFileW(path->c_str());
        return failed("the hidden file of " + m_TargetPath +
                      " was replaced by something else while it was written; nothing was left "
                      "under that name");
    }
    closeFile();
    m_Folder.reset();
    m_TempName.clear();
    return true;
}

std::string OutputFile::keepPartial() {
    if (m_File == kNoFile || !m_KeptPath.empty())
        return m_KeptPath;
    flush();
    if (m_Stream) {
        m_KeptPath = m_TargetPath;
        return m_KeptPath;
    }
    // What stands under the hidden name may no longer be this file: the bytes are kept in one
    // of its own rather than under a name someone else chose.
    if (!holdsFileNamed(m_TempName) && !rehome())
        return m_KeptPath;
    m_KeptPath = m_Folder->pathOf(m_TempName);
    DWORD error = 0;
    const std::string partName = m_Name + ".part";
    // An open file keeps its handle through a rename.
    if (isPlainFileName(partName) &&
        moveInFolder(m_Folder->handle(), m_TempName, partName, false, &error)) {
        if (holdsFileNamed(partName)) {
            m_KeptPath = m_Folder->pathOf(partName);
            m_TempName = partName;
        } else {
            // Swapped between the look and the rename: that is not ours to keep.
            if (const auto path = win32::pathInFolder(m_Folder->handle(), partName))
                ::DeleteFileW(path->c_str());
            m_KeptPath = rehome() ? m_Folder->pathOf(m_TempName) : std::string();
        }
    }
    return m_KeptPath;
}

void OutputFile::discard() {
    if (m_File != kNoFile) {
        // Only the file this object made, through its own handle: a name someone swapped in
        // stays as they left it.
        if (m_KeptPath.empty() && !m_Stream)
            deleteHeld(win32::handleOf(m_File));
        closeFile();
    }
    m_Stream = false;
    m_Folder.reset();
    m_TempName.clear();
    m_KeptPath.clear();
    m_Buffer.clear();
}

int OutputFile::writeErrorNumber() const {
    return m_WriteErrorCode ? win32::errnoFor(static_cast<DWORD>(m_WriteErrorCode.value())) : 0;
}

void OutputFile::closeFile() {
    if (m_File != kNoFile)
        ::CloseHandle(win32::handleOf(m_File));
    m_File = kNoFile;
}

}  // namespace zrk
