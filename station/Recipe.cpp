#include "station/Recipe.h"

#include "engine/LineSpeeds.h"

namespace zrk::station {

UserChoices Recipe::choices() const {
    UserChoices c;
    c.portIndex = 0;
    c.speedIndex = speedIndex;
    c.downloadMode = mode;
    c.powerOnAfterDownload = powerOn;
    c.verifyAfterDownload = verify;
    c.useStartNorAddress = useStartAddress;
    c.startAddressText = startAddressText;
    c.binPath = mode == DownloadMode::ModeQix ? std::string() : binPath;
    c.qixPath = mode == DownloadMode::ModeBin ? std::string() : qixPath;
    c.cfgPath = mode == DownloadMode::ModeBin ? std::string() : cfgPath;
    c.codePage = codePage;
    c.codePageControl = "the recipe's code page (NAME)";
    return c;
}

std::string recipeProblem(const Recipe& recipe) {
    if (recipe.mode != DownloadMode::ModeQix && recipe.binPath.empty())
        return "choose the BIN file";
    if (recipe.mode != DownloadMode::ModeBin && recipe.qixPath.empty())
        return "choose the QIX file";
    if (!validSpeedIndex(recipe.speedIndex))
        return "choose a speed";
    return {};
}

}  // namespace zrk::station
