#pragma once
// Filling the phone's NAND file system from a .qix image and its .cfg: mount, the image's CRC,
// the clock, every directory, the version texts, every file in blocks of up to 8192 bytes with
// an empty block after a file whose size is a multiple of 8192, unmount.
#include <cstdint>
#include <optional>
#include <string>

#include "engine/HeldFiles.h"
#include "engine/OpenFile.h"
#include "filesystem/CodePage.h"
#include "filesystem/QixConfig.h"
#include "filesystem/QixFileSender.h"

namespace zrk {

class FileSystemVerify;
class PhaseContext;

class FileSystemDownload : private HeldFiles {
  public:
    // With "Verify after download" the files are read back through verify before the download
    // counts as done.
    FileSystemDownload(PhaseContext& context, FileSystemVerify& verify);
    FileSystemDownload(const FileSystemDownload&) = delete;
    FileSystemDownload& operator=(const FileSystemDownload&) = delete;

    void press();         // DOWNLOAD in QIX
    void onStartReply();  // WAIT_START_REPLY with OP_FILE_SYSTEM

  private:
    void onMounted();
    void sendTime();
    void nextDirectory();
    void awaitFolderMade();
    void versionStep();
    void sendReleaseVersion();
    void onUnmounted();
    void failChangedImage();
    void complete();
    void completeDownload(std::uint64_t total);

    void closeFiles() override { m_Image.close(); }
    bool holdsOpenFile() const override { return m_Image.isOpen(); }

    PhaseContext& m_Context;
    FileSystemVerify& m_Verify;
    // The image the files are sent from, open from the version texts to the unmount.
    OpenFile m_Image;
    QixFileSender m_Files;  // reads m_Image
    std::string m_ImagePath;
    std::optional<QixConfig> m_Config;
    std::optional<CodePage> m_CodePage;
};

}  // namespace zrk
