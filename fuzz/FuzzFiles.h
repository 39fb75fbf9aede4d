#pragma once
// The files the harnesses hand to the engines, made once per process in a fresh folder that is
// removed at exit: firmware images of a few sizes (none has a block of 1 or 5 bytes, so a block
// is never mistaken for a command in the transcript), a file-system image whose bytes are all
// letters, its configuration and a broken one, and where dumps go. The folder is in memory
// where the system has such a place: a dump that completes syncs its file and its folder, which
// on a disk costs more than the rest of the input.
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/TempDir.h"
#include "support/TestImages.h"

namespace zrk::fuzz {

inline std::filesystem::path fuzzFilesParent() {
    const char* memory = "/dev/shm";
    return ::access(memory, W_OK | X_OK) == 0 ? std::filesystem::path(memory)
                                              : std::filesystem::temp_directory_path();
}

struct FuzzFiles {
    test::TempDir dir{fuzzFilesParent()};
    std::vector<std::string> images;                    // 3000 bytes, 20000 bytes, empty, a folder
    std::vector<std::vector<std::uint8_t>> imageBytes;  // what each holds, read once
    std::string qix;
    std::string cfg;
    std::string badCfg;  // sizes that do not add up to the image's
    std::string qixContent;
    std::string dumpPath;

    FuzzFiles() {
        images.push_back(dir.write("small.bin", test::randomImage(3000, 1)));
        images.push_back(dir.write("large.bin", test::randomImage(20000, 2)));
        images.push_back(dir.write("empty.bin", {}));
        images.push_back(dir.file(""));
        for (const auto& image : images)
            imageBytes.push_back(test::TempDir::read(image));
        for (int i = 0; i < 8202 + 40; ++i)
            qixContent.push_back(static_cast<char>('a' + i % 26));
        qix = dir.write("fs.qix", {qixContent.begin(), qixContent.end()});
        const std::string text =
            "QIXVERSION : FUZZ VERSION 0001\r\n"
            "QIXRELEASEVERSION : R1.00       \r\n"
            "DIR_NAME : /d\r\n"
            "DIR_NAME : /d/e\r\n"
            "FILE_NAME : /d/a.txt\r\nFILE_SIZE : 10\r\n"
            "FILE_NAME : /d/e/big\r\nFILE_SIZE : 8192\r\n"
            "FILE_NAME : /empty\r\nFILE_SIZE : 0\r\n"
            "FILE_NAME : /z\r\nFILE_SIZE : 40\r\n";
        cfg = dir.write("fs.cfg", {text.begin(), text.end()});
        const std::string bad =
            "QIXVERSION : FUZZ VERSION 0001\r\nFILE_NAME : /a\r\n"
            "FILE_SIZE : 3\r\n";
        badCfg = dir.write("bad.cfg", {bad.begin(), bad.end()});
        dumpPath = dir.file("dump.hex");
    }
};

inline FuzzFiles& files() {
    static FuzzFiles f;
    return f;
}

}  // namespace zrk::fuzz
