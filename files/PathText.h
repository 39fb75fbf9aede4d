#pragma once
// Paths of the standard library from and to the program's UTF-8 names. On Windows a path made
// from a narrow string reads it in the runtime's narrow encoding, not UTF-8, so that "Grüße"
// becomes "GrÃ¼ÃŸe" and a name outside that encoding cannot be named at all; elsewhere a
// narrow path is the bytes as given, which is what a name there is, valid UTF-8 or not.
#include <filesystem>
#include <string>

namespace zrk {

inline std::filesystem::path pathOfText(const std::string& utf8) {
#ifdef _WIN32
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
#else
    return std::filesystem::path(utf8);
#endif
}

inline std::string textOfPath(const std::filesystem::path& path) {
#ifdef _WIN32
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
#else
    return path.string();
#endif
}

}  // namespace zrk
