#pragma once
// The file-system image (.qix: the files' contents back to back) and its configuration (.cfg:
// directories, files with sizes and the version, in the local code page, CR LF lines).
// Entries are found by plain substring search over the whole text, so they count wherever they
// stand and values are not trimmed: existing configurations are made for that reading.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zrk {

class CodePage;
struct QixCheckResult;

// The most a .cfg may hold. Real ones list a few thousand entries in well under 1 MB; a larger
// file is refused before it is read whole.
constexpr std::uint64_t kMaxConfigBytes = 16 * 1024 * 1024;

// The name buffer of an entry: a local name must leave room for its terminating zero.
constexpr std::size_t kNameBufferSize = 500;
// UTF-8 limits of a name, its terminating zero included.
constexpr std::size_t kMaxDirNameUtf8 = 62;
constexpr std::size_t kMaxFileNameUtf8 = 500;
// The phone lists a name (one part of a path) of 255 bytes or more as an error, which makes
// its whole folder unreadable.
constexpr std::size_t kMaxNamePartUtf8 = 254;

// The configuration's keys, each with its own spaces; a value follows a key directly.
namespace qixkey {
inline constexpr std::string_view kVersion = "QIXVERSION : ";
inline constexpr std::string_view kReleaseVersion = "QIXRELEASEVERSION : ";
inline constexpr std::string_view kDirName = "DIR_NAME : ";
inline constexpr std::string_view kFileName = "FILE_NAME : ";
inline constexpr std::string_view kFileSize = "FILE_SIZE : ";
inline constexpr std::string_view kAll[] = {kVersion, kReleaseVersion, kDirName, kFileName,
                                            kFileSize};
}  // namespace qixkey

using QixVersion = std::array<std::uint8_t, 16>;
using QixReleaseVersion = std::array<std::uint8_t, 12>;

struct QixEntry {
    std::string localName;       // as in the configuration, without a terminating zero
    std::string utf8Name;        // ends with its terminating zero, which size() counts
    std::uint32_t fileSize = 0;  // file entries only
    std::size_t keyOffset = 0;   // where its key stands in the configuration text
};

enum class WalkResult { NoneLeft, Entry, NameTooLong };

struct WalkStep {
    WalkResult result = WalkResult::NoneLeft;
    QixEntry entry;       // for Entry; for NameTooLong only its localName
    std::string logText;  // for NameTooLong: what to log before the download stops
};

// A configuration that passed the check, with the position of the directory and file walks.
class QixConfig {
  public:
    const std::string& text() const { return m_Text; }
    std::uint32_t qixSize() const { return m_QixSize; }
    const QixVersion& version() const { return m_Version; }
    // nullopt when the configuration has no release version.
    const std::optional<QixReleaseVersion>& releaseVersion() const { return m_ReleaseVersion; }

    // The next "DIR_NAME : " / "FILE_NAME : " from the walk position. NoneLeft puts the
    // position back to 0, so the next walk starts over.
    WalkStep nextDirEntry(const CodePage& codePage);
    WalkStep nextFileEntry(const CodePage& codePage);
    std::size_t walkPosition() const { return m_WalkPosition; }
    void restartWalk() { m_WalkPosition = 0; }

  private:
    friend QixCheckResult checkQixConfigText(std::string text, std::uint64_t imageSize);
    QixConfig() = default;

    struct TakenName {
        std::string name;
        std::size_t keyOffset = 0;
    };
    // The name after the key found at or after the walk position; nullopt when none is left.
    std::optional<TakenName> takeName(std::string_view key);

    std::string m_Text;
    std::uint32_t m_QixSize = 0;
    QixVersion m_Version{};
    std::optional<QixReleaseVersion> m_ReleaseVersion;
    std::size_t m_WalkPosition = 0;
};

// What the check tells the user: logText goes to the log, messageText to a message box (either
// may be empty). config is set exactly when the check passed.
struct QixCheckResult {
    std::string logText;
    std::string messageText;
    std::optional<QixConfig> config;

    bool ok() const { return config.has_value(); }
};

// The configuration beside an image: the image's own extension replaced by ".cfg" ("fs.qix" ->
// "fs.cfg", "fs" -> "fs.cfg"; a dot in a folder's name is not the extension).
std::string configPathFor(const std::string& imagePath);

// Both files must be regular files; anything else (a folder, a FIFO, a device) is refused
// before it is read, so the check can neither hang nor disturb a device. A configuration over
// kMaxConfigBytes is refused (its path and the limit in messageText) without being read whole.
QixCheckResult checkQixFiles(const std::string& imagePath, const std::string& configPath);

// The refusal of a configuration over kMaxConfigBytes, naming it and the limit.
std::string configTooLargeText(const std::string& configPath);

// The part of the check after reading: the sizes against the image's, then the version keys.
QixCheckResult checkQixConfigText(std::string text, std::uint64_t imageSize);

struct Utf8Name {
    std::optional<std::string> utf8;  // ends with its terminating zero, which size() counts
    std::string logText;              // the conversion's own error line, when it has one
};

// A local name (up to its first zero byte, if any) in UTF-8. No result when the input is over
// 500 bytes (logged), does not convert, or needs more than 500 bytes in UTF-8.
Utf8Name toUtf8(const CodePage& codePage, std::string_view local);

}  // namespace zrk
