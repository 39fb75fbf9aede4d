#pragma once
// An entry's name as the download's log shows it. The configuration's bytes are in its code
// page, and the log is text in ours (UTF-8): shown in the local code page, a CP1252 "Grüße"
// would arrive as garbage.
#include <string>

#include "engine/SafeText.h"
#include "filesystem/QixConfig.h"

namespace zrk {

inline std::string shownName(const QixEntry& entry) {
    std::string name = entry.utf8Name;
    if (!name.empty() && name.back() == '\0')
        name.pop_back();
    return printableName(name);
}

}  // namespace zrk
