#include "files/UserSettings.h"

#include <windows.h>

#include "files/IniText.h"
#include "files/win32/WinApi.h"

namespace zrk {
namespace {

std::wstring wideText(const std::string& text) {
    return win32::widen(text).value_or(std::wstring());
}

// A stored value is at most a path; anything longer is not one of ours.
constexpr DWORD kLargestValue = 64 * 1024;

}  // namespace

struct UserSettings::Store {
    std::wstring key;  // under HKEY_CURRENT_USER
    std::string location;

    // The section's key opened for reading; nullptr when it is not there.
    HKEY openSection(const std::string& section, REGSAM access) const {
        HKEY handle = nullptr;
        const std::wstring path = key + L"\\" + wideText(section);
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, access, &handle) != ERROR_SUCCESS)
            return nullptr;
        return handle;
    }

    // The toolkit writes an int as a DWORD (or a QWORD) and a string as REG_SZ.
    struct Value {
        std::optional<std::string> text;
        std::optional<std::int64_t> number;
    };
    Value read(const std::string& section, const std::string& name) const {
        Value value;
        HKEY handle = openSection(section, KEY_QUERY_VALUE);
        if (!handle)
            return value;
        const std::wstring valueName = wideText(name);
        DWORD type = 0;
        DWORD size = 0;
        if (::RegQueryValueExW(handle, valueName.c_str(), nullptr, &type, nullptr, &size) ==
                ERROR_SUCCESS &&
            size <= kLargestValue) {
            std::string bytes(size, '\0');
            if (::RegQueryValueExW(handle, valueName.c_str(), nullptr, &type,
                                   reinterpret_cast<BYTE*>(bytes.data()), &size) == ERROR_SUCCESS) {
                bytes.resize(size);
                if (type == REG_DWORD && size == sizeof(DWORD)) {
                    DWORD number = 0;
                    memcpy(&number, bytes.data(), sizeof number);
                    value.number = static_cast<std::int32_t>(number);
                    value.text = std::to_string(*value.number);
                } else if (type == REG_QWORD && size == sizeof(std::int64_t)) {
                    std::int64_t number = 0;
                    memcpy(&number, bytes.data(), sizeof number);
                    value.number = number;
                    value.text = std::to_string(number);
                } else if (type == REG_SZ || type == REG_EXPAND_SZ) {
                    std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()),
                                      bytes.size() / sizeof(wchar_t));
                    while (!text.empty() && text.back() == L'\0')
                        text.pop_back();
                    value.text = win32::narrowForMessage(text);
                    value.number = IniText::integerOf(*value.text);
                }
            }
        }
        ::RegCloseKey(handle);
        return value;
    }
};

UserSettings::UserSettings(const std::string& organisation, const std::string& application)
    : m_Store(std::make_unique<Store>()) {
    m_Store->key = L"Software\\" + wideText(organisation) + L"\\" + wideText(application);
    m_Store->location = "HKEY_CURRENT_USER\\" + win32::narrowForMessage(m_Store->key);
}

UserSettings::~UserSettings() = default;

std::optional<std::string> UserSettings::text(const std::string& section,
                                              const std::string& key) const {
    if (const auto change = m_Changes.find({section, key}); change != m_Changes.end())
        return change->second;
    return m_Store->read(section, key).text;
}

std::optional<std::int64_t> UserSettings::number(const std::string& section,
                                                 const std::string& key) const {
    if (const auto change = m_Changes.find({section, key}); change != m_Changes.end())
        return change->second ? IniText::integerOf(*change->second) : std::nullopt;
    return m_Store->read(section, key).number;
}

void UserSettings::setText(const std::string& section, const std::string& key,
                           const std::string& value) {
    m_Changes[{section, key}] = value;
}

void UserSettings::remove(const std::string& section, const std::string& key) {
    m_Changes[{section, key}] = std::nullopt;
}

bool UserSettings::save(std::string* whyNot) {
    for (const auto& [where, value] : m_Changes) {
        const std::wstring path = m_Store->key + L"\\" + wideText(where.first);
        const std::wstring name = wideText(where.second);
        HKEY handle = nullptr;
        LSTATUS status = ERROR_SUCCESS;
        if (value) {
            status = ::RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0,
                                       KEY_SET_VALUE, nullptr, &handle, nullptr);
            if (status == ERROR_SUCCESS) {
                const std::wstring data = wideText(*value);
                status = ::RegSetValueExW(handle, name.c_str(), 0, REG_SZ,
                                          reinterpret_cast<const BYTE*>(data.c_str()),
                                          static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
                ::RegCloseKey(handle);
            }
        } else if ((handle = m_Store->openSection(where.first, KEY_SET_VALUE))) {
            status = ::RegDeleteValueW(handle, name.c_str());
            if (status == ERROR_FILE_NOT_FOUND)
                status = ERROR_SUCCESS;
            ::RegCloseKey(handle);
        }
        if (status != ERROR_SUCCESS) {
            if (whyNot)
                *whyNot = m_Store->location + "\\" + where.first + ": " +
                          win32::systemReason(static_cast<DWORD>(status));
            return false;
        }
    }
    m_Changes.clear();
    return true;
}

const std::string& UserSettings::location() const {
    return m_Store->location;
}

}  // namespace zrk
