#include "bringup/BaudSwitch.h"

#include "bringup/BringUp.h"
#include "bringup/BringUpStates.h"
#include "engine/ProtocolEngine.h"
#include "engine/TextFormat.h"
#include "loader/LoaderStates.h"
#include "serial/SerialLink.h"

namespace zrk {

using namespace bringup;

void BaudSwitch::onPreLoaderReady() {
    m_Engine.log("OK!\r\nTrying to change the baudrate...\r\n");
    m_Engine.ProtocolState = WAIT_SPEED_ECHO;
    m_SpeedIndex = m_Engine.view().choices().speedIndex;
    m_Engine.send({static_cast<std::uint8_t>(m_SpeedIndex)});
    // write() returns once the byte has left, so closing now cannot swallow it.
    m_Engine.link().close();
    m_Engine.startBaudTimer(kReopenDelayMs);
}

void BaudSwitch::onTimer() {
    // A late tick after Stop or after the phase moved on has nothing to reopen.
    if (m_Engine.LoaderReady || m_Engine.ProtocolState != WAIT_SPEED_ECHO ||
        m_Engine.link().isConnected())
        return;
    const auto port = static_cast<std::uint16_t>(m_Engine.view().choices().portIndex + 1);
    if (!m_Engine.link().open(port, BringUp::baudRateFor(m_SpeedIndex))) {
        m_Engine.startBaudTimer(kReopenDelayMs);
        m_Engine.log("** Retry the change of baudrate\r\n");
        return;
    }
    m_Engine.send({loader::CMD_START});
}

void BaudSwitch::onSpeedEcho(std::uint8_t byte) {
    // Bytes read at the old speed before the close cannot be the echo; the echo can only come
    // after the reopen.
    if (m_Engine.baudTimerRunning() || !m_Engine.link().isConnected())
        return;
    if (byte != m_SpeedIndex) {
        m_BringUp.failWith(formatText("** Fail to change the baudrate (%d)", byte));
        m_Engine.view().messageBox("Fail to change the baudrate of target!", MessageIcon::Error);
        m_Engine.stop();
        return;
    }
    m_Engine.log(formatText("Change Baudrate 115200 -> %d... OK!\r\n",
                            static_cast<int>(BringUp::baudRateFor(m_SpeedIndex))));
    m_BringUp.upload().begin();
}

}  // namespace zrk
