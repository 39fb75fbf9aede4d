#include "filesystem/explorer/StatusExchange.h"

#include "engine/TextFormat.h"

namespace zrk {

using namespace explorer;

void StatusExchange::begin(const std::string& fullPath) {
    m_Line.beginExchange();
    m_Asked = fullPath;
    m_Line.setLogText(formatText("\r\n Reading the file status '%s'... \n",
                                 shownPath(fullPath, m_Line.names).c_str()));
    m_Line.log("---------------------------- \n");
    m_Line.setControls(false);
    // Set before the request is written: the reply may be read before send returns here.
    const auto utf8 =
        m_Line.convertFullPath(name(), fullPath, "**File name is too long(%s) **\r\n");
    if (!utf8)
        return;
    m_Line.state = ExplorerState::WAIT_STAT_ACK;
    m_Line.sendNamed(CMD_FILE_STAT, *utf8);
}

void StatusExchange::onByte(std::uint8_t byte) {
    if (m_Line.state == ExplorerState::WAIT_STAT_ACK) {
        if (byte != STAT_OK) {
            m_Line.setControls(true);
            m_Line.log(formatText("Fail! (0x%X)\r\n", byte));
            failRefusal(STAT_OK, byte, formatText("status answered with 0x%02X", byte));
            return;
        }
        m_Counter = 0;
        m_Line.state = ExplorerState::READ_STAT_RECORD;
        return;
    }
    m_Record[m_Counter++] = byte;
    if (m_Counter < kStatRecordSize)
        return;
    m_Counter = 0;
    // Only with the whole record: the rest of it would be read as the reply of an exchange
    // started in between.
    m_Line.setControls(true);
    m_Status = FileStatusRecord::decode(m_Record.data());
    for (const auto& line : m_Status->report())
        m_Line.log(line);
    m_Line.state = ExplorerState::EXPLORER_IDLE;
    m_Line.end(OutcomeKind::Completed);
}

}  // namespace zrk
