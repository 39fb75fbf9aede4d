#include "fuzz/EngineDriver.h"

#include <algorithm>
#include <functional>
#include <set>

#include "bringup/BringUpStates.h"
#include "engine/Checksums.h"
#include "filesystem/FileSystemStates.h"
#include "fuzz/FuzzCheck.h"
#include "fuzz/FuzzFiles.h"
#include "fuzz/FuzzInput.h"
#include "fuzz/OpenDescriptors.h"
#include "fuzz/RecordingLink.h"
#include "loader/LoaderStates.h"
#include "protocol/ProtocolEngine.h"
#include "support/FakeClock.h"
#include "support/RecordingView.h"
#include "support/TempDir.h"

namespace zrk::fuzz {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Enough for every deep state; more would only make each input slower.
constexpr int kMaxActions = 2000;

const std::set<std::int32_t> kBringUpStates = {INITIAL,
                                               IDLE,
                                               bringup::WAIT_CONNECT_REQUEST,
                                               bringup::WAIT_CONNECT_GRANT,
                                               bringup::READ_CHALLENGE,
                                               bringup::WAIT_ID_ACK,
                                               bringup::WAIT_TIMEOUT_ACK,
                                               bringup::WAIT_LOAD_ADDRESS_ACK,
                                               bringup::WAIT_WORD_ACK,
                                               bringup::WAIT_LAST_WORD_ACK,
                                               bringup::WAIT_START_ADDRESS_ACK,
                                               bringup::WAIT_PRELOADER_READY,
                                               bringup::WAIT_SPEED_ECHO,
                                               bringup::WAIT_SIZE_SUM,
                                               bringup::WAIT_DMA_ACK,
                                               bringup::WAIT_CHUNK_SUM,
                                               bringup::WAIT_LAST_CHUNK_SUM,
                                               bringup::WAIT_LOADER_READY,
                                               bringup::WAIT_BASE_SUM,
                                               bringup::READ_FLASH_ID};

const std::set<std::int32_t> kLoaderStates = {IDLE,
                                              WAIT_START_REPLY,
                                              loader::WAIT_IMAGE_CRC_SUM,
                                              loader::WAIT_OFFSET_SUM,
                                              loader::WAIT_LENGTH_SUM,
                                              loader::WAIT_BLOCK_ACK,
                                              loader::WAIT_SECTOR_SUM,
                                              loader::WAIT_ERASE,
                                              loader::WAIT_DUMP_BLOCK,
                                              fs::WAIT_MOUNT_ECHO,
                                              fs::WAIT_NAND_CRC_SUM,
                                              fs::WAIT_TIME_SUM,
                                              fs::WAIT_DIR_SUM,
                                              fs::WAIT_DIR_DONE,
                                              fs::WAIT_VERSION,
                                              fs::WAIT_RELEASE_VERSION,
                                              fs::WAIT_HEADER_SUM,
                                              fs::WAIT_BLOCK_SUM,
                                              fs::WAIT_LAST_BLOCK_SUM,
                                              fs::WAIT_FILE_DONE,
                                              fs::WAIT_UNMOUNT_ECHO,
                                              fs::WAIT_FORMAT,
                                              fs::WAIT_FS_STATUS,
                                              fs::READ_FS_STATUS_RECORD,
                                              fs::READ_FORMAT_ERROR,
                                              fs::READ_INIT_ERROR};

const Bytes kFlashId = {0x00, 0xEC, 0x22, 0xFC, 0x12, 0x34, 0x56, 0x78};
const Bytes kChallenge = {0x10, 0xF1, 0x22, 0xE3, 0x34, 0xD5, 0x46, 0xC7,
                          0x58, 0xB9, 0x6A, 0xAB, 0x7C, 0x9D, 0x8E, 0x0F};

const char* const kStartAddresses[] = {"10000000", "10010000", "11FF0000", "0x11FFE000",
                                       "1001",     "zz",       "",         "13000000"};

bool isOne(const Bytes& write, std::uint8_t command) {
    return write.size() == 1 && write[0] == command;
}

bool isProgramCommand(const Bytes& write) {
    return write.size() == 5 &&
           (write[0] == loader::CMD_PROGRAM_64K || write[0] == loader::CMD_PROGRAM_16K ||
            write[0] == loader::CMD_PROGRAM_SMALL);
}

// Operations whose completion the engine announces in a message box.
bool showsCompletion(Operation operation) {
    return operation != Operation::BringUp && operation != Operation::Status;
}

std::string hex(const Bytes& bytes, std::size_t max = 12) {
    std::string out;
    char buffer[4];
    for (std::size_t i = 0; i < bytes.size() && i < max; ++i) {
        std::snprintf(buffer, sizeof buffer, " %02X", bytes[i]);
        out += buffer;
    }
    if (bytes.size() > max)
        out += " ... (" + std::to_string(bytes.size()) + " bytes)";
    return out;
}

class Driver {
  public:
    explicit Driver(const EngineScenario& scenario) : m_Scenario(scenario) {
        FuzzFiles& f = files();
        UserChoices& c = view.userChoices;
        c.portIndex = 0;
        c.speedIndex = 2;
        c.downloadMode = scenario.mode;
        c.binPath = f.images[0];
        c.qixPath = f.qix;
        c.cfgPath = f.cfg;
        c.codePage = "UTF-8";
        view.saveFileAnswer = f.dumpPath;
        view.sectorsToSelect = {511};
        trail().clear();
    }

    void run(FuzzInput& in) {
        // Taken before anything runs: every descriptor beyond these belongs to an exchange.
        m_Descriptors = openDescriptors();
        if (m_Scenario.bringUpFirst) {
            // The same faultless bring-up for every input: run without the checks, which the
            // bring-up harness makes.
            engine.start();
            for (int i = 0; i < 4000 && !engine.context().loaderReady(); ++i) {
                if (view.timerRunning) {
                    view.timerRunning = false;
                    engine.onBaudTimer();
                    continue;
                }
                const Bytes reply = honestReply();
                if (reply.empty())
                    break;
                deliver(reply);
            }
            check(engine.context().loaderReady() == 1, "a faultless bring-up did not finish");
            m_OperationFrom = link.transcript.size();
        }
        for (int n = 0; n < kMaxActions && !in.empty(); ++n)
            act(in);
        // Closing the window: whatever runs ends, with its one outcome, and nothing stays open.
        step("Stop at the end", true, [&] { engine.stop(); });
        check(!engine.context().tracking(), "an operation is still tracked after Stop");
        check(!link.connected, "the port is open after Stop");
    }

  private:
    bool offered(std::uint8_t op) const {
        return m_Scenario.buttons.find(static_cast<char>(op)) != std::string::npos;
    }

    void act(FuzzInput& in) {
        const std::uint8_t op = in.byte();
        if (op == 'H' || op == 'h') {
            const int count = op == 'H' ? 1 : in.byte() + 1;
            for (int i = 0; i < count && honestOnce(); ++i) {
            }
            return;
        }
        if (!offered(op)) {
            const Bytes bytes = in.bytes((op & 31u) + 1);
            if (op & 0x20) {
                // In one notification. The engine then takes the bytes in blocks, and which of
                // them a request mid-way answers no longer shows: the replies are not judged.
                m_Imprecise = true;
                step("phone, one burst:" + hex(bytes), false, [&] { deliver(bytes); });
                return;
            }
            for (const auto b : bytes)
                step("phone:" + hex({b}), false, [&] { deliver({b}); });
            return;
        }
        switch (op) {
            case 'S':
                step("START", true, [&] { engine.start(); });
                return;
            case 'P':
                step("Stop", true, [&] { engine.stop(); });
                return;
            case 'D':
                step("DOWNLOAD", true, [&] { engine.download(); });
                return;
            case 'E':
            case 'U': {
                const std::uint8_t a = in.byte();
                const std::uint8_t b = in.byte();
                // Mostly the small sectors at the top, whose dumps are one block each.
                const auto pick = [](std::uint8_t x) {
                    return x & 0x80 ? 511 + x % 8 : x % SectorMap::kSectorCount;
                };
                // A press the engine ignores (an operation runs) asks for no sectors, so the
                // selection the running one is judged by stays the one it was given.
                const PhaseContext& c = engine.context();
                if (c.loaderReady() && c.state() == IDLE) {
                    view.sectorsToSelect = {pick(a), pick(b)};
                    view.acceptSectors = (a & 0x40) == 0 || (b & 0x40) == 0;
                }
                const std::string name = std::string(op == 'E' ? "Erase" : "Dump") + " " +
                                         std::to_string(pick(a)) + "," + std::to_string(pick(b));
                step(name, true, [&] { op == 'E' ? engine.erase() : engine.dump(); });
                return;
            }
            case 'F':
                view.yesNoAnswer = in.byte() & 1;
                step("Format", true, [&] { engine.format(); });
                return;
            case 'T':
                step("Status", true, [&] { engine.status(); });
                return;
            case 'B': {
                const bool fail = in.byte() & 1;
                if (!view.timerRunning)
                    return;  // a stopped timer does not fire
                step(fail ? "baud timer, reopen fails" : "baud timer", false, [&] {
                    link.failOpens = fail ? 1 : 0;
                    view.timerRunning = false;
                    engine.onBaudTimer();
                    link.failOpens = 0;
                });
                return;
            }
            case 'L':
                if (!link.connected)
                    return;  // the watcher runs only while the port is open
                step("link lost", false, [&] { link.deliverLinkLost(link.session(), "gone"); });
                return;
            case 'C': {
                const std::uint8_t x = in.byte();
                const std::uint8_t y = in.byte();
                if (controlsLocked())
                    return;  // the window's fields are locked while an operation runs
                UserChoices& c = view.userChoices;
                c.autoDownload = x & 1;
                c.powerOnAfterDownload = x & 2;
                c.useStartNorAddress = x & 4;
                c.startAddressText = kStartAddresses[(x >> 3) & 7];
                c.binPath = files().images[(x >> 6) & 3];
                if (m_Scenario.mode != DownloadMode::ModeBin)
                    c.downloadMode = y & 1 ? DownloadMode::ModeBinAndQix : DownloadMode::ModeQix;
                c.speedIndex = (y >> 1) % 5 == 4 ? -1 : (y >> 1) % 5;
                trail().add("choices " + std::to_string(x) + "," + std::to_string(y));
                return;
            }
            case 'Q': {
                const std::uint8_t x = in.byte();
                if (controlsLocked())
                    return;
                UserChoices& c = view.userChoices;
                c.cfgPath = x & 1 ? files().badCfg : files().cfg;
                c.qixPath = x & 2 ? files().images[0] : files().qix;
                c.codePage = x & 4 ? (x & 8 ? "NO-SUCH-CODEPAGE" : "CP1252") : "UTF-8";
                trail().add("qix files " + std::to_string(x));
                return;
            }
            default:
                return;
        }
    }

    void deliver(const Bytes& bytes) {
        link.feed(bytes);
        engine.onDataReceived();
    }

    // The engine locks the window's controls for an operation; finishing or Stop frees them.
    bool controlsLocked() const {
        for (auto it = view.events.rbegin(); it != view.events.rend(); ++it) {
            if (*it == "lock")
                return true;
            if (*it == "finish" || *it == "stopped")
                return false;
        }
        return false;
    }

    // What a phone without a fault says in the engine's state; empty when it says nothing.
    Bytes honestReply() {
        const PhaseContext& c = engine.context();
        const std::int32_t state = c.state();
        if (!c.loaderReady()) {
            using namespace bringup;
            switch (state) {
                case WAIT_CONNECT_REQUEST:
                    return {0x81};
                case WAIT_CONNECT_GRANT:
                    return {0x44};
                case READ_CHALLENGE:
                    return kChallenge;
                case WAIT_ID_ACK:
                case WAIT_TIMEOUT_ACK:
                case WAIT_LOAD_ADDRESS_ACK:
                case WAIT_WORD_ACK:
                case WAIT_LAST_WORD_ACK:
                case WAIT_START_ADDRESS_ACK:
                    return {0x4F};
                case WAIT_PRELOADER_READY:
                case WAIT_LOADER_READY:
                    return {0xAB};
                case WAIT_SPEED_ECHO:
                    if (!link.connected)
                        return {};
                    return {static_cast<std::uint8_t>(view.userChoices.speedIndex)};
                case WAIT_SIZE_SUM:
                case WAIT_CHUNK_SUM:
                case WAIT_LAST_CHUNK_SUM:
                case WAIT_BASE_SUM:
                    return {c.expectedReply};
                case WAIT_DMA_ACK:
                    return {0xF7};
                case READ_FLASH_ID:
                    return kFlashId;
                default:
                    return {};
            }
        }
        switch (state) {
            case WAIT_START_REPLY:
                return {0x00};
            case loader::WAIT_BLOCK_ACK:
                return {0xA5};
            case loader::WAIT_DUMP_BLOCK: {
                Bytes block(loader::kDumpBlockSize);
                for (std::size_t i = 0; i < block.size(); ++i)
                    block[i] = static_cast<std::uint8_t>(i * 7 + m_Blocks);
                ++m_Blocks;
                block.push_back(sum8(block));
                return block;
            }
            case loader::WAIT_IMAGE_CRC_SUM:
            case loader::WAIT_OFFSET_SUM:
            case loader::WAIT_LENGTH_SUM:
            case loader::WAIT_SECTOR_SUM:
            case loader::WAIT_ERASE:
            case fs::WAIT_NAND_CRC_SUM:
            case fs::WAIT_TIME_SUM:
            case fs::WAIT_DIR_SUM:
            case fs::WAIT_HEADER_SUM:
            case fs::WAIT_BLOCK_SUM:
            case fs::WAIT_LAST_BLOCK_SUM:
                return {c.expectedReply};
            case fs::WAIT_MOUNT_ECHO:
                return {fs::CMD_MOUNT};
            case fs::WAIT_DIR_DONE:
                return {fs::DIR_DONE};
            case fs::WAIT_VERSION:
            case fs::WAIT_RELEASE_VERSION:
                return {fs::VERSION_OK};
            case fs::WAIT_FILE_DONE:
                return {fs::FILE_DONE};
            case fs::WAIT_UNMOUNT_ECHO:
                return {fs::CMD_UNMOUNT};
            case fs::WAIT_FORMAT:
                return {fs::FORMAT_OK};
            case fs::WAIT_FS_STATUS: {
                Bytes reply{fs::FS_STATUS_OK};
                for (std::size_t i = 0; i < fs::kStatusRecordSize; ++i)
                    reply.push_back(static_cast<std::uint8_t>(i));
                return reply;
            }
            case fs::READ_FS_STATUS_RECORD:
            case fs::READ_FORMAT_ERROR:
            case fs::READ_INIT_ERROR:
                return {0x00};
            default:
                return {};
        }
    }

    // One honest answer, or the baud timer when the switch waits for it; false when the
    // engine waits for nothing.
    bool honestOnce() {
        if (view.timerRunning) {
            step("baud timer", false, [&] {
                view.timerRunning = false;
                engine.onBaudTimer();
            });
            return true;
        }
        const Bytes reply = honestReply();
        if (reply.empty())
            return false;
        step("honest phone:" + hex(reply), false, [&] { deliver(reply); });
        return true;
    }

    // ---- The invariants ----------------------------------------------------------------------

    struct Mark {
        bool tracking;
        std::size_t outcomes;
        std::size_t messages;
        std::size_t writes;
    };

    void step(const std::string& name, bool button, const std::function<void()>& action) {
        trail().add(name);
        const Mark mark{engine.context().tracking(), view.outcomes.size(), view.messages.size(),
                        link.transcript.size()};
        action();
        afterStep(mark, button);
    }

    void afterStep(const Mark& mark, bool button) {
        const PhaseContext& c = engine.context();
        const std::int32_t state = c.state();
        if (c.loaderReady()) {
            check(kLoaderStates.count(state) == 1,
                  "impossible state " + std::to_string(state) + " with the loader ready");
            check(link.connected, "the loader is ready on a closed port");
        } else {
            check(kBringUpStates.count(state) == 1,
                  "impossible bring-up state " + std::to_string(state));
            if (state != INITIAL && state != IDLE)
                check(link.connected || engine.baudTimerRunning(),
                      "waiting for the phone in state " + std::to_string(state) +
                          " with neither a port nor the timer that reopens it");
        }
        check(view.timerRunning == engine.baudTimerRunning(),
              "the window's timer and the engine disagree on the baud timer");
        const bool waitingForBlock = c.loaderReady() && state == loader::WAIT_DUMP_BLOCK;
        check(link.blockMode == waitingForBlock,
              "block mode outside a dump block wait, or a dump block wait without it");

        // Exactly one outcome per operation.
        const std::size_t outcomes = view.outcomes.size() - mark.outcomes;
        const std::size_t begun = button ? 1 : (view.userChoices.autoDownload ? 1 : 0);
        check(outcomes <= (mark.tracking ? 1u : 0u) + begun,
              std::to_string(outcomes) + " outcomes in one step");
        if (mark.tracking && !c.tracking())
            check(outcomes >= 1, "an operation ended without an outcome");

        std::size_t completedWithText = 0;
        for (std::size_t i = mark.outcomes; i < view.outcomes.size(); ++i) {
            const OperationOutcome& outcome = view.outcomes[i];
            show(operationName(outcome.operation), kindName(outcome.kind));
            const std::size_t from =
                i == mark.outcomes && mark.tracking ? m_OperationFrom : mark.writes;
            if (outcome.kind == OutcomeKind::Abandoned)
                m_AbandonedFilesMayStay = true;
            if (outcome.completed()) {
                confirmCompletion(outcome, from);
                if (showsCompletion(outcome.operation))
                    ++completedWithText;
            }
        }
        if (c.tracking() && (!mark.tracking || outcomes > 0))
            m_OperationFrom = mark.writes;

        // No completion text without a completed operation, and none missing.
        std::size_t texts = 0;
        for (std::size_t i = mark.messages; i < view.messages.size(); ++i)
            if (view.messages[i].find("ompleted") != std::string::npos)
                ++texts;
        check(texts == completedWithText, std::to_string(texts) + " completion messages for " +
                                              std::to_string(completedWithText) +
                                              " completed operations");

        // No file open outside an operation (an abandoned one keeps its files until Stop).
        if (!link.connected && !engine.baudTimerRunning())
            m_AbandonedFilesMayStay = false;
        if (!c.tracking() && !m_AbandonedFilesMayStay) {
            check(!c.firmwareImage.isOpen() && !c.dumpFile.isOpen() && !c.qixImage.isOpen(),
                  "a file is open outside an operation");
            check(openDescriptors() == m_Descriptors,
                  "a file descriptor is open outside an operation");
        }
    }

    // ---- A completed operation must have been confirmed by the phone ---------------------

    void confirmCompletion(const OperationOutcome& outcome, std::size_t from) {
        if (m_Imprecise)
            return;
        const std::string what = std::string(operationName(outcome.operation)) + " completed";
        switch (outcome.operation) {
            case Operation::BringUp:
                confirmBringUp(from, what);
                return;
            case Operation::Firmware:
                confirmFirmware(from, what);
                return;
            case Operation::FirmwareAndFileSystem:
                confirmFirmware(from, what);
                confirmFileSystem(from, what);
                return;
            case Operation::FileSystem:
                confirmFileSystem(from, what);
                return;
            case Operation::Erase:
                confirmErase(from, what);
                return;
            case Operation::Dump:
                confirmDump(from, outcome, what);
                return;
            case Operation::Format:
                confirmFormat(from, what);
                return;
            case Operation::Status:
                confirmStatus(from, what);
                return;
            case Operation::Explorer:
                violated("an explorer outcome from the main engine");
        }
    }

    const std::vector<RecordingLink::Write>& writes() const { return link.transcript; }

    // The last write at or after from that is this one-byte command.
    std::optional<std::size_t> lastOne(std::size_t from, std::uint8_t command) const {
        for (std::size_t i = writes().size(); i > from; --i)
            if (isOne(writes()[i - 1].bytes, command))
                return i - 1;
        return std::nullopt;
    }
    std::optional<std::size_t> firstOne(std::size_t from, std::uint8_t command) const {
        for (std::size_t i = from; i < writes().size(); ++i)
            if (isOne(writes()[i].bytes, command))
                return i;
        return std::nullopt;
    }

    void confirmBringUp(std::size_t from, const std::string& what) {
        const auto id = lastOne(from, bringup::CMD_READ_FLASH_ID);
        check(id.has_value(), what + " without a flash identification request");
        const Bytes reply = link.reply(*id);
        check(
            reply.size() >= 8 && std::equal(kFlashId.begin(), kFlashId.begin() + 4, reply.begin()),
            what + " without the supported flash's identification:" + hex(reply));
    }

    // A command byte, its 4-byte argument in the next write, and the argument's sum as the first
    // byte of the reply.
    std::size_t confirmArgument(std::size_t from, std::uint8_t command, const Bytes& expected,
                                const std::string& what) {
        const auto at = firstOne(from, command);
        check(at && *at + 1 < writes().size(), what + ": command missing");
        const Bytes& argument = writes()[*at + 1].bytes;
        if (!expected.empty())
            check(argument == expected, what + ": wrong argument" + hex(argument));
        const Bytes reply = link.reply(*at + 1);
        check(!reply.empty() && reply[0] == sum8(argument),
              what + " without the argument's sum:" + hex(reply));
        return *at + 2;
    }

    void confirmFirmware(std::size_t from, const std::string& what) {
        const Bytes image = test::TempDir::read(view.userChoices.binPath);
        const auto crc = bigEndian32(crc32(image.data(), image.size()));
        std::size_t at = confirmArgument(from, loader::CMD_IMAGE_CRC, Bytes(crc.begin(), crc.end()),
                                         what + " (image CRC)");
        at = confirmArgument(at, loader::CMD_WRITE_OFFSET, {}, what + " (offset)");
        const auto length = bigEndian32(static_cast<std::uint32_t>(image.size()));
        at = confirmArgument(at, loader::CMD_IMAGE_LENGTH, Bytes(length.begin(), length.end()),
                             what + " (length)");
        Bytes sent;
        while (at < writes().size() && isProgramCommand(writes()[at].bytes)) {
            Bytes sector;
            std::size_t last = at;
            for (++at;
                 at < writes().size() && !isProgramCommand(writes()[at].bytes) &&
                 !isOne(writes()[at].bytes, CMD_START) && !isOne(writes()[at].bytes, CMD_POWER_ON);
                 ++at) {
                sector.insert(sector.end(), writes()[at].bytes.begin(), writes()[at].bytes.end());
                last = at;
            }
            check(!sector.empty(), what + ": a sector without data");
            // After the sector's last block: its acknowledgement, then the sector's sum.
            const Bytes reply = link.reply(last);
            check(reply.size() >= 2 && reply[1] == sum8(sector),
                  what + " without the sector's sum:" + hex(reply));
            sent.insert(sent.end(), sector.begin(), sector.end());
        }
        check(sent == image, what + ": " + std::to_string(sent.size()) + " bytes sent of " +
                                 std::to_string(image.size()));
    }

    void confirmFileSystem(std::size_t from, const std::string& what) {
        const auto unmount = lastOne(from, fs::CMD_UNMOUNT);
        check(unmount.has_value(), what + " without an unmount");
        const Bytes reply = link.reply(*unmount);
        check(!reply.empty() && reply[0] == fs::CMD_UNMOUNT,
              what + " without the unmount's echo:" + hex(reply));
        // Every block, a letter run, confirmed by its sum; together the whole image.
        std::string sent;
        for (std::size_t i = from; i + 1 < writes().size(); ++i) {
            if (!isOne(writes()[i].bytes, fs::CMD_FILE_BLOCK))
                continue;
            const Bytes& block = writes()[i + 1].bytes;
            if (block.empty() || block[0] < 'a' || block[0] > 'z')
                continue;  // an empty block: the next write is the next command
            const Bytes blockReply = link.reply(i + 1);
            check(!blockReply.empty() && blockReply[0] == sum8(block),
                  what + " without a block's sum:" + hex(blockReply));
            sent.append(block.begin(), block.end());
        }
        check(sent == files().qixContent, what + ": " + std::to_string(sent.size()) +
                                              " image bytes sent of " +
                                              std::to_string(files().qixContent.size()));
    }

    void confirmErase(std::size_t from, const std::string& what) {
        std::set<std::uint32_t> erased;
        for (std::size_t i = from; i < writes().size(); ++i) {
            const Bytes& w = writes()[i].bytes;
            if (w.size() != 5 || w[0] != loader::CMD_ERASE_SECTOR)
                continue;
            const Bytes reply = link.reply(i);
            check(!reply.empty() && reply[0] == sum8(w.data() + 1, 4),
                  what + " without an erase's sum:" + hex(reply));
            erased.insert(static_cast<std::uint32_t>(w[1]) << 24 | w[2] << 16 | w[3] << 8 | w[4]);
        }
        const std::set<int> chosen(view.sectorsToSelect.begin(), view.sectorsToSelect.end());
        check(erased.size() == chosen.size(), what + ": " + std::to_string(erased.size()) +
                                                  " sectors erased of " +
                                                  std::to_string(chosen.size()));
    }

    void confirmDump(std::size_t from, const OperationOutcome& outcome, const std::string& what) {
        Bytes expected;
        for (std::size_t i = from; i < writes().size(); ++i) {
            const Bytes& w = writes()[i].bytes;
            if (w.size() != 5 || w[0] != loader::CMD_DUMP_BLOCK)
                continue;
            // The block is what the engine took last before its next request.
            const Bytes reply = link.reply(i);
            check(reply.size() >= loader::kDumpFrameSize, what + ": a block short of its frame");
            const auto frame = reply.end() - static_cast<std::ptrdiff_t>(loader::kDumpFrameSize);
            const Bytes block(frame, frame + loader::kDumpBlockSize);
            check(sum8(block) == *(frame + loader::kDumpBlockSize),
                  what + " with a block whose sum is wrong");
            expected.insert(expected.end(), block.begin(), block.end());
        }
        check(outcome.bytes == expected.size(), what + ": the outcome counts other bytes");
        check(test::TempDir::read(view.saveFileAnswer) == expected,
              what + ": the file does not hold the blocks received");
    }

    void confirmFormat(std::size_t from, const std::string& what) {
        const auto at = lastOne(from, fs::CMD_FORMAT);
        check(at.has_value(), what + " without a format command");
        const Bytes reply = link.reply(*at);
        const auto ok = std::find(reply.begin(), reply.end(), fs::FORMAT_OK);
        check(ok != reply.end() && std::find(reply.begin(), ok, fs::FORMAT_FAILED) == ok,
              what + " without the phone's success:" + hex(reply));
    }

    void confirmStatus(std::size_t from, const std::string& what) {
        const auto at = lastOne(from, fs::CMD_FS_STATUS);
        check(at.has_value(), what + " without a status command");
        const Bytes reply = link.reply(*at);
        const auto ok = std::find_if(reply.begin(), reply.end(), [](std::uint8_t b) {
            return b == fs::FS_STATUS_OK || b == fs::FS_STATUS_OK_TOO || b == fs::FS_INIT_FAILED;
        });
        check(ok != reply.end() && *ok != fs::FS_INIT_FAILED &&
                  reply.end() - ok > static_cast<std::ptrdiff_t>(fs::kStatusRecordSize),
              what + " without the status record:" + hex(reply));
    }

    EngineScenario m_Scenario;
    RecordingLink link;
    test::RecordingView view;
    test::FakeClock clock;
    ProtocolEngine engine{link, view, clock};
    int m_Descriptors = 0;
    std::size_t m_OperationFrom = 0;
    bool m_AbandonedFilesMayStay = false;
    bool m_Imprecise = false;
    unsigned m_Blocks = 0;
};

}  // namespace

void runEngine(const std::uint8_t* data, std::size_t size, const EngineScenario& scenario) {
    files();  // made before the first descriptor count
    FuzzInput in(data, size);
    Driver driver(scenario);
    driver.run(in);
}

}  // namespace zrk::fuzz
