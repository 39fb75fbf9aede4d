#include "filesystem/QixPreflight.h"

#include "engine/PhaseContext.h"
#include "filesystem/CodePage.h"
#include "filesystem/QixUsable.h"

namespace zrk {

bool qixNamesUsable(PhaseContext& context, Operation operation) {
    DownloaderView& view = context.view();
    UserChoices choices = context.request();
    std::string error;
    auto codePage = CodePage::open(qixCodePageInUse(choices), &error);
    if (!codePage) {
        context.log("\r\n** " + error + "; choose another code page for the .cfg names.\r\n");
        view.messageBox("Unknown code page for the QIX names!", MessageIcon::Warning);
        context.refuse(operation, FailureCause::Refused, error);
        return false;
    }
    const QixCheckResult files = checkQixFiles(choices.qixPath, choices.cfgPath);
    if (!files.ok()) {
        // A file that cannot be opened gets the operation's own complaint when it starts.
        if (files.messageText.rfind("Fail to open ", 0) == 0)
            return true;
        if (!files.logText.empty())
            context.log(files.logText);
        if (!files.messageText.empty())
            view.messageBox(files.messageText, MessageIcon::Warning);
        context.refuse(operation, FailureCause::Refused,
                       files.messageText.empty() ? files.logText : files.messageText);
        return false;
    }
    const auto refuseLayout = [&](const QixTreeProblem& problem) {
        const std::string why = qixTreeRefusal(problem, choices.cfgPath);
        context.log("\r\n** " + why + "; nothing was sent.\r\n");
        context.refuse(operation, FailureCause::Refused, why);
        return false;
    };
    QixUsability usability = checkQixUsable(*files.config, *codePage);
    if (usability.layout)
        return refuseLayout(*usability.layout);
    if (usability.ok())
        return true;
    QixNameCheck names = usability.names;
    if (names.suggestion &&
        view.offerCodePage(
            qixCodePageQuestion(choices.cfgPath, codePage->name(), *names.suggestion),
            *names.suggestion)) {
        context.useCodePage(*names.suggestion);
        choices = context.request();
        codePage = CodePage::open(qixCodePageInUse(choices), &error);
        if (codePage) {
            usability = checkQixUsable(*files.config, *codePage);
            if (usability.layout)
                return refuseLayout(*usability.layout);
            if (usability.ok()) {
                context.log("\r\n** The .cfg names are read as " + codePage->name() + "\r\n");
                return true;
            }
            names = usability.names;
        }
    }
    const std::string name = codePage ? codePage->name() : qixCodePageInUse(choices);
    context.log("\r\n" + (names.problem ? names.problem->complaint : std::string()) + "\r\n" +
                qixNameExplanation(names, choices.cfgPath, name, choices.codePageControl,
                                   "nothing was sent"));
    context.refuse(operation, FailureCause::Refused,
                   "a name in " + choices.cfgPath + " is not usable in the code page " + name);
    return false;
}

}  // namespace zrk
