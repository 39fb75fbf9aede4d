#include "filesystem/QixUsable.h"

#include <optional>
#include <string>

#include "engine/DownloaderView.h"
#include "filesystem/CodePage.h"

namespace zrk {

namespace {

QixUsability judge(const QixConfig& config, const CodePage& codePage) {
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

// The last verdict of this thread. A download checks its .cfg when DOWNLOAD is pressed and
// again when the phone answers, a verify and the next download the same text again: every
// name converted and every path compared each time, for a text that rarely changed. The
// verdict depends on the text and the code page alone, both compared whole.
struct LastVerdict {
    std::string text;
    std::string codePage;
    QixUsability usability;
};

}  // namespace

QixUsability checkQixUsable(const QixConfig& config, const CodePage& codePage) {
    thread_local std::optional<LastVerdict> last;
    if (last && last->codePage == codePage.name() && last->text == config.text())
        return last->usability;
    QixUsability usability = judge(config, codePage);
    last = LastVerdict{config.text(), codePage.name(), usability};
    return usability;
}

std::string qixCodePageInUse(const UserChoices& choices) {
    return choices.codePage.empty() ? localeCodePageName() : choices.codePage;
}

}  // namespace zrk
