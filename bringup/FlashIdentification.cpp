#include "bringup/FlashIdentification.h"

#include <algorithm>
#include <array>
#include <string>

#include "bringup/BringUpExchange.h"
#include "engine/PhaseContext.h"
#include "engine/TextFormat.h"

namespace zrk {

using namespace bringup;

void FlashIdentification::begin() {
    m_Context.begin(bringUpExchange(BringUpState::READ_FLASH_ID, "identify the flash")
                        .send({CMD_READ_FLASH_ID})
                        .expectBytes(kReplySize)
                        .then([this](Exchange::Reply reply) { identified(reply); }));
    m_Context.log("Checking FLASH ID... ");
}

void FlashIdentification::identified(std::span<const std::uint8_t> reply) {
    std::array<std::uint8_t, kReplySize> id{};
    std::copy_n(reply.begin(), id.size(), id.begin());
    m_Context.setFlashId(id);
    const unsigned manufacturer = id[0] * 256u + id[1];
    const unsigned device = id[2] * 256u + id[3];
    const bool supported = manufacturer == kManufacturer && device == kDevice;

    std::string name;
    std::string line;
    if (supported) {
        name = kFlashName;
        line = formatText("Detected (%s)\r\n", kFlashName);
        m_Context.activateSectorMap();
    } else {
        name = "Not Supported FLASH";
        m_Context.setState(IDLE);
        line = formatText("not supported FLASH(ManuID:%x,DevID1:%x)\r\n", manufacturer, device);
    }
    m_Context.log(line);
    m_Context.view().heard(FlashNamed{name});

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
