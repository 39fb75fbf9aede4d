#include "filesystem/QixUsable.h"

#include "engine/DownloaderView.h"
#include "filesystem/CodePage.h"

namespace zrk {

QixUsability checkQixUsable(const QixConfig& config, const CodePage& codePage) {
    QixUsability usability;
    usability.layout = checkQixLines(config.text());
    if (usability.layout)
        return usability;
    usability.names = checkQixNames(config, codePage);
    // The tree is only read through names that convert.
    if (usability.names.ok())
        usability.layout = checkQixTree(config, codePage);
    return usability;
}

std::string qixCodePageInUse(const UserChoices& choices) {
    return choices.codePage.empty() ? localeCodePageName() : choices.codePage;
}

}  // namespace zrk
