#include "engine/OpenFailureText.h"

#include "engine/DownloaderView.h"
#include "serial/PortDoctor.h"

namespace zrk {

std::string describeOpenFailure(const OpenFailure& failure) {
    const std::string cause = failure.error ? failure.error.message() : "";
    const std::string& device = failure.device;
    switch (failure.kind) {
        case OpenFailure::Kind::None:
            return "";
        case OpenFailure::Kind::NotFound:
            return device + " does not exist (" + cause + ")";
        case OpenFailure::Kind::PermissionDenied: {
            // Joining a group helps only where the device's group may use it.
            const std::string advice = accessAdvice(device);
            if (advice.empty())
                return "no permission to open " + device +
                       ". Add your user to the 'dialout' group (sudo adduser $USER dialout) and "
                       "log in again.";
            return "no permission to open " + device + ": " + advice + ".";
        }
        case OpenFailure::Kind::InUse:
            return device + " is in use by another program";
        case OpenFailure::Kind::NotATerminal:
            return device + " is not a serial device";
        case OpenFailure::Kind::LineRejected:
            return device + " rejected the line settings (" + cause + ")";
        case OpenFailure::Kind::ThreadFailed:
            return "cannot start the reader for " + device + " (" + cause + ")";
        case OpenFailure::Kind::Other:
            return "cannot open " + device + " (" + cause + ")";
    }
    return "";
}

bool openLinkTellingWhyNot(SerialLink& link, PromptView& view, std::uint16_t portNumber,
                           std::uint32_t baud) {
    if (link.open(portNumber, baud))
        return true;
    switch (link.lastOpenFailure().kind) {
        case OpenFailure::Kind::LineRejected:
            view.messageBox("Fail!!", MessageIcon::Error);
            break;
        case OpenFailure::Kind::ThreadFailed:
            view.messageBox("CreateThread Fail!!", MessageIcon::Error);
            break;
        default:
            break;
    }
    return false;
}

}  // namespace zrk
