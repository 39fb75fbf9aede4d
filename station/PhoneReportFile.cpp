#include "station/PhoneReportFile.h"

#include <cstdio>

#include "files/FileStatus.h"
#include "files/OutputFile.h"
#include "files/PathText.h"
#include "report/ReportJson.h"
#include "serial/PortMap.h"

namespace zrk::station {

namespace {

// Far more runs into one folder than a shift makes; past it the folder wants clearing.
constexpr int kMostCounters = 100000;
// A name that is taken only shows at the rename; other failures there are the disk's.
constexpr int kMostTakenAtRename = 8;

bool safeByte(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-';
}

}  // namespace

std::string reportPortTag(const std::string& port) {
    if (const auto number = PortMap::parsePortName(port))
        return PortMap::portName(*number);
    std::string tag;
    for (const char ch : port) {
        const auto c = static_cast<unsigned char>(ch);
        // A leading dot would hide the file.
        if (c == '/') {
            tag += '_';
        } else if (safeByte(c) && !(tag.empty() && c == '.')) {
            tag += ch;
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            tag += escaped;
        }
    }
    return tag.empty() ? std::string("port") : tag;
}

std::string phoneReportName(const std::string& port, int number, int counter) {
    return reportPortTag(port) + "-phone" + std::to_string(number) + "-" + std::to_string(counter) +
           ".json";
}

std::string writePhoneReport(const report::RunReport& report, const std::string& folder,
                             const std::string& port, int number, std::string* error) {
    const std::string text = report::toJson(report).dump(2) + "\n";
    int takenAtRename = 0;
    for (int counter = 1; counter <= kMostCounters; ++counter) {
        // The system's own separator: Windows' folders may end in '\\' or '/'.
        const std::string path =
            folder.empty()
                ? phoneReportName(port, number, counter)
                : textOfPath(pathOfText(folder) / phoneReportName(port, number, counter));
        if (pathExists(path))
            continue;
        // Whole or not at all; a name taken since the look above is left as it is.
        OutputFile file;
        if (!file.create(path, OutputFile::Existing::Refuse, error))
            return {};
        if (!file.write(text.data(), text.size())) {
            if (error)
                *error = file.writeError();
            return {};
        }
        if (file.commit(error))
            return path;
        if (++takenAtRename >= kMostTakenAtRename)
            return {};
    }
    if (error)
        *error = "every report name for this phone is taken in " + folder;
    return {};
}

}  // namespace zrk::station
