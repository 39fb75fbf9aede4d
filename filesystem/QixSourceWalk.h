#pragma once
// The folder an image is made from, walked once before anything is written: every name judged
// as the configuration and the phone would take it, every folder entered through the
// descriptor of the one above, so that one swapped for a link while it is read is refused,
// never followed.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "files/SourceFolder.h"

namespace zrk {

class CodePage;

inline constexpr const char* kChangedWhileMade = "changed while the image was made";

struct QixSourceEntry {
    std::string phonePath;           // "/docs/a.txt", UTF-8
    std::string localPath;           // the same in the code page, as the configuration holds it
    std::string diskPath;            // for messages only: nothing is opened by it
    std::vector<std::string> parts;  // the names from the folder down, as the folder holds them
    FileIdentity identity;           // what the walk found under them
    std::uint64_t size = 0;
};

struct QixSourceWalk {
    std::vector<QixSourceEntry> directories;
    std::vector<QixSourceEntry> files;
    std::uint64_t bytes = 0;
    struct Refusal {
        std::string text;
    };
    std::optional<Refusal> refusal;
    bool interrupted = false;
};

// The first configuration key the text holds, which would read as an entry of its own; empty
// when it holds none.
std::string qixKeyInside(std::string_view text);

// The tree under root, in the order the folder lists it. False once a refusal is recorded or a
// stop was asked for (walk.interrupted).
bool walkQixSource(const SourceFolder& root, const CodePage& codePage,
                   const std::function<bool()>& stopRequested, QixSourceWalk& walk);

}  // namespace zrk
