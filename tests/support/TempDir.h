#pragma once
// A fresh folder for a test's files, removed with everything in it when the test ends.
#ifndef _WIN32
#include <unistd.h>
#endif

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "files/PathText.h"

namespace zrk::test {

class TempDir {
  public:
    TempDir() : TempDir(std::filesystem::temp_directory_path()) {}
    explicit TempDir(const std::filesystem::path& parent) {
#ifdef _WIN32
        std::random_device random;
        for (int attempt = 0; attempt < 100 && m_Path.empty(); ++attempt) {
            const auto candidate = parent / ("zrk-test-" + std::to_string(random()));
            std::error_code error;
            if (std::filesystem::create_directory(candidate, error))
                m_Path = candidate;
        }
#else
        std::string pattern = (parent / "zrk-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()))
            m_Path = pattern;
#endif
    }
    ~TempDir() {
        std::error_code ignored;
        if (!m_Path.empty())
            std::filesystem::remove_all(m_Path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // Names are UTF-8, as in the program (files/PathText.h says why that needs saying).
    std::string file(const std::string& name) const {
        return textOfPath(m_Path / pathOfText(name));
    }
    std::string write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
        const std::string path = file(name);
        std::ofstream out(pathOfText(path), std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    static std::vector<std::uint8_t> read(const std::string& path) {
        return read(pathOfText(path));
    }
    static std::vector<std::uint8_t> read(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::vector<std::uint8_t> bytes;
        char chunk[16384];
        while (in.read(chunk, sizeof chunk) || in.gcount() > 0)
            bytes.insert(bytes.end(), chunk, chunk + in.gcount());
        return bytes;
    }

  private:
    std::filesystem::path m_Path;
};

}  // namespace zrk::test
