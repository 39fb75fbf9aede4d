#pragma once
// The per-user store the window keeps its choices in, read and written without the window's
// toolkit so that the command line shares them: where the toolkit keeps them on each system
// (Linux: "<organisation>/<application>.conf" under $XDG_CONFIG_HOME or ~/.config, in its INI
// dialect; Windows: the registry under HKEY_CURRENT_USER\Software\<organisation>\<application>,
// a key per section). Values are strings and integers; changes wait for save().
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace zrk {

class UserSettings {
  public:
    // Reads what is stored now; a store that is missing or unreadable reads as empty.
    UserSettings(const std::string& organisation, const std::string& application);
    ~UserSettings();
    UserSettings(const UserSettings&) = delete;
    UserSettings& operator=(const UserSettings&) = delete;

    std::optional<std::string> text(const std::string& section, const std::string& key) const;
    std::optional<std::int64_t> number(const std::string& section, const std::string& key) const;

    void setText(const std::string& section, const std::string& key, const std::string& value);
    void remove(const std::string& section, const std::string& key);
    // Writes the changes made since the last save, keeping every other value as it is now in
    // the store; false, with whyNot, when the store refused.
    bool save(std::string* whyNot = nullptr);

    // Where the store is, for messages: a path or a registry key.
    const std::string& location() const;

  private:
    struct Store;  // the system's side
    std::unique_ptr<Store> m_Store;
    // Pending changes by (section, key); nullopt: remove.
    std::map<std::pair<std::string, std::string>, std::optional<std::string>> m_Changes;
};

}  // namespace zrk
