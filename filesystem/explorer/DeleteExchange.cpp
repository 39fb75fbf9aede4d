#include "filesystem/explorer/DeleteExchange.h"

#include "engine/TextFormat.h"
#include "filesystem/explorer/ListingExchange.h"
#include "filesystem/explorer/PhonePath.h"

namespace zrk {

using namespace explorer;

void DeleteExchange::begin(const std::string& fullPath) {
    m_Line.beginExchange();
    m_Asked = fullPath;
    m_Listing.forgetDelete();
    ExplorerView* view = m_Line.shown();
    // Nobody to ask is no yes.
    if (!view || !view->askYesNo("Sure to Delete?")) {
        m_Line.fail({name(), static_cast<std::int32_t>(m_Line.state), std::nullopt, std::nullopt,
                     FailureCause::Refused, "not confirmed"});
        return;
    }
    m_Line.log(
        formatText("\r\nDeleting the file '%s'... ", shownPath(fullPath, m_Line.names).c_str()));
    const auto utf8 = m_Line.convertFullPath(name(), fullPath, nullptr);
    if (!utf8)
        return;
    // The refresh lists the directory the file was named in (the window's current one), and
    // looks for the file's name there.
    const auto slash = fullPath.rfind('/');
    m_Directory = phoneDirectory(slash == std::string::npos ? "/" : fullPath.substr(0, slash));
    const std::string utf8Path(utf8->c_str());
    m_Utf8Name = utf8Path.substr(utf8Path.rfind('/') + 1);
    m_Line.setControls(false);
    ask(std::move(
        namedRequest(State::WAIT_DELETE, CMD_DELETE_FILE, *utf8)
            .expect(DELETE_OK)
            .then([this] { deleted(); })
            .failing([](std::uint8_t got) { return formatText("Delete Fail! (0x%X)\r\n", got); })
            .failureDetail(
                [](std::uint8_t got) { return formatText("delete answered with 0x%02X", got); })));
}

void DeleteExchange::beforeFailing(Failure& failure) {
    sayRefusal(failure);
}

void DeleteExchange::deleted() {
    m_Line.log("OK!\r\n");
    m_Listing.refreshAfterDelete(m_Directory, m_Utf8Name);
}

}  // namespace zrk
