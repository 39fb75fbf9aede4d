#include "filesystem/QixConfig.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <limits>
#include <utility>

#include "engine/TextFormat.h"
#include "files/RegularFileReader.h"
#include "filesystem/CodePage.h"
#include "filesystem/QixNameCheck.h"

namespace zrk {
namespace {

constexpr std::string_view kVersionKey = qixkey::kVersion;
constexpr std::string_view kReleaseVersionKey = qixkey::kReleaseVersion;
constexpr std::string_view kDirNameKey = qixkey::kDirName;
constexpr std::string_view kFileNameKey = qixkey::kFileName;
constexpr std::string_view kFileSizeKey = qixkey::kFileSize;

constexpr std::size_t kMaxLocalInput = 500;
constexpr std::uint64_t kMax32 = std::numeric_limits<std::uint32_t>::max();

// Looked at before it is opened, so a device is never opened (opening a serial port can
// already change its lines).
constexpr RegularFileReader::Options kLookFirst{.lookFirst = true};

std::optional<std::uint64_t> regularFileSize(const std::string& path) {
    RegularFileReader file;
    if (file.open(path, kLookFirst) != RegularFileReader::Open::Opened)
        return std::nullopt;
    return file.size();
}

struct ReadText {
    std::optional<std::string> text;  // nullopt: not read (see tooLarge)
    bool tooLarge = false;
};

// The whole file, but never more than limit bytes: a file that is (or grows) larger is
// refused before its bulk is held in memory.
ReadText readRegularFile(const std::string& path, std::uint64_t limit) {
    RegularFileReader file;
    if (file.open(path, kLookFirst) != RegularFileReader::Open::Opened)
        return {};
    if (file.size() > limit)
        return {std::nullopt, true};
    // Read in place, with a byte to spare so that a file that grew since shows; a .cfg is a few
    // kilobytes, and a 64-kilobyte chunk on the stack cost more to set up than the reading.
    std::string text(static_cast<std::size_t>(file.size()) + 1, '\0');
    std::size_t used = 0;
    for (;;) {
        if (used == text.size())
            text.resize(
                static_cast<std::size_t>(std::min<std::uint64_t>(text.size() * 2, limit + 1)));
        const long got = file.read(text.data() + used, text.size() - used);
        if (got < 0)
            return {};
        if (got == 0)
            break;
        used += static_cast<std::size_t>(got);
        if (used > limit)
            return {std::nullopt, true};
    }
    text.resize(used);
    return {std::move(text), false};
}

struct Number {
    std::uint64_t value = 0;  // saturates instead of wrapping
    std::size_t end = 0;      // offset after the last digit
};

// The run of decimal digits at from; no digits read as 0.
Number readDigits(std::string_view text, std::size_t from) {
    Number number{0, from};
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    while (number.end < text.size() && text[number.end] >= '0' && text[number.end] <= '9') {
        const std::uint64_t digit = static_cast<std::uint64_t>(text[number.end] - '0');
        number.value = number.value > (kMax - digit) / 10 ? kMax : number.value * 10 + digit;
        ++number.end;
    }
    return number;
}

// The bytes after the key; what the text does not have is taken as zero bytes.
template <std::size_t N>
std::array<std::uint8_t, N> bytesAfter(std::string_view text, std::size_t from) {
    std::array<std::uint8_t, N> bytes{};
    const std::size_t available = std::min(N, text.size() - from);
    std::copy_n(text.data() + from, available, bytes.data());
    return bytes;
}

std::string sizeMismatchLog(std::uint64_t qixSize, std::uint64_t cfgSize) {
    const auto limit = static_cast<unsigned long long>(kMax32);
    // Equal sizes are no mismatch: what is wrong is a size the 32-bit field cannot carry.
    if (qixSize == cfgSize)
        return formatText(
            "The image is %llu bytes (as its .cfg says), over 4 GB: a download carries at most "
            "%llu bytes",
            static_cast<unsigned long long>(qixSize), limit);
    if (qixSize <= INT_MAX && cfgSize <= INT_MAX)
        return formatText("QixFilesize(%d):CfgFilesize(%d)", static_cast<int>(qixSize),
                          static_cast<int>(cfgSize));
    // Sizes a 32-bit signed field cannot show: printed as they are rather than wrapped.
    std::string text =
        formatText("QixFilesize(%llu):CfgFilesize(%llu)", static_cast<unsigned long long>(qixSize),
                   static_cast<unsigned long long>(cfgSize));
    if (qixSize > kMax32)
        text +=
            formatText("\r\nThe image is over 4 GB: a download carries at most %llu bytes", limit);
    if (cfgSize > kMax32)
        text += formatText(
            "\r\nThe .cfg's sizes add up to over 4 GB: a download carries at most %llu bytes",
            limit);
    return text;
}

WalkStep makeEntry(const CodePage& codePage, std::string name, std::size_t utf8Limit,
                   const char* tooLongPattern) {
    Utf8Name converted = toUtf8(codePage, name);
    WalkStep step;
    if (name.size() >= kNameBufferSize || !converted.utf8 || converted.utf8->size() > utf8Limit) {
        step.result = WalkResult::NameTooLong;
        // The name comes from a file: shown with its foreign bytes and controls escaped.
        step.logText =
            converted.logText + formatText(tooLongPattern, printableLocalName(name).c_str());
        step.entry.localName = std::move(name);
        return step;
    }
    step.result = WalkResult::Entry;
    step.entry.localName = std::move(name);
    step.entry.utf8Name = std::move(*converted.utf8);
    return step;
}

}  // namespace

QixCheckResult checkQixFiles(const std::string& imagePath, const std::string& configPath) {
    const auto failToOpen = [](const std::string& path) {
        QixCheckResult result;
        result.messageText = formatText("Fail to open %s", path.c_str());
        return result;
    };
    const auto imageSize = regularFileSize(imagePath);
    if (!imageSize)
        return failToOpen(imagePath);
    ReadText read = readRegularFile(configPath, kMaxConfigBytes);
    if (read.tooLarge) {
        QixCheckResult result;
        result.messageText = configTooLargeText(configPath);
        return result;
    }
    if (!read.text)
        return failToOpen(configPath);
    return checkQixConfigText(std::move(*read.text), *imageSize);
}

QixCheckResult checkQixConfigText(std::string text, std::uint64_t imageSize) {
    QixCheckResult result;

    std::uint64_t sum = 0;
    for (std::size_t at = text.find(kFileSizeKey); at != std::string::npos;
         at = text.find(kFileSizeKey, at)) {
        const Number size = readDigits(text, at + kFileSizeKey.size());
        sum = size.value > std::numeric_limits<std::uint64_t>::max() - sum
                  ? std::numeric_limits<std::uint64_t>::max()
                  : sum + size.value;
        at = size.end;
    }
    // qixSize is 32 bits on the wire and in the progress range: larger sizes cannot match.
    if (imageSize > kMax32 || sum > kMax32 || sum != imageSize) {
        result.logText = sizeMismatchLog(imageSize, sum);
        result.messageText = "QIX file size mismatched!!!";
        return result;
    }

    const std::size_t version = text.find(kVersionKey);
    if (version == std::string::npos) {
        result.messageText = "QIXVERSION not found in cfg file";
        return result;
    }
    QixConfig config;
    config.m_Version = bytesAfter<16>(text, version + kVersionKey.size());
    const std::size_t release = text.find(kReleaseVersionKey);
    if (release != std::string::npos)
        config.m_ReleaseVersion = bytesAfter<12>(text, release + kReleaseVersionKey.size());
    config.m_QixSize = static_cast<std::uint32_t>(imageSize);
    config.m_Text = std::move(text);
    result.config = std::move(config);
    return result;
}

std::string configTooLargeText(const std::string& configPath) {
    return formatText("%s is too large: a .cfg file may hold at most %llu bytes (16 MB)",
                      configPath.c_str(), static_cast<unsigned long long>(kMaxConfigBytes));
}

std::optional<QixConfig::TakenName> QixConfig::takeName(std::string_view key) {
    const std::string_view text = m_Text;
    const std::size_t at = text.find(key, m_WalkPosition);
    if (at == std::string_view::npos) {
        m_WalkPosition = 0;
        return std::nullopt;
    }
    const std::size_t start = at + key.size();
    m_WalkPosition = std::min(text.find('\r', start), text.size());
    std::string_view name = text.substr(start, m_WalkPosition - start);
    // The name buffer is a C string: a zero byte ends the name there.
    return TakenName{std::string(name.substr(0, name.find('\0'))), at};
}

WalkStep QixConfig::nextDirEntry(const CodePage& codePage) {
    auto taken = takeName(kDirNameKey);
    if (!taken)
        return {};
    WalkStep step = makeEntry(codePage, std::move(taken->name), kMaxDirNameUtf8,
                              "Directory name is too long\"%s\"... ");
    step.entry.keyOffset = taken->keyOffset;
    return step;
}

WalkStep QixConfig::nextFileEntry(const CodePage& codePage) {
    auto taken = takeName(kFileNameKey);
    if (!taken)
        return {};
    WalkStep step = makeEntry(codePage, std::move(taken->name), kMaxFileNameUtf8,
                              "File name is too long\"%s\"... ");
    step.entry.keyOffset = taken->keyOffset;
    if (step.result != WalkResult::Entry)
        return step;
    // No size left anywhere after the name: the check summed nothing for this file, so it is
    // empty, and the walk stays at its name.
    const std::string_view text = m_Text;
    const std::size_t at = text.find(kFileSizeKey, m_WalkPosition);
    if (at == std::string_view::npos)
        return step;
    const Number size = readDigits(text, at + kFileSizeKey.size());
    // Every size was summed by the check, so none is over 32 bits.
    step.entry.fileSize = static_cast<std::uint32_t>(std::min(size.value, kMax32));
    m_WalkPosition = std::min(text.find('\r', size.end), text.size());
    return step;
}

Utf8Name toUtf8(const CodePage& codePage, std::string_view local) {
    local = local.substr(0, local.find('\0'));
    if (local.size() > kMaxLocalInput)
        return {std::nullopt, "/r/n MultibyteToUTF8 ERROR /r/n"};
    auto utf8 = codePage.toUtf8(local);
    if (!utf8)
        return {};
    utf8->push_back('\0');
    if (utf8->size() > kMaxFileNameUtf8)
        return {};
    return {std::move(utf8), {}};
}

std::string configPathFor(const std::string& imagePath) {
    if (imagePath.empty())
        return {};
    const std::size_t nameStart =
        imagePath.rfind('/') == std::string::npos ? 0 : imagePath.rfind('/') + 1;
    const std::size_t dot = imagePath.rfind('.');
    if (dot == std::string::npos || dot < nameStart)
        return imagePath + ".cfg";
    return imagePath.substr(0, dot) + ".cfg";
}

}  // namespace zrk
