#include "filesystem/NotFirmware.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>

#include "engine/OpenFile.h"
#include "filesystem/QixConfig.h"

namespace zrk {

namespace {

bool startsWith(std::span<const std::uint8_t> head, std::initializer_list<std::uint8_t> magic) {
    return head.size() >= magic.size() && std::equal(magic.begin(), magic.end(), head.begin());
}

bool hexDigit(std::uint8_t c) {
    return std::isxdigit(c) != 0;
}

// The first line is a record of a text format for programmers: a mark, hex digits only, then
// the line's end. A binary image may start with the mark, never with a whole such line.
bool recordLine(std::span<const std::uint8_t> head, std::size_t digitsFrom) {
    std::size_t i = digitsFrom;
    while (i < head.size() && hexDigit(head[i]))
        ++i;
    const std::size_t digits = i - digitsFrom;
    return digits >= 8 && digits % 2 == 0 && i < head.size() &&
           (head[i] == '\r' || head[i] == '\n');
}

bool endsWithQix(const std::string& path) {
    if (path.size() < 4)
        return false;
    std::string tail = path.substr(path.size() - 4);
    std::transform(tail.begin(), tail.end(), tail.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return tail == ".qix";
}

}  // namespace

std::optional<std::string> notFirmwareKind(std::span<const std::uint8_t> head, bool qixPair) {
    if (startsWith(head, {0x7F, 'E', 'L', 'F'}))
        return "an ELF program";
    if (startsWith(head, {'P', 'K', 0x03, 0x04}) || startsWith(head, {'P', 'K', 0x05, 0x06}))
        return "a zip archive";
    if (startsWith(head, {0x1F, 0x8B}))
        return "a gzip archive";
    if (startsWith(head, {'7', 'z', 0xBC, 0xAF, 0x27, 0x1C}))
        return "a 7z archive";
    if (startsWith(head, {'R', 'a', 'r', '!', 0x1A, 0x07}))
        return "a rar archive";
    if (startsWith(head, {':'}) && recordLine(head, 1))
        return "Intel HEX text";
    if (head.size() > 2 && head[0] == 'S' && head[1] >= '0' && head[1] <= '9' &&
        recordLine(head, 2))
        return "S-record text";
    // A file-system image has no mark of its own (its files' bytes back to back): its
    // configuration beside it is what makes it one.
    if (qixPair)
        return "a file-system image (.qix)";
    return std::nullopt;
}

std::optional<std::string> notFirmwareImage(const std::string& path) {
    OpenFile file;
    if (!file.openForReading(path))
        return std::nullopt;
    std::array<std::uint8_t, 512> head{};
    const std::size_t got = file.read(head.data(), head.size());
    file.close();
    const bool qixPair = endsWithQix(path) || fileLength(configPathFor(path)).has_value();
    return notFirmwareKind(std::span<const std::uint8_t>(head.data(), got), qixPair);
}

}  // namespace zrk
