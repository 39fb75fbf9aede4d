#include "serial/ProcessScan.h"

#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include <algorithm>

#include "serial/win32/WindowsText.h"

namespace zrk {

// Windows does not say who holds a COM port without a kernel debugger's rights; the doctor
// learns that a port is held from opening it (ERROR_ACCESS_DENIED) instead.
HolderScan processesHolding(const std::string&, const std::string&) {
    HolderScan scan;
    scan.incomplete = true;
    return scan;
}

std::vector<ProcessInfo> processesNamed(const std::vector<std::string>& names, const std::string&) {
    std::vector<ProcessInfo> found;
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return found;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (bool more = ::Process32FirstW(snapshot, &entry); more;
         more = ::Process32NextW(snapshot, &entry)) {
        std::string name = win32::utf8Of(entry.szExeFile);
        if (name.size() > 4 && name.substr(name.size() - 4) == ".exe")
            name.resize(name.size() - 4);
        if (std::find(names.begin(), names.end(), name) != names.end())
            found.push_back({static_cast<decltype(ProcessInfo::pid)>(entry.th32ProcessID), name});
    }
    ::CloseHandle(snapshot);
    return found;
}

}  // namespace zrk
