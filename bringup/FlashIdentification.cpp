#include "bringup/FlashIdentification.h"

#include <string>

#include "engine/PhaseContext.h"
#include "engine/TextFormat.h"

namespace zrk {

void FlashIdentification::step(std::uint8_t byte) {
    m_Reply[static_cast<std::size_t>(m_Count++)] = byte;
    if (m_Count < kReplySize)
        return;
    m_Count = 0;
    m_Context.flashId = m_Reply;
    const unsigned manufacturer = m_Reply[0] * 256u + m_Reply[1];
    const unsigned device = m_Reply[2] * 256u + m_Reply[3];
    const bool supported = manufacturer == kManufacturer && device == kDevice;

    std::string name;
    std::string line;
    if (supported) {
        name = kFlashName;
        line = formatText("Detected (%s)\r\n", kFlashName);
        m_Context.sectorMap.activate();
    } else {
        name = "Not Supported FLASH";
        m_Context.setState(IDLE);
        line = formatText("not supported FLASH(ManuID:%x,DevID1:%x)\r\n", manufacturer, device);
    }
    m_Context.log(line);
    m_Context.view().setFlashName(name);

    if (!supported) {
        m_Context.log("\r\n** There is nothing to do because of unknown FLASH.\r\n");
        m_Context.view().messageBox("Unknown Flash!", MessageIcon::Error);
        m_Context.reportFailure(FailureCause::PhoneReply, "Unknown Flash!");
        m_Context.stop();
        return;
    }
    m_Context.setLoaderReady(true);
    m_Context.log(
        "\r\n\r\n** Now you can do the followings. **\r\n\r\n1. Download the BINARY and/or QIX "
        "files\r\n2. Dump NOR-Flash\r\n3. Erase NOR-Flash\r\n4. Format Nand-Flash\r\n5. Dump "
        "QIX files\r\n6. Check the status of NAND-Flash\r\n");
    m_Context.reportCompleted(0);
    m_Context.finishOperation();
    m_Context.view().setProgressPos(0);
    if (m_Context.request().autoDownload)
        m_Context.pressDownload();
}

}  // namespace zrk
