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

void BringUp::failWith(std::uint8_t got, std::optional<std::uint8_t> expected,
                       const std::string& message) {
    m_Context.wrongReply(got, expected, message, PhaseContext::Ending::Abandon, message);
}

bool BringUp::start() {
    DownloaderView& view = m_Context.view();
    SerialLink& link = m_Context.link();
    view.setFlashName("");
    m_Context.flashId.reset();
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
        m_Context.log(formatText("\r\n** %s could not be opened: %s\r\n", portName.c_str(),
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
    m_Identification.reset();
    view.setLogText("** Wait for Connect Request from Mobile...\r\n** (POWER ON the PHONE!)\r\n");
    // Current before the state is set: the stage of a state is told by the phase that owns it.
    m_Context.enterPhase(*this);
    m_Context.setState(bringup::WAIT_CONNECT_REQUEST);
    m_Context.trackOperation(Operation::BringUp);
    view.showPortOpened();
    view.lockControls();
    return true;
}

const char* BringUp::exchangeName(std::int32_t state) const {
    using namespace bringup;
    switch (state) {
        case WAIT_CONNECT_REQUEST:
            return "wait for the phone's connect request";
        case WAIT_CONNECT_GRANT:
            return "ask the boot ROM to connect";
        case READ_CHALLENGE:
            return "read the boot ROM's challenge";
        case WAIT_ID_ACK:
            return "send the customer identification";
        case WAIT_TIMEOUT_ACK:
            return "set the boot ROM's time-out";
        case WAIT_LOAD_ADDRESS_ACK:
            return "send the pre-loader's load address";
        case WAIT_WORD_ACK:
            return "send the pre-loader's words";
        case WAIT_LAST_WORD_ACK:
            return "send the pre-loader's last word";
        case WAIT_START_ADDRESS_ACK:
            return "start the pre-loader";
        case WAIT_PRELOADER_READY:
            return "wait for the pre-loader";
        case WAIT_SPEED_ECHO:
            return "switch the line speed";
        case WAIT_SIZE_SUM:
            return "send the boot-loader's size";
        case WAIT_DMA_ACK:
            return "set up a boot-loader chunk";
        case WAIT_CHUNK_SUM:
            return "send a boot-loader chunk";
        case WAIT_LAST_CHUNK_SUM:
            return "send the boot-loader's last chunk";
        case WAIT_LOADER_READY:
            return "start the boot-loader";
        case WAIT_BASE_SUM:
            return "set the flash base";
        case READ_FLASH_ID:
            return "identify the flash";
        default:
            return "";
    }
}

bool BringUp::waitsForPhone(std::int32_t state) const {
    return state == bringup::WAIT_CONNECT_REQUEST;
}

void BringUp::step(std::uint8_t byte) {
    using namespace bringup;
    switch (m_Context.state()) {
        case WAIT_CONNECT_REQUEST:
        case WAIT_CONNECT_GRANT:
        case READ_CHALLENGE:
        case WAIT_ID_ACK:
        case WAIT_TIMEOUT_ACK:
        case WAIT_LOAD_ADDRESS_ACK:
        case WAIT_WORD_ACK:
        case WAIT_LAST_WORD_ACK:
        case WAIT_START_ADDRESS_ACK:
            m_Handshake.step(byte);
            break;
        case WAIT_PRELOADER_READY:
            if (byte == 0xAB) {
                m_BaudSwitch.onPreLoaderReady();
            } else {
                failWith(byte, 0xAB, formatText("Bad response(0x%X) from Pre-Loader\r\n", byte));
            }
            break;
        case WAIT_SPEED_ECHO:
            m_BaudSwitch.onSpeedEcho(byte);
            break;
        case WAIT_SIZE_SUM:
        case WAIT_DMA_ACK:
        case WAIT_CHUNK_SUM:
        case WAIT_LAST_CHUNK_SUM:
        case WAIT_LOADER_READY:
        case WAIT_BASE_SUM:
            m_Upload.step(byte);
            break;
        case READ_FLASH_ID:
            m_Identification.step(byte);
            break;
        default:
            break;  // INITIAL, IDLE and unknown states drop the byte
    }
}

void BringUp::onBaudTimer() {
    m_BaudSwitch.onTimer();
}

}  // namespace zrk
