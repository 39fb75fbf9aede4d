#pragma once
// The one way an output file is written. The bytes go to a new file with a name of its own
// beside the target, created so that it cannot be a link or a file that was already there;
// only a complete, synced file takes the target's name. Until then the target is untouched, so
// a failure never leaves a torn file, or someone else's file cut short, under the name asked
// for. A file that is neither committed nor kept is removed when the object goes.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "files/NativeFile.h"

namespace zrk {

class OutputFolder;

class OutputFile {
  public:
    enum class Existing {
        Replace,  // a file the user named: what stood under the name is replaced whole
        Refuse,   // a copy's files: a name that is taken is a failure, never overwritten
    };

    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // The target is path; its folder is reached as the path says (the user named it). A
    // device the user named (/dev/null, /dev/stdout) is written straight into, as nothing could
    // be renamed over it; a FIFO or a device found anywhere else, and a folder, are refused
    // (see OutputTarget.h). Nothing here waits on a device or a FIFO.
    bool create(const std::string& path, Existing existing = Existing::Replace,
                std::string* whyNot = nullptr);
    // The target is name inside folder.
    bool create(std::shared_ptr<OutputFolder> folder, const std::string& name, Existing existing,
                std::string* whyNot = nullptr);

    bool isOpen() const { return m_File != kNoFile; }
    bool write(const void* data, std::size_t length);
    // Hands what is buffered to the system now (a log or trace that should survive a crash
    // line by line); false on a write error.
    bool flush();
    std::uint64_t bytesWritten() const { return m_Written; }

    // Writes out, syncs and gives the file its target's name. On failure the file stays
    // uncommitted (keepPartial or discard it); whyNot says why. A hidden file that is no longer
    // the one written (someone with access to the folder swapped it) never takes the name.
    bool commit(std::string* whyNot = nullptr);
    // For a transfer cut short whose bytes are worth keeping: the file takes the name
    // "<target>.part" where that name is free (never replacing anything), or keeps its own
    // name, and stays there when the object goes. It may stay open until then. When the hidden
    // file was swapped, the bytes are copied into a new file of the writer's own first. Returns
    // the path it is under now, empty when there is nothing to keep.
    std::string keepPartial();
    // Closes the file; one that was neither committed nor kept is removed.
    void discard();
    // Open, and neither kept nor committed yet.
    bool isPending() const { return m_File != kNoFile && m_KeptPath.empty(); }

    // The target's path as given, and the file's own path while it is being written.
    const std::string& targetPath() const { return m_TargetPath; }
    std::string temporaryPath() const;
    // Why the last write failed (the system's words, and its code).
    const std::string& writeError() const { return m_WriteError; }
    std::error_code writeErrorCode() const { return m_WriteErrorCode; }
    // The errno number nearest to it (0 when none), for callers that keep errno numbers.
    int writeErrorNumber() const;

  private:
    // Blocks of a dump arrive a few KB at a time; one system call per 64 KB.
    static constexpr std::size_t kBufferBytes = 64 * 1024;

    bool open(std::string* whyNot);
    bool openDevice(const std::string& path, bool throughLink, std::string* whyNot);
    bool openDescriptor(const std::string& path, int descriptor, std::string* whyNot);
    // A new hidden file beside the target, named into m_TempName.
    NativeFile createTemporary(std::string* whyNot);
    // The name in the folder still is the file this object holds open.
    bool holdsFileNamed(const std::string& name) const;
    // The bytes written so far moved into a new hidden file of this object's own.
    bool rehome();
    // A fresh start on the newly opened file.
    void begin(NativeFile file);
    void closeFile();

    std::shared_ptr<OutputFolder> m_Folder;
    std::string m_Name;        // the target's name in the folder
    std::string m_TempName;    // the file's own name in the folder
    std::string m_TargetPath;  // for messages
    Existing m_Existing = Existing::Replace;
    NativeFile m_File = kNoFile;
    std::vector<std::uint8_t> m_Buffer;
    std::uint64_t m_Written = 0;
    std::string m_WriteError;
    std::error_code m_WriteErrorCode;
    std::string m_KeptPath;  // set by keepPartial
    bool m_Stream = false;   // written straight into a device or pipe: nothing to rename
};

}  // namespace zrk
