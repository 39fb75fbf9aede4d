#pragma once
// The explorer's exchanges over a link that the main engine has brought up: it takes the link
// over (pushing itself on the link's owner stack), mounts the phone's file system and lists
// it, deletes, reads files out, shows a file's status, dumps the whole NAND, and on EXIT runs
// the closing exchange and gives the link back. Its state machine is its own; the main
// engine's state is left as it was. Each exchange is a room of its own; this one routes the
// user's actions and the phone's replies to them. No Qt: the explorer's window and the command
// line drive it through the same calls.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/Clock.h"
#include "engine/ReplyPump.h"
#include "files/OutputFile.h"
#include "filesystem/CodePage.h"
#include "filesystem/explorer/DeleteExchange.h"
#include "filesystem/explorer/ExplorerLine.h"
#include "filesystem/explorer/ExplorerStates.h"
#include "filesystem/explorer/ExplorerTypes.h"
#include "filesystem/explorer/ExplorerView.h"
#include "filesystem/explorer/ListingExchange.h"
#include "filesystem/explorer/NandDumpExchange.h"
#include "filesystem/explorer/ReadOutExchange.h"
#include "filesystem/explorer/StatusExchange.h"
#include "serial/LinkEvents.h"

namespace zrk {

class SerialLink;
class OutputFolder;

// The path of a tree node given the texts from the root ("/") down to the node.
std::string explorerNodePath(const std::vector<std::string>& texts);

class ExplorerEngine : public LinkHandler, private ReplyReader {
  public:
    using State = explorer::ExplorerState;

    // A listing longer than this is no phone's: a real directory holds a few hundred entries,
    // the whole NAND 128 MB. Past either bound the phone is taken to be babbling, and the
    // listing ends as failed before its names fill the PC's memory.
    static constexpr std::size_t kMaxListingEntries = 100'000;
    static constexpr std::size_t kMaxListingBytes = 16 * 1024 * 1024;  // entry records

    // nandPages: how many pages the full dump expects (the phone's are 64,064). view may be
    // nullptr for a walk that has no front end: its listener hears everything then.
    ExplorerEngine(SerialLink& link, ExplorerView* view, CodePage codePage,
                   Clock& clock = systemClock(), std::uint32_t nandPages = explorer::kNandPages);
    ExplorerEngine(SerialLink& link, ExplorerView& view, CodePage codePage,
                   Clock& clock = systemClock(), std::uint32_t nandPages = explorer::kNandPages)
        : ExplorerEngine(link, &view, std::move(codePage), clock, nandPages) {}
    ~ExplorerEngine() override;
    ExplorerEngine(const ExplorerEngine&) = delete;
    ExplorerEngine& operator=(const ExplorerEngine&) = delete;

    // Takes the link over and starts mounting; the root listing follows by itself.
    void open();
    bool isOpen() const { return m_Open; }

    // The user's actions. Each overwrites the state with the first state of its exchange.
    void listDirectory(const std::string& path);  // a selected node's path, local code page
    // The full path of a file item of the current directory (its text keeps the CR LF).
    std::string fullFilePath(const std::string& itemText) const;
    void readOut(const std::string& fullPath);  // "Dump..."
    // The same, into name in folder without asking where (a folder copy); a name that is
    // taken there is a failure, never overwritten, unless existing says otherwise.
    void readOutInto(const std::string& fullPath, std::shared_ptr<OutputFolder> folder,
                     const std::string& name,
                     OutputFile::Existing existing = OutputFile::Existing::Refuse);
    void deleteFile(const std::string& fullPath);  // "Delete" (asks first)
    void fileStatus(const std::string& fullPath);  // "Status"
    void nandDump();                               // "NAND FULL Dump"
    void exit();                                   // "EXIT", Esc, the close request
    // Ctrl-C or a kill, after which nothing more is sent: a read-out or NAND full dump under
    // way keeps what it received, as EXIT would, and cutShortNote says where.
    void interrupt(const char* cause) { abandonOnClosing(cause); }

    // LinkHandler, on the protocol thread.
    void onLinkData() override;
    void onLinkLost(const std::string& reason) override;
    // The quiet timer of an empty read-out fired.
    void onQuietTimer();
    // The front end's silence limit (seconds long) passed without a reply accepted: the
    // exchange waiting ends failed, a transfer keeps what it received as the closing exchange
    // does, and the controls come back (after a mount that got nothing, EXIT alone). During
    // the closing exchange the link is given back unconfirmed. Returns one UTF-8 line for the
    // main log (no line ends); empty when nothing was awaited.
    std::string onSilence(std::int64_t seconds);

    // While set, the exchanges' outcomes, progress and timer go to the listener, and the front
    // end sees only new tree nodes (and the file list when listShown). nullptr: the front end
    // sees everything again.
    void setListener(ExchangeListener* listener, bool listShown = false) {
        m_Line.listener = listener;
        m_Line.listShown = listShown;
    }
    void showList(bool shown) { m_Line.listShown = shown; }
    ExchangeListener* listener() const { return m_Line.listener; }
    ExplorerView* view() const { return m_Line.view; }

    // Lower bounds, so that a test need not wait for the real ones.
    void setListingBounds(std::size_t entries, std::size_t bytes) {
        m_Listing.setBounds(entries, bytes);
    }

    // How the closing exchange went: nullopt until EXIT was pressed and while its reply is
    // awaited (a phone that never answers leaves it so); then completed (E4h came back),
    // failed with the phone's wrong reply, or link lost.
    const std::optional<OperationOutcome>& unmountOutcome() const { return m_Unmount; }
    // The explorer's window closes as soon as the link is given back, taking its log along: a
    // read-out or NAND full dump that EXIT or a lost link cut short is told here too, as one
    // UTF-8 line (without line ends) for whoever outlives the window. Empty when none was.
    const std::string& cutShortNote() const { return m_CutShortNote; }
    // Where the bytes of the last read-out or NAND full dump cut short were kept; empty when
    // none was, or its partial file was removed.
    const std::string& cutShortKept() const { return m_CutShortKept; }
    // The typed failure of the last exchange that failed since an exchange began.
    const std::optional<Failure>& lastFailure() const { return m_Line.lastFailure(); }

    State state() const { return m_Line.state; }
    const std::string& currentDirectory() const { return m_Listing.currentDirectory(); }
    const std::optional<FileStatusRecord>& lastStatus() const { return m_Status.last(); }
    // The directories listed so far and the subdirectories the tree holds for each.
    bool nodeHasChildren(const std::string& path) const { return m_Listing.nodeHasChildren(path); }
    // Every file and directory of the last listing but "." and "..", whether the tree shows it
    // or not.
    const std::vector<ListedEntry>& listedEntries() const { return m_Listing.entries(); }

  private:
    // ReplyReader.
    std::size_t frameWanted() const override { return m_Line.frameWanted; }
    bool takeByte(std::uint8_t byte) override;
    void takeFrame(std::span<const std::uint8_t> frame) override;
    bool reading() const override { return m_Open; }

    ExplorerExchange* owner(State state);
    // The closing exchange's reply came: E4h, or this wrong one.
    void unmounted(std::optional<std::uint8_t> wrongReply);
    // Abandons both transfers, noting for cutShortNote what was cut short and by what.
    void abandonOnClosing(const char* cause);
    void giveBack();

    ExplorerLine m_Line;
    ReplyPump m_Pump;
    bool m_Open = false;
    ListingExchange m_Listing{m_Line};
    DeleteExchange m_Delete{m_Line, m_Listing};
    StatusExchange m_Status{m_Line};
    ReadOutExchange m_ReadOut{m_Line};
    NandDumpExchange m_NandDump{m_Line};

    // The closing exchange.
    std::optional<OperationOutcome> m_Unmount;
    std::string m_CutShortNote;
    std::string m_CutShortKept;
};

}  // namespace zrk
