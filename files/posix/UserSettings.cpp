#include "files/UserSettings.h"

#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "files/IniText.h"
#include "files/OutputFile.h"
#include "files/RegularFileReader.h"

namespace zrk {
namespace {

// Where the toolkit looks: $XDG_CONFIG_HOME, else the home folder's .config.
std::string configFolder() {
    if (const char* xdg = ::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
        return xdg;
    const char* home = ::getenv("HOME");
    if (!home || !*home) {
        const passwd* entry = ::getpwuid(::getuid());
        home = entry ? entry->pw_dir : nullptr;
    }
    return std::string(home && *home ? home : ".") + "/.config";
}

// A settings file is a few hundred bytes; anything past this is not one of ours.
constexpr std::uint64_t kLargestStore = 1 << 20;

std::string readStore(const std::string& path) {
    RegularFileReader reader;
    if (reader.open(path) != RegularFileReader::Open::Opened || reader.size() > kLargestStore)
        return {};
    std::string text;
    char buffer[4096];
    long got = 0;
    while ((got = reader.read(buffer, sizeof buffer)) > 0 && text.size() <= kLargestStore)
        text.append(buffer, static_cast<std::size_t>(got));
    return got < 0 ? std::string() : text;
}

}  // namespace

struct UserSettings::Store {
    std::string folder;
    std::string path;
    IniText ini;
};

UserSettings::UserSettings(const std::string& organisation, const std::string& application)
    : m_Store(std::make_unique<Store>()) {
    m_Store->folder = configFolder() + "/" + organisation;
    m_Store->path = m_Store->folder + "/" + application + ".conf";
    m_Store->ini = IniText(readStore(m_Store->path));
}

UserSettings::~UserSettings() = default;

std::optional<std::string> UserSettings::text(const std::string& section,
                                              const std::string& key) const {
    if (const auto change = m_Changes.find({section, key}); change != m_Changes.end())
        return change->second;
    return m_Store->ini.text(section, key);
}

std::optional<std::int64_t> UserSettings::number(const std::string& section,
                                                 const std::string& key) const {
    const std::optional<std::string> value = text(section, key);
    return value ? IniText::integerOf(*value) : std::nullopt;
}

void UserSettings::setText(const std::string& section, const std::string& key,
                           const std::string& value) {
    m_Changes[{section, key}] = value;
}

void UserSettings::remove(const std::string& section, const std::string& key) {
    m_Changes[{section, key}] = std::nullopt;
}

bool UserSettings::save(std::string* whyNot) {
    if (m_Changes.empty())
        return true;
    // What the window may have stored since this was read is kept: the changes go onto the
    // store as it is now.
    IniText current(readStore(m_Store->path));
    for (const auto& [where, value] : m_Changes) {
        if (value)
            current.setText(where.first, where.second, *value);
        else
            current.remove(where.first, where.second);
    }
    const std::string parent = configFolder();
    ::mkdir(parent.c_str(), 0700);
    if (::mkdir(m_Store->folder.c_str(), 0777) != 0 && errno != EEXIST) {
        if (whyNot)
            *whyNot = m_Store->folder + ": " + std::strerror(errno);
        return false;
    }
    OutputFile file;
    const std::string text = current.render();
    if (!file.create(m_Store->path, OutputFile::Existing::Replace, whyNot) ||
        !file.write(text.data(), text.size()) || !file.commit(whyNot)) {
        if (whyNot && whyNot->empty())
            *whyNot = m_Store->path + ": " + file.writeError();
        return false;
    }
    m_Store->ini = std::move(current);
    m_Changes.clear();
    return true;
}

const std::string& UserSettings::location() const {
    return m_Store->path;
}

}  // namespace zrk
