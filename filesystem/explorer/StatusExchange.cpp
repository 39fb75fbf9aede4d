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
    ask(std::move(
        namedRequest(State::WAIT_STAT_ACK, CMD_FILE_STAT, *utf8)
            .expect(STAT_OK)
            .then([this] {
                ask(std::move(exchange(State::READ_STAT_RECORD)
                                  .expectBytes(kStatRecordSize)
                                  .then([this](Exchange::Reply record) { recordRead(record); })));
            })
            .failing([](std::uint8_t got) { return formatText("Fail! (0x%X)\r\n", got); })
            .failureDetail(
                [](std::uint8_t got) { return formatText("status answered with 0x%02X", got); })));
}

void StatusExchange::beforeFailing(Failure& failure) {
    m_Line.setControls(true);
    sayRefusal(failure);
}

void StatusExchange::recordRead(Exchange::Reply record) {
    // Only with the whole record: the rest of it would be read as the reply of an exchange
    // started in between.
    m_Line.setControls(true);
    m_Status = FileStatusRecord::decode(record.data());
    for (const auto& line : m_Status->report())
        m_Line.log(line);
    m_Line.state = ExplorerState::EXPLORER_IDLE;
    m_Line.end(OutcomeKind::Completed);
}

}  // namespace zrk
