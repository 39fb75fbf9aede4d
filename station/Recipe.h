#pragma once
// What every phone on the station gets: one download, the same files and settings on every
// cable. The station asks nothing per phone, so a recipe turns into a whole request.
#include <string>
#include <vector>

#include "engine/DownloaderView.h"
#include "report/RunReport.h"

namespace zrk::station {

struct Recipe {
    DownloadMode mode = DownloadMode::ModeBin;
    std::string binPath;
    std::string qixPath;
    std::string cfgPath;  // the .qix's configuration, when it has one beside it
    bool useStartAddress = false;
    std::string startAddressText;
    std::string codePage;  // empty: the locale's
    bool verify = false;
    bool powerOn = false;
    int speedIndex = 0;  // into kLineSpeeds

    // The request one port's engine runs on (portIndex 0: each runner maps its own COM1).
    UserChoices choices() const;
    // The images the recipe reads, with their sizes and CRC-32s (reads the files).
    std::vector<report::ImageRecord> images() const { return report::imagesFor(choices()); }
};

// What is missing before the recipe can run, in words; empty when it can.
std::string recipeProblem(const Recipe& recipe);

}  // namespace zrk::station
