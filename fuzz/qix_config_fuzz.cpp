// The .cfg check and its directory and file walks over any text, in a few code pages. The walks
// must end, move forward, restart the same way, give names the phone can take, and never
// promise more file bytes than the checked image holds. What the line and tree checks accept
// besides is a tree the phone ends up with as listed: CR LF lines, no control character in a
// name, each path once as a folder or a file, no "..", no part over 254 bytes, every file
// walked and their sizes the image's.
//
// Input: one byte for the code page, four for the image size (big-endian), then the text.
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "filesystem/CodePage.h"
#include "filesystem/QixConfig.h"
#include "filesystem/QixTreeCheck.h"
#include "fuzz/FuzzCheck.h"
#include "fuzz/FuzzInput.h"

namespace zrk::fuzz {
namespace {

const CodePage& codePage(std::uint8_t which) {
    static const std::vector<CodePage> pages = [] {
        std::vector<CodePage> p;
        for (const char* name : {"UTF-8", "CP1252", "CP949", "ANSI_X3.4-1968", "ISO-8859-1"})
            p.push_back(std::move(*CodePage::open(name, nullptr)));
        return p;
    }();
    return pages[which % pages.size()];
}

struct Walked {
    std::vector<std::string> names;
    std::uint64_t bytes = 0;
    bool stopped = false;  // at a name too long, which the name check refuses
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
            out.stopped = true;
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

std::size_t occurrences(const std::string& text, const std::string& key) {
    std::size_t count = 0;
    for (std::size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + 1))
        ++count;
    return count;
}

// The path as the phone keeps it, worked out here on its own: separators, "." parts and
// blanks at the end of a part dropped.
std::vector<std::string> phoneParts(const std::string& name) {
    std::vector<std::string> parts;
    std::string part;
    for (std::size_t i = 0; i <= name.size(); ++i) {
        if (i < name.size() && name[i] != '/') {
            part += name[i];
            continue;
        }
        while (!part.empty() && part.back() == ' ')
            part.pop_back();
        if (!part.empty() && part != ".")
            parts.push_back(part);
        part.clear();
    }
    return parts;
}

void checkAcceptedTree(const std::string& text, const Walked& dirs, const Walked& files,
                       std::uint64_t imageSize) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r')
            check(i + 1 < text.size() && text[i + 1] == '\n', "a bare CR accepted");
        if (text[i] == '\n')
            check(i > 0 && text[i - 1] == '\r', "a bare LF accepted");
    }
    check(dirs.names.size() == occurrences(text, "DIR_NAME : "), "a folder the walk skips");
    check(files.names.size() == occurrences(text, "FILE_NAME : "), "a file the walk skips");
    check(files.bytes == imageSize,
          "the files walked are not the image: " + std::to_string(files.bytes) + " of " +
              std::to_string(imageSize) + " bytes");
    std::set<std::string> paths, folders;
    const auto add = [&](const std::string& utf8, bool folder) {
        const std::string name = utf8.substr(0, utf8.size() - 1);
        for (std::size_t i = 0; i < name.size(); ++i) {
            const auto byte = static_cast<unsigned char>(name[i]);
            const bool c1 = byte == 0xC2 && i + 1 < name.size() &&
                            (static_cast<unsigned char>(name[i + 1]) & 0xE0) == 0x80;
            check(byte >= 0x20 && byte != 0x7F && !c1, "a control character in a name: " + name);
        }
        const std::vector<std::string> parts = phoneParts(name);
        check(!parts.empty(), "an entry that is the root folder");
        std::string path;
        for (std::size_t i = 0; i < parts.size(); ++i) {
            check(parts[i] != "..", "a \"..\" part accepted: " + name);
            check(parts[i].size() <= kMaxNamePartUtf8, "a name part over the phone's limit");
            path += "/" + parts[i];
            if (i + 1 < parts.size() || folder)
                folders.insert(path);
        }
        check(paths.insert(path).second, "one path twice: " + path);
        return path;
    };
    std::vector<std::string> filePaths;
    for (const std::string& d : dirs.names)
        add(d, true);
    for (const std::string& f : files.names)
        filePaths.push_back(add(f, false));
    for (const std::string& f : filePaths)
        check(!folders.count(f), "a file and a folder of one name: " + f);
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

    // The checks every command runs before the phone is touched, in their order.
    if (checkQixLines(text) || dirs.stopped || fileWalk.stopped)
        return 0;
    if (checkQixTree(config, page))
        return 0;
    checkAcceptedTree(text, dirs, fileWalk, config.qixSize());
    return 0;
}
