#include "bringup/BaudSwitch.h"

#include <system_error>

#include "bringup/BringUp.h"
#include "bringup/BringUpExchange.h"
#include "engine/LineSpeeds.h"
#include "engine/OpenFailureText.h"
#include "engine/OperationFrame.h"
#include "engine/PhaseContext.h"
#include "engine/TextFormat.h"
#include "serial/SerialLink.h"

namespace zrk {

using namespace bringup;

void BaudSwitch::onPreLoaderReady() {
    m_Context.log("OK!\r\nTrying to change the baudrate...\r\n");
    m_SpeedIndex = m_Context.request().speedIndex;
    m_ReopenAttempts = 0;
    // Bytes read at the old speed before the close cannot be the echo; the echo can only come
    // after the reopen.
    m_Context.begin(bringUpExchange(BringUpState::WAIT_SPEED_ECHO, kExchangeName)
                        .send({static_cast<std::uint8_t>(m_SpeedIndex)})
                        .expectNothingYet());
    // write() returns once the byte has left, so closing now cannot swallow it.
    m_Context.link().close();
    m_Context.startBaudTimer(kReopenDelayMs);
}

void BaudSwitch::onTimer() {
    // A late tick after Stop or after the phase moved on has nothing to reopen.
    if (m_Context.loaderReady() ||
        m_Context.state() != stateNumber(BringUpState::WAIT_SPEED_ECHO) ||
        m_Context.link().isConnected())
        return;
    const auto port = static_cast<std::uint16_t>(m_Context.request().portIndex + 1);
    if (!m_Context.openLink(port, baudRateFor(m_SpeedIndex))) {
        const OpenFailure failure = m_Context.link().lastOpenFailure();
        if (deviceIsGone(failure)) {
            m_Context.onLinkLost(describeOpenFailure(failure));
            return;
        }
        if (++m_ReopenAttempts >= kMaxReopenAttempts) {
            m_Context.onLinkLost("the port did not reopen at the new speed after " +
                                 std::to_string(m_ReopenAttempts) +
                                 " attempts: " + describeOpenFailure(failure));
            return;
        }
        m_Context.startBaudTimer(kReopenDelayMs);
        m_Context.log("** Retry the change of baudrate\r\n");
        return;
    }
    // The pre-loader answers the start byte at the new speed with the speed it was told.
    m_Context.begin(bringUpExchange(BringUpState::WAIT_SPEED_ECHO, kExchangeName)
                        .send({CMD_START})
                        .expect(static_cast<std::uint8_t>(m_SpeedIndex))
                        .then([this] { onSpeedEcho(); })
                        .otherwise([this](std::uint8_t byte) { onWrongSpeedEcho(byte); }));
}

bool BaudSwitch::deviceIsGone(const OpenFailure& failure) {
    // A hang-up or an unplugged adapter: retrying cannot bring it back.
    return failure.kind == OpenFailure::Kind::NotFound ||
           failure.error == std::errc::no_such_device ||
           failure.error == std::errc::no_such_device_or_address ||
           failure.error == std::errc::io_error;
}

void BaudSwitch::onWrongSpeedEcho(std::uint8_t byte) {
    // Not abandoned: the link is stopped below, and the failure is that of the bring-up.
    m_Context.setState(IDLE);
    m_Context.log(formatLine("** Fail to change the baudrate (%d)", byte));
    m_Context.view().messageBox("Fail to change the baudrate of target!", MessageIcon::Error);
    m_Context.reportFailure(FailureCause::PhoneReply, "Fail to change the baudrate of target!");
    m_Context.stop();
}

void BaudSwitch::onSpeedEcho() {
    m_Context.log(formatLine("Change Baudrate 115200 -> %d... OK!\r\n",
                             static_cast<int>(baudRateFor(m_SpeedIndex))));
    m_BringUp.upload().begin();
}

}  // namespace zrk
