#include "bringup/BringUp.h"

#include "bringup/BringUpStates.h"
#include "engine/LineSpeeds.h"
#include "engine/OpenFailureText.h"
#include "engine/PhaseContext.h"
#include "engine/TargetImages.h"
#include "engine/TextFormat.h"
#include "serial/PortMap.h"
#include "serial/SerialLink.h"

namespace zrk {

TargetData TargetData::embedded() {
    return {zrk::preLoaderImage(), zrk::bootLoaderImage(), zrk::customerId()};
}

BringUp::BringUp(PhaseContext& context)
    : m_Context(context),
      m_Data(TargetData::embedded()),
      m_Handshake(context, *this),
      m_BaudSwitch(context, *this),
      m_Upload(context, *this),
      m_Identification(context) {}

bool BringUp::start() {
    DownloaderView& view = m_Context.view();
    SerialLink& link = m_Context.link();
    view.heard(FlashNamed{});
    m_Context.forgetFlashId();
    // While the baud switch waits to reopen, the port is closed but the link is still ours.
    if (link.isConnected() || m_Context.baudTimerRunning()) {
        view.messageBox("Port already opened!", MessageIcon::Warning);
        return false;
    }
    const UserChoices& choices = m_Context.request();
    // The speed byte goes to the phone and indexes the speed table: without a valid choice the
    // baud switch would send garbage, so refuse before anything is opened.
    if (!validSpeedIndex(choices.speedIndex)) {
        view.messageBox("Choose a speed from the list first.", MessageIcon::Warning);
        m_Context.refuse(Operation::BringUp, FailureCause::Refused, "no speed chosen");
        return false;
    }
    const int portNumber = choices.portIndex + 1;
    if (choices.portIndex < 0 ||
        !m_Context.openLink(static_cast<std::uint16_t>(portNumber), kBootRomBaud)) {
        const std::string reason =
            choices.portIndex < 0 ? "no port chosen" : describeOpenFailure(link.lastOpenFailure());
        // A port given by its device (a USB adapter, a pseudo-terminal) is named by it: "COM1"
        // would send the user looking at the wrong device.
        const std::string& device = link.lastOpenFailure().device;
        const std::string portName =
            choices.portIndex < 0 || device.empty() || device == PortMap::defaultDevice(portNumber)
                ? formatText("COM%d", portNumber)
                : device;
        m_Context.log(formatLine("\r\n** %s could not be opened: %s\r\n", portName.c_str(),
                                 reason.empty() ? "unknown cause" : reason.c_str()));
        view.messageBox("Port Initialization Failed!", MessageIcon::Error);
        m_Context.refuse(Operation::BringUp, FailureCause::Port, reason);
        return false;
    }
    if (!link.setLineFormat(kBootRomBaud, 8, Parity::Even, 0)) {
        // Left open, the port could be neither used (no parity) nor closed (Stop is only offered
        // once START has succeeded), and every later START would say it is already open.
        link.close();
        view.messageBox("DCB Creation Failed!", MessageIcon::Error);
        m_Context.refuse(Operation::BringUp, FailureCause::Port, "the line settings were refused");
        return false;
    }
    m_Handshake.reset();
    m_Upload.reset();
    view.setLogText("** Wait for Connect Request from Mobile...\r\n** (POWER ON the PHONE!)\r\n");
    // Current before the state is set: the stage of a state is told by the phase that owns it.
    m_Context.enterPhase(*this);
    m_Handshake.waitForConnectRequest();
    m_Context.trackOperation(Operation::BringUp);
    return true;
}

bool BringUp::waitsForPhone(std::int32_t state) const {
    return state == bringup::stateNumber(bringup::BringUpState::WAIT_CONNECT_REQUEST);
}

void BringUp::step(std::uint8_t byte) {
    m_Context.judge(byte);
}

void BringUp::onBaudTimer() {
    m_BaudSwitch.onTimer();
}

}  // namespace zrk
