#pragma once
// The explorer's exchanges over a link that the main engine has brought up: it takes the link
// over (pushing itself on the link's owner stack), mounts the phone's file system and lists
// it, deletes, reads files out, shows a file's status, dumps the whole NAND, and on EXIT runs
// the closing exchange and gives the link back. Its state machine is its own; the main
// engine's state is left as it was. Whole blocks and pages are taken as frames, not byte by
// byte. No Qt: the explorer's window and the command line drive it through the same calls.
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/Clock.h"
#include "files/OutputFile.h"
#include "filesystem/CodePage.h"
#include "filesystem/explorer/ExplorerStates.h"
#include "filesystem/explorer/ExplorerView.h"
#include "serial/LinkEvents.h"

namespace zrk {

class SerialLink;

// The 28-byte status record of one file, decoded.
struct FileStatusRecord {
    std::uint32_t mode = 0;
    std::uint32_t inode = 0;
    std::int16_t deviceId = 0;
    std::int16_t dummy = 0;
    std::int32_t size = 0;
    std::uint32_t accessTime = 0;
    std::uint32_t modificationTime = 0;
    std::uint32_t statusChangeTime = 0;

    static FileStatusRecord decode(const std::uint8_t* bytes);
    // The report as the log shows it, one text per line.
    std::vector<std::string> report() const;
};

// One entry of the last listing, as the phone named it.
struct ListedEntry {
    std::string utf8Name;                  // without its NUL
    std::optional<std::string> localName;  // nullopt when the local code page cannot hold it
    bool directory = false;
};

// The path of a tree node given the texts from the root ("/") down to the node.
std::string explorerNodePath(const std::vector<std::string>& texts);

class ExplorerEngine : public LinkHandler {
  public:
    using State = explorer::ExplorerState;

    // A listing longer than this is no phone's: a real directory holds a few hundred entries,
    // the whole NAND 128 MB. Past either bound the phone is taken to be babbling, and the
    // listing ends as failed before its names fill the PC's memory.
    static constexpr std::size_t kMaxListingEntries = 100'000;
    static constexpr std::size_t kMaxListingBytes = 16 * 1024 * 1024;  // entry records

    // nandPages: how many pages the full dump expects (the phone's are 64,064).
    ExplorerEngine(SerialLink& link, ExplorerView& view, CodePage codePage,
                   Clock& clock = systemClock(), std::uint32_t nandPages = explorer::kNandPages);
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
    // taken there is a failure, never overwritten.
    void readOutInto(const std::string& fullPath, std::shared_ptr<OutputFolder> folder,
                     const std::string& name);
    void deleteFile(const std::string& fullPath);  // "Delete" (asks first)
    void fileStatus(const std::string& fullPath);  // "Status"
    void nandDump();                               // "NAND FULL Dump"
    void exit();                                   // "EXIT", Esc, the close request

    // LinkHandler, on the protocol thread.
    void onLinkData() override;
    void onLinkLost(const std::string& reason) override;
    // The quiet timer of an empty read-out fired.
    void onQuietTimer();

    // Who sees the exchanges. A folder copy stands in for the front end while it runs, so that
    // its many exchanges reach the front end as one.
    ExplorerView& view() const { return *m_View; }
    void setView(ExplorerView& view) { m_View = &view; }

    // Lower bounds, so that a test need not wait for the real ones.
    void setListingBounds(std::size_t entries, std::size_t bytes) {
        m_MaxEntries = entries;
        m_MaxListingBytes = bytes;
    }

    // How the closing exchange went: nullopt until EXIT was pressed and while its reply is
    // awaited (a phone that never answers leaves it so); then completed (E4h came back),
    // failed with the phone's wrong reply, or link lost.
    const std::optional<OperationOutcome>& unmountOutcome() const { return m_Unmount; }
    // The explorer's window closes as soon as the link is given back, taking its log along: a
    // read-out or NAND full dump that EXIT or a lost link cut short is told here too, as one
    // UTF-8 line (without line ends) for whoever outlives the window. Empty when none was.
    const std::string& cutShortNote() const { return m_CutShortNote; }

    State state() const { return m_State; }
    const std::string& currentDirectory() const { return m_CurrentDir; }
    const std::optional<FileStatusRecord>& lastStatus() const { return m_Status; }
    // The directories listed so far and the subdirectories the tree holds for each.
    bool nodeHasChildren(const std::string& path) const;
    // Every file and directory of the last listing but "." and "..", whether the tree shows it
    // or not.
    const std::vector<ListedEntry>& listedEntries() const { return m_Listed; }

  private:
    void step(std::uint8_t byte);
    void frame(const std::uint8_t* bytes, std::size_t length);
    void entryStatus(std::uint8_t byte);
    void entryComplete();
    bool listingTooLong();
    void refreshAfterDelete();
    void readFileSize(std::uint8_t byte);
    void fileBlock(const std::uint8_t* bytes, std::size_t length);
    void dumpPage(const std::uint8_t* bytes, std::size_t length);
    void dumpEnd(std::uint8_t byte);
    void nextBlockLength();
    void expectFrame(std::size_t bytes);
    void sendListing(const std::vector<std::uint8_t>& path);
    void beginListing();
    std::optional<std::string> toUtf8Field(const std::string& local);
    std::optional<std::string> convertFullPath(const std::string& fullPath, const char* tooLong);
    void sendNamed(std::uint8_t command, const std::string& utf8);
    void send(std::initializer_list<std::uint8_t> bytes);
    void send(const std::vector<std::uint8_t>& bytes);
    void log(const std::string& text) { m_View->appendLog(text); }
    void end(OutcomeKind kind, FailureCause cause = FailureCause::None,
             const std::string& detail = {});
    // Creates the read-out's file (false: the failure is reported and the exchange over).
    bool createReadOutFile();
    // Names the file once it is complete; false with the failure reported.
    bool commitReadOutFile();
    // Keeps what a read-out or dump cut short received and says where, or removes it. Each
    // returns where the bytes were kept: empty when removed or when nothing was open.
    std::string abandonReadOutFile(bool remove = false);
    // Closes file, keeping what it holds (and saying where, in what it holds) or removing it.
    std::string abandon(OutputFile& file, bool keep, const char* what);
    std::string abandonDumpFile(bool remove);
    // Abandons both transfers, noting for cutShortNote what was cut short and by what.
    void abandonOnClosing(const char* cause);
    void giveBack();
    OperationOutcome closingOutcome(OutcomeKind kind, FailureCause cause = FailureCause::None,
                                    const std::string& detail = {}) const;

    SerialLink& m_Link;
    ExplorerView* m_View;
    CodePage m_CodePage;
    Clock& m_Clock;
    const std::uint32_t m_NandPages;
    bool m_Open = false;
    State m_State = State::EXPLORER_IDLE;

    // Listing.
    std::string m_CurrentDir = "/";
    std::uint8_t m_CurrentDirLength = 1;
    std::string m_CurrentNode = "/";
    bool m_CurrentHasChildren = false;
    std::map<std::string, std::set<std::string>> m_Children;
    std::array<std::uint8_t, 256> m_Entry{};
    std::size_t m_EntryNeeded = 0;
    std::size_t m_Counter = 0;
    bool m_ListFailureReported = false;
    std::vector<ListedEntry> m_Listed;
    bool m_Mounting = false;
    std::size_t m_ListingEntries = 0;
    std::size_t m_ListingBytes = 0;
    std::size_t m_MaxEntries = kMaxListingEntries;
    std::size_t m_MaxListingBytes = kMaxListingBytes;

    // Delete: the file's directory is listed again afterwards, and must no longer hold it.
    std::string m_DeleteDir;
    std::string m_DeletedUtf8Name;  // empty: the listing is no delete's refresh

    // The closing exchange.
    std::optional<OperationOutcome> m_Unmount;
    std::string m_CutShortNote;

    // Transfers.
    std::size_t m_FrameWanted = 0;
    std::size_t m_BlockMode = 0;  // what the link's watcher was last told
    std::size_t m_Budget = 0;
    std::vector<std::uint8_t> m_FrameBuffer;
    std::uint32_t m_Size = 0;
    std::uint32_t m_Remaining = 0;
    std::uint32_t m_Done = 0;
    std::size_t m_BlockLength = 0;
    bool m_LastBlock = false;
    std::array<std::uint8_t, 4> m_SizeBytes{};
    std::array<std::uint8_t, explorer::kStatRecordSize> m_Record{};
    std::optional<FileStatusRecord> m_Status;
    OutputFile m_ReadOutFile;
    std::string m_ReadOutTarget;
    // Set by readOutInto for the next read-out only.
    std::shared_ptr<OutputFolder> m_ReadOutFolder;
    std::string m_ReadOutName;
    bool m_ReadOutKeepsPartial = true;
    bool m_QuietTimerRunning = false;
    OutputFile m_DumpFile;
    std::string m_DumpTarget;
    std::int64_t m_DumpStart = 0;
    std::int64_t m_LastDumpLog = 0;
    std::int64_t m_ExchangeStart = 0;
    Operation m_Operation = Operation::Explorer;
    bool m_Tracking = false;
};

}  // namespace zrk
