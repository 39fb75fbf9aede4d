// The explorer's exchanges over a brought-up link: mount and listings, read-out, delete, file
// status, the NAND dump and the closing exchange, driven by phone bytes and by the actions the
// explorer's window offers at that moment (its tree, file list and dump button follow the
// engine's enabling, EXIT is always there).
//
// Actions (one byte each, then their arguments):
//   'H' / 'h' N   one / up to N+1 answers of a phone without a fault
//   'O' open the explorer (again, after it closed)     'x' EXIT
//   'l' X list a directory    'r' X read a file out    'd' X delete (X odd: confirmed)
//   's' X a file's status     'n' the NAND dump        'q' the quiet timer fires
//   'L' the device is gone    'C' X what the save dialog answers
//   any other: (op & 31) + 1 bytes from the phone
#include <algorithm>
#include <map>
#include <memory>
#include <set>

#include "filesystem/explorer/ExplorerEngine.h"
#include "fuzz/FileContents.h"
#include "fuzz/FuzzCheck.h"
#include "fuzz/FuzzFiles.h"
#include "fuzz/FuzzInput.h"
#include "fuzz/OpenDescriptors.h"
#include "fuzz/RecordingLink.h"
#include "support/FakeClock.h"
#include "support/RecordingExplorerView.h"

namespace zrk::fuzz {
namespace {

using Bytes = std::vector<std::uint8_t>;
using State = explorer::ExplorerState;

// Enough for every deep exchange, an 'h' answering hundreds of requests in one. The inputs that
// ran to thousands were mostly line noise, a step and its checks for every burst, and took most
// of the time.
constexpr int kMaxActions = 300;
// And so many exchanges ended, so many of them completed: inputs that ran dozens of listings
// and dumps were a tenth of the corpus and most of its time, and reached nothing the first few
// had not.
constexpr std::size_t kMaxExchanges = 8;
constexpr std::size_t kMaxCompleted = 3;
constexpr std::uint32_t kPages = 3;           // a short NAND, so a dump ends within an input
constexpr std::uint32_t kReadOutSize = 9000;  // a full block and a short one
// Listings end as failed past these, so that an input can reach the bound.
constexpr std::size_t kListingEntries = 40;
constexpr std::size_t kListingBytes = 2048;

const std::set<State> kStates = {
    State::WAIT_START_REPLY,  State::WAIT_MOUNT_ECHO,   State::WAIT_EXIT_REPLY,
    State::LIST_FAILED,       State::WAIT_READ_ACK,     State::READ_FILE_SIZE,
    State::WAIT_FILE_BLOCK,   State::WAIT_DELETE,       State::WAIT_STAT_ACK,
    State::READ_STAT_RECORD,  State::WAIT_DUMP_START,   State::WAIT_DUMP_PAGE,
    State::WAIT_DUMP_END,     State::WAIT_ENTRY_LENGTH, State::READ_ENTRY,
    State::WAIT_ENTRY_STATUS, State::EXPLORER_IDLE};

const char* const kDirectories[] = {"/", "/d", "/d/e", "/nowhere"};

// The main engine beneath the explorer: a lost link ends there with Stop.
class EngineBelow : public LinkHandler {
  public:
    explicit EngineBelow(RecordingLink& link) : m_Link(link) {}
    void onLinkData() override {
        std::uint8_t ignored;
        while (m_Link.queue.pop(ignored)) {
        }
    }
    void onLinkLost(const std::string&) override { m_Link.close(); }

  private:
    RecordingLink& m_Link;
};

// Notes how many received bytes the explorer had taken when each outcome came.
class View : public test::RecordingExplorerView {
  public:
    explicit View(RecordingLink& link) : m_Link(link) {}
    void operationEnded(const OperationOutcome& outcome) override {
        RecordingExplorerView::operationEnded(outcome);
        consumedAtOutcome.push_back(m_Link.consumed());
    }
    std::string chooseSaveFile(const SaveFileRequest& request) override {
        lastTarget = RecordingExplorerView::chooseSaveFile(request);
        return lastTarget;
    }
    std::vector<std::size_t> consumedAtOutcome;
    std::string lastTarget;  // the save dialog's last answer

  private:
    RecordingLink& m_Link;
};

enum class Exchange { None, Listing, ReadOut, Status, NandDump };

const char* exchangeName(Exchange e) {
    switch (e) {
        case Exchange::Listing:
            return "listing";
        case Exchange::ReadOut:
            return "read-out";
        case Exchange::Status:
            return "status";
        case Exchange::NandDump:
            return "NAND dump";
        case Exchange::None:
            break;
    }
    return "none";
}

// The explorer's own words for a completed exchange, each a line or a box of its own. A phone
// may name a file "Dump Completed!" too, but its names are shown within lines of the explorer's
// or, in a listing, one a line.
bool containsCompletion(const std::string& text) {
    for (const char* words : {"** Dump Completed! **", "** NAND FULL DUMP Completed! **"}) {
        for (std::size_t at = text.find(words); at != std::string::npos;
             at = text.find(words, at + 1)) {
            if (at == 0 || text[at - 1] == '\n')
                return true;
        }
    }
    return text == "Dump Completed!";
}

class Driver {
  public:
    Driver() {
        link.connected = true;
        link.pushHandler(below);
        trail().clear();
    }
    ~Driver() {
        explorer.reset();
        link.popHandler(below);
    }

    void run(FuzzInput& in) {
        check(m_Descriptors.take(), "the open file descriptors cannot be listed");
        view.saveAs = files().dumpPath;
        open();
        for (int n = 0; n < kMaxActions && !in.empty() && roomForExchanges(); ++n)
            act(in);
        if (explorer->isOpen()) {
            step(
                "EXIT at the end", [&] { explorer->exit(); }, Exchange::None);
            if (explorer->isOpen() && link.connected)
                step(
                    "unmount echo", [&] { deliver({explorer::CMD_UNMOUNT}); }, Exchange::None);
        }
        check(!m_Pending || !link.connected, "an exchange without an outcome at the end");
        if (!m_Pending)
            check(m_Descriptors.unchangedAtEnd(), "a file is open at the end of the input");
    }

  private:
    bool roomForExchanges() const {
        const auto completed =
            std::count_if(view.outcomes.begin(), view.outcomes.end(),
                          [](const OperationOutcome& o) { return o.completed(); });
        return view.outcomes.size() < kMaxExchanges &&
               static_cast<std::size_t>(completed) < kMaxCompleted;
    }

    void open() {
        if (explorer && explorer->isOpen())
            return;
        std::string error;
        explorer = std::make_unique<ExplorerEngine>(link, view, *CodePage::open("UTF-8", &error),
                                                    clock, kPages);
        explorer->setListingBounds(kListingEntries, kListingBytes);
        view.working = view.tree = true;  // a fresh window
        m_Entries = 0;
        step(
            "open", [&] { explorer->open(); }, Exchange::Listing);
    }

    // A file of the listed directory, as its menu names it; now and then one too long to send.
    std::string fileArgument(std::uint8_t x) const {
        const std::string path = explorer->fullFilePath(view.files[x % view.files.size()]);
        return x & 0x80 ? path + std::string(600, 'n') : path;
    }

    void act(FuzzInput& in) {
        const std::uint8_t op = in.byte();
        const bool isOpen = explorer->isOpen();
        switch (op) {
            case 'H':
            case 'h': {
                const int count = op == 'H' ? 1 : in.byte() + 1;
                for (int i = 0; i < count && honestOnce(); ++i) {
                }
                return;
            }
            case 'O':
                if (!link.connected)
                    return;  // the main window opens the explorer only over a live link
                open();
                return;
            case 'x':
                if (isOpen)
                    step(
                        "EXIT", [&] { explorer->exit(); }, Exchange::None);
                return;
            case 'l': {
                const std::string path = kDirectories[in.byte() % 4];
                if (isOpen && view.tree)
                    step(
                        "list " + path, [&] { explorer->listDirectory(path); }, Exchange::Listing);
                return;
            }
            case 'r':
            case 'd':
            case 's': {
                const std::uint8_t x = in.byte();
                if (!isOpen || !view.working || view.files.empty())
                    return;  // the file list is disabled, or has no item for the menu
                const std::string path = fileArgument(x);
                if (op == 'r') {
                    step(
                        "read out " + path.substr(0, 20), [&] { explorer->readOut(path); },
                        Exchange::ReadOut);
                } else if (op == 'd') {
                    view.yes = x & 2;
                    step(
                        "delete " + path.substr(0, 20), [&] { explorer->deleteFile(path); },
                        Exchange::Listing);
                } else {
                    step(
                        "status " + path.substr(0, 20), [&] { explorer->fileStatus(path); },
                        Exchange::Status);
                }
                return;
            }
            case 'n':
                if (isOpen && view.working)
                    step(
                        "NAND dump", [&] { explorer->nandDump(); }, Exchange::NandDump);
                return;
            case 'q':
                if (isOpen && view.quietTimer != 0) {
                    view.quietTimer = 0;
                    step(
                        "quiet timer", [&] { explorer->onQuietTimer(); }, Exchange::None);
                }
                return;
            case 'L':
                if (link.connected)
                    step(
                        "link lost", [&] { link.deliverLinkLost(link.session(), "gone"); },
                        Exchange::None);
                return;
            case 'C': {
                const std::uint8_t x = in.byte();
                view.saveAs = x % 3 == 0   ? files().dumpPath
                              : x % 3 == 1 ? std::string()
                                           : files().dir.file("no-such-folder/out.hex");
                return;
            }
            default: {
                const Bytes bytes = in.bytes((op & 31u) + 1);
                if (link.connected)
                    step(
                        "phone bytes", [&] { deliver(bytes); }, Exchange::None);
                return;
            }
        }
    }

    void deliver(const Bytes& bytes) {
        link.feed(bytes);
        link.deliverData();
    }

    Bytes entry(std::uint8_t type, const std::string& name) const {
        Bytes b{static_cast<std::uint8_t>(name.size() + 1), type};
        b.insert(b.end(), name.begin(), name.end());
        b.push_back(0);
        return b;
    }

    // A frame of the size the engine asked the link for, with a right sum. Made once per size:
    // filling and summing a block byte by byte for every frame was a tenth of an input's time.
    const Bytes& frame() const {
        static std::map<std::size_t, Bytes> made;
        const std::size_t size = link.frameSize > 0 ? link.frameSize - 1 : 0;
        auto [at, fresh] = made.try_emplace(size);
        Bytes& b = at->second;
        if (fresh) {
            b.resize(size);
            for (std::size_t i = 0; i < b.size(); ++i)
                b[i] = static_cast<std::uint8_t>(i * 13 + 5);
            std::uint8_t sum = 0;
            for (const auto x : b)
                sum = static_cast<std::uint8_t>(sum + x);
            b.push_back(sum);
        }
        return b;
    }

    const Bytes& answer(Bytes bytes) {
        m_Reply = std::move(bytes);
        return m_Reply;
    }

    // What the phone without a fault answers now; empty when the explorer waits for nothing.
    const Bytes& honestReply() {
        switch (explorer->state()) {
            case State::WAIT_START_REPLY:
                return answer({0x00});
            case State::WAIT_MOUNT_ECHO:
                return answer({explorer::CMD_MOUNT});
            case State::WAIT_ENTRY_LENGTH:
                switch (m_Entries++ % 3) {
                    case 0:
                        return answer(entry(explorer::ENTRY_FILE, "a.txt"));
                    case 1:
                        return answer(entry(explorer::ENTRY_DIR, "e"));
                    default:
                        return answer(entry(explorer::ENTRY_FILE, "big"));
                }
            case State::READ_ENTRY:
            case State::READ_FILE_SIZE:
            case State::READ_STAT_RECORD:
                return answer({0x00});
            case State::WAIT_ENTRY_STATUS:
                return answer({m_Entries % 3 == 0 ? explorer::LIST_END : explorer::LIST_MORE});
            case State::LIST_FAILED:
                return answer({explorer::LIST_END});
            case State::WAIT_DELETE:
                return answer({explorer::DELETE_OK});
            case State::WAIT_READ_ACK:
                return answer(
                    {explorer::READ_OK, 0x00, 0x00, kReadOutSize >> 8 & 0xFF, kReadOutSize & 0xFF});
            case State::WAIT_FILE_BLOCK:
            case State::WAIT_DUMP_PAGE:
                return frame();  // kept, not copied
            case State::WAIT_STAT_ACK: {
                Bytes b{explorer::STAT_OK};
                b.resize(1 + explorer::kStatRecordSize, 0x11);
                return answer(std::move(b));
            }
            case State::WAIT_DUMP_START:
                return answer({explorer::DUMP_OK});
            case State::WAIT_DUMP_END:
                return answer({explorer::DUMP_END});
            case State::WAIT_EXIT_REPLY:
                return answer({explorer::CMD_UNMOUNT});
            case State::EXPLORER_IDLE:
                return answer({});
        }
        return answer({});
    }

    bool honestOnce() {
        if (!explorer->isOpen() || !link.connected)
            return false;
        const Bytes& reply = honestReply();
        if (reply.empty())
            return false;
        step(
            "honest phone", [&] { deliver(reply); }, Exchange::None);
        return true;
    }

    // ---- The invariants ----------------------------------------------------------------------

    template <typename Action>
    void step(std::string_view name, Action&& action, Exchange begins) {
        trail().add(name).text(" [state ").number(static_cast<int>(explorer->state())).text("]");
        const std::size_t outcomesBefore = view.outcomes.size();
        const std::size_t messagesBefore = view.messages.size();
        const std::size_t logBefore = view.log.size();
        const int replacementsBefore = view.logReplacements;
        const Signs signsBefore = signsShown();
        // An exchange started while one runs must end that one first.
        const int pendingBefore = m_Pending ? 1 : 0;
        action();

        const State state = explorer->state();
        check(kStates.count(state) == 1, [&] {
            return "impossible explorer state " + std::to_string(static_cast<int>(state));
        });
        check(explorer->isOpen() == (link.handler() == explorer.get()),
              "the explorer's hold on the link and its own view of it disagree");
        const bool frames = state == State::WAIT_FILE_BLOCK || state == State::WAIT_DUMP_PAGE;
        check(!explorer->isOpen() || link.blockMode == frames,
              "block mode outside a frame wait, or a frame wait without it");

        // Exactly one outcome per exchange.
        const int begun = begins != Exchange::None ? 1 : 0;
        const int ended = static_cast<int>(view.outcomes.size() - outcomesBefore);
        check(ended <= pendingBefore + begun, "an outcome for no exchange");
        check(pendingBefore + begun - ended <= 1,
              "the window offered a new exchange while one was running, and the first one "
              "will have no outcome");
        for (std::size_t i = outcomesBefore; i < view.outcomes.size(); ++i) {
            // The first outcome may close the exchange that ran before this step.
            const Exchange exchange = i == outcomesBefore && pendingBefore ? m_Exchange : begins;
            show(exchangeName(exchange), kindName(view.outcomes[i].kind));
            if (view.outcomes[i].completed())
                confirmCompletion(exchange, view.consumedAtOutcome[i]);
        }
        m_Pending = pendingBefore + begun - ended == 1;
        if (begun)
            m_Exchange = begins;
        if (!explorer->isOpen())
            check(!m_Pending, "the explorer closed with an exchange still running");

        // No completion text without a completed exchange.
        bool completedNow = false;
        for (std::size_t i = outcomesBefore; i < view.outcomes.size(); ++i)
            completedNow = completedNow || view.outcomes[i].completed();
        bool text = false;
        for (std::size_t i = messagesBefore; i < view.messages.size(); ++i)
            text = text || containsCompletion(view.messages[i]);
        // A listing prints the phone's names, one a line, and a phone may well name a file
        // "Completed": only the explorer's own words count, which a listing has none of.
        const bool listing =
            (pendingBefore && m_Exchange == Exchange::Listing) || begins == Exchange::Listing;
        if (!listing && view.logReplacements == replacementsBefore && view.log.size() >= logBefore)
            text = text || containsCompletion(view.log.substr(logBefore));
        check(!text || completedNow, "a completion text without a completed exchange");

        // No file open outside an exchange. Looking is a system call, dearer than the rest of
        // a step: it is made after a step that began one (which asks where to save) or ended
        // one, or moved the port (see signsShown). A descriptor left open stays seen at the
        // next such step, at the latest at the input's end, where the exact list is compared.
        if (!m_Pending && (begun || !(signsShown() == signsBefore)))
            check(m_Descriptors.unchanged(), "a file is open outside an exchange");
    }

    // What of the explorer's doing could leave a file open: an exchange ended, the save
    // dialog asked, the port opened or closed, the window closed.
    struct Signs {
        std::size_t opens, closes, outcomes, saveRequests;
        bool closed, connected;
        bool operator==(const Signs&) const = default;
    };
    Signs signsShown() const {
        return {link.opens.size(),    static_cast<std::size_t>(link.closes),
                view.outcomes.size(), view.saveRequests.size(),
                view.closed,          link.connected};
    }

    // The phone's last bytes before a completion must be its confirmation.
    void confirmCompletion(Exchange exchange, std::size_t consumed) {
        const auto& fed = link.fed;
        check(consumed >= 1 && consumed <= fed.size(), "a completion with nothing received");
        switch (exchange) {
            case Exchange::Listing:
                check(fed[consumed - 1] == explorer::LIST_END,
                      "a listing completed without the phone's end of list");
                return;
            case Exchange::Status:
                check(consumed > explorer::kStatRecordSize &&
                          fed[consumed - 1 - explorer::kStatRecordSize] == explorer::STAT_OK,
                      "a status completed without the phone's record");
                return;
            case Exchange::NandDump: {
                check(fed[consumed - 1] == explorer::DUMP_END,
                      "a NAND dump completed without the phone's end");
                const auto size = fileContents(view.lastTarget).size();
                check(size == kPages * explorer::kNandPageSize,
                      "a NAND dump completed with " + std::to_string(size) + " bytes in the file");
                return;
            }
            case Exchange::ReadOut: {
                const std::span<const std::uint8_t> saved = fileContents(view.lastTarget);
                const std::uint32_t announced = announcedSize();
                check(saved.size() == announced, "a read-out completed with " +
                                                     std::to_string(saved.size()) + " bytes of " +
                                                     std::to_string(announced));
                if (announced == 0)
                    return;
                // The last block and its sum are the last bytes taken, and the file's tail.
                const std::size_t last = announced % explorer::kFileBlockSize
                                             ? announced % explorer::kFileBlockSize
                                             : explorer::kFileBlockSize;
                check(consumed >= last + 1, "a read-out completed before its last block");
                const auto begin = fed.begin() + static_cast<std::ptrdiff_t>(consumed - last - 1);
                std::uint8_t sum = 0;
                for (auto it = begin; it != begin + static_cast<std::ptrdiff_t>(last); ++it)
                    sum = static_cast<std::uint8_t>(sum + *it);
                check(sum == fed[consumed - 1], "a read-out completed on a block with a bad sum");
                check(std::equal(begin, begin + static_cast<std::ptrdiff_t>(last),
                                 saved.end() - static_cast<std::ptrdiff_t>(last)),
                      "the read-out file does not end with the last block received");
                return;
            }
            case Exchange::None:
                violated("a completion for no exchange");
        }
    }

    // The size in the phone's answer to the last read request.
    std::uint32_t announcedSize() const {
        for (std::size_t i = link.transcript.size(); i > 0; --i) {
            const auto w = link.transcript[i - 1].bytes;
            if (w.size() == 3 && w[0] == explorer::CMD_READ_FILE && i < link.transcript.size()) {
                const Bytes reply = link.reply(i);  // after the name
                check(reply.size() >= 5 && reply[0] == explorer::READ_OK,
                      "a read-out completed without the phone's acceptance");
                return std::uint32_t{reply[1]} << 24 | std::uint32_t{reply[2]} << 16 |
                       std::uint32_t{reply[3]} << 8 | reply[4];
            }
        }
        violated("a read-out completed without a read request");
    }

    RecordingLink link;
    EngineBelow below{link};
    View view{link};
    test::FakeClock clock;
    std::unique_ptr<ExplorerEngine> explorer;
    Descriptors m_Descriptors;
    bool m_Pending = false;
    Exchange m_Exchange = Exchange::None;
    unsigned m_Entries = 0;
    Bytes m_Reply;  // the last honest answer that is not a frame
};

}  // namespace
}  // namespace zrk::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zrk::fuzz::files();
    zrk::fuzz::FuzzInput in(data, size);
    {
        zrk::fuzz::Driver driver;
        driver.run(in);
    }
    zrk::fuzz::trail().clear();  // nothing an input made outlives it (see runEngine)
    return 0;
}
