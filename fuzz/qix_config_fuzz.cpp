// The .cfg check and its directory and file walks over any text, in a few code pages. The walks
// must end, move forward, restart the same way, give names the phone can take, and never
// promise more file bytes than the checked image holds.
//
// Input: one byte for the code page, four for the image size (big-endian), then the text.
#include <cstdint>
#include <string>
#include <vector>

#include "filesystem/CodePage.h"
#include "filesystem/QixConfig.h"
#include "fuzz/FuzzCheck.h"
#include "fuzz/FuzzInput.h"

namespace zrk::fuzz {
namespace {

const CodePage& codePage(std::uint8_t which) {
    static const std::vector<CodePage> pages = [] {
        std::vector<CodePage> p;
        for (const char* name : {"UTF-8", "CP1252", "CP949", "ANSI_X3.4-1968"})
            p.push_back(std::move(*CodePage::open(name, nullptr)));
        return p;
    }();
    return pages[which % pages.size()];
}

struct Walked {
    std::vector<std::string> names;
    std::uint64_t bytes = 0;
};

Walked walk(QixConfig& config, const CodePage& page, bool files, const std::string& text) {
    Walked out;
    const std::string key = files ? "FILE_NAME : " : "DIR_NAME : ";
    const std::size_t limit = files ? kMaxFileNameUtf8 : kMaxDirNameUtf8;
    // Every entry moves past its key, so there cannot be more steps than bytes.
    for (std::size_t steps = 0;; ++steps) {
        check(steps <= text.size() + 1, "the walk does not end");
        const std::size_t before = config.walkPosition();
        const WalkStep step = files ? config.nextFileEntry(page) : config.nextDirEntry(page);
        if (step.result == WalkResult::NoneLeft) {
            check(config.walkPosition() == 0, "a finished walk does not start over");
            return out;
        }
        if (step.result == WalkResult::NameTooLong) {
            check(!step.logText.empty(), "a refused name without a word in the log");
            return out;
        }
        const QixEntry& e = step.entry;
        check(config.walkPosition() > before, "the walk did not move forward");
        check(!e.utf8Name.empty() && e.utf8Name.back() == '\0',
              "a name without its terminating zero");
        check(e.utf8Name.size() <= limit, "a name longer than the phone takes");
        check(e.utf8Name.find('\0') == e.utf8Name.size() - 1, "a zero inside a name");
        check(e.localName.size() < kNameBufferSize, "a local name over its buffer");
        check(text.find(key + e.localName) != std::string::npos,
              "a name that is not in the configuration");
        out.names.push_back(e.utf8Name);
        out.bytes += e.fileSize;
    }
}

}  // namespace
}  // namespace zrk::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zrk;
    using namespace zrk::fuzz;
    FuzzInput in(data, size);
    const CodePage& page = codePage(in.byte());
    std::uint64_t imageSize = 0;
    for (int i = 0; i < 4; ++i)
        imageSize = imageSize << 8 | in.byte();
    const std::vector<std::uint8_t> rest = in.rest();
    const std::string text(rest.begin(), rest.end());

    QixCheckResult result = checkQixConfigText(text, imageSize);
    check(result.ok() || !result.logText.empty() || !result.messageText.empty(),
          "a refused configuration without a word to the user");
    if (!result.ok())
        return 0;
    QixConfig& config = *result.config;
    check(config.qixSize() == imageSize, "a configuration passed whose sizes are not the image's");

    const Walked dirs = walk(config, page, false, text);
    // The download starts every walk over; a refused name ends it where it stood.
    config.restartWalk();
    const Walked again = walk(config, page, false, text);
    check(dirs.names == again.names, "a second directory walk differs from the first");
    config.restartWalk();
    const Walked fileWalk = walk(config, page, true, text);
    // The download reads each file's bytes from the image in turn.
    check(fileWalk.bytes <= config.qixSize(),
          "the files walked hold more bytes than the image: " + std::to_string(fileWalk.bytes) +
              " of " + std::to_string(config.qixSize()));
    return 0;
}
