#pragma once
// Every control of the window's state table in one fixed order, and layouts written against it
// as groups of E (enabled) and D (disabled):
// lists, START, Stop, auto, About (6) | 5 operation buttons | DOWNLOAD, power-on | 3 radios |
// 4 checksum controls | binary row (3) | image path, QIX... | image size | box, field | always.
#include <algorithm>
#include <initializer_list>
#include <string>

namespace zrk::test {

inline constexpr std::initializer_list<const char*> kAllControls = {
    "portList",        "speedList",       "startButton",       "stopButton",   "autoDownloadBox",
    "aboutButton",     "eraseButton",     "dumpButton",        "formatButton", "explorerButton",
    "statusButton",    "downloadButton",  "powerOnToggle",     "modeBinRadio", "modeQixRadio",
    "modeBinQixRadio", "binCrcButton",    "binCrcField",       "qixCrcButton", "qixCrcField",
    "binPathField",    "binButton",       "binSizeField",      "qixPathField", "qixButton",
    "qixSizeField",    "startAddressBox", "startAddressField", "exitButton",   "flashNameField",
    "progressBar",     "logView"};

// The groups without their separating blanks.
inline std::string layout(std::string groups) {
    groups.erase(std::remove(groups.begin(), groups.end(), ' '), groups.end());
    return groups;
}

}  // namespace zrk::test
