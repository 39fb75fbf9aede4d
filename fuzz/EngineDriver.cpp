#include "fuzz/EngineDriver.h"

#include <algorithm>
#include <span>

#include "fuzz/CompletionChecks.h"
#include "fuzz/CoverageReset.h"
#include "fuzz/EngineInvariants.h"
#include "fuzz/EngineRig.h"
#include "fuzz/FuzzCheck.h"
#include "fuzz/FuzzFiles.h"
#include "fuzz/FuzzInput.h"
#include "fuzz/HonestPhone.h"
#include "support/EngineProbe.h"

namespace zrk::fuzz {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Enough for every deep exchange, an 'h' answering hundreds of requests in one. The inputs that
// ran to thousands were mostly line noise, a step and its checks for every byte, and took most
// of the time.
constexpr int kMaxActions = 300;
// And so many operations ended, and as many completed as the scenario allows: the faults found so
// far lay within three operations (a dump, then DOWNLOAD twice, the dump unfinished), while the
// inputs that ran twenty complete downloads, each sending a whole image, were a tenth of the corpus
// and most of its time, and reached nothing the first few had not.
constexpr std::size_t kMaxOperations = 6;

const char* const kStartAddresses[] = {"10000000", "10010000", "11FF0000", "0x11FFE000",
                                       "1001",     "zz",       "",         "13000000"};

// Reads the input as actions (see EngineDriver.h) and runs each against the engine, with the
// invariants checked after every one.
class Driver {
  public:
    explicit Driver(const EngineScenario& scenario) : m_Scenario(scenario) {
        FuzzFiles& f = files();
        UserChoices& c = m_Rig.view.userChoices;
        c.portIndex = 0;
        c.speedIndex = 2;
        c.downloadMode = scenario.mode;
        c.binPath = f.images[0];
        c.qixPath = f.qix;
        c.cfgPath = f.cfg;
        c.codePage = "UTF-8";
        m_Rig.view.saveFileAnswer = f.dumpPath;
        m_Rig.view.sectorsToSelect = {511};
        if (scenario.bringUpFirst)
            EngineProbe::bringUp(m_Rig.engine).setTargetData(shortTargetData());
        trail().clear();
    }

    void run(FuzzInput& in) {
        // Taken before anything runs: every descriptor beyond these belongs to an exchange.
        m_Invariants.takeDescriptors();
        if (m_Scenario.bringUpFirst)
            bringUpWithoutChecks();
        const std::size_t outcomesBefore = m_Rig.view.outcomes.size();
        for (int n = 0; n < kMaxActions && !in.empty() && roomForOperations(outcomesBefore); ++n)
            act(in);
        // Closing the window: whatever runs ends, with its one outcome, and nothing stays open.
        step(trail().add("Stop at the end"), true, [&] { m_Rig.engine.stop(); });
        check(!EngineProbe::context(m_Rig.engine).tracking(),
              "an operation is still tracked after Stop");
        check(!m_Rig.link.connected, "the port is open after Stop");
        m_Invariants.checkDescriptorsAtEnd();
    }

  private:
    // The same faultless bring-up for every input, run without the checks, which the bring-up
    // harness makes. The engine writes the same for every input, so the phone's answers are
    // worked out by the first input and replayed to the others while the writes stay alike:
    // summing a whole boot-loader again for every input would halve the harness's speed.
    void bringUpWithoutChecks() {
        struct Answer {
            std::size_t writes;  // the transcript's length when it was given
            Bytes reply;
        };
        static std::vector<Answer> known;
        ProtocolEngine& engine = m_Rig.engine;
        engine.start(request());
        std::size_t answers = 0;
        for (int i = 0; i < 4000 && engine.stage() != Stage::Ready; ++i) {
            if (m_Rig.view.timerRunning) {
                m_Rig.view.timerRunning = false;
                engine.onBaudTimer();
                continue;
            }
            const std::size_t writes = m_Rig.link.transcript.size();
            if (answers >= known.size() || known[answers].writes != writes) {
                known.resize(answers);
                known.push_back({writes, m_Phone.reply()});
            }
            const Bytes& reply = known[answers++].reply;
            if (reply.empty())
                break;
            deliver(reply);
        }
        check(engine.stage() == Stage::Ready, "a faultless bring-up did not finish");
        m_Invariants.operationsFromHere();
        forgetCoverageSoFar();
    }

    bool roomForOperations(std::size_t outcomesBefore) const {
        const auto& outcomes = m_Rig.view.outcomes;
        if (outcomes.size() - outcomesBefore >= kMaxOperations)
            return false;
        const auto completed =
            std::count_if(outcomes.begin() + static_cast<std::ptrdiff_t>(outcomesBefore),
                          outcomes.end(), [](const OperationOutcome& o) { return o.completed(); });
        return static_cast<std::size_t>(completed) < m_Scenario.maxCompleted;
    }

    // What the window's fields hold, handed to the press as the command line hands its request:
    // fetched back through the view, it was copied whole for every press.
    const UserChoices& request() const { return m_Rig.view.userChoices; }

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
            phoneBytes(op, in.take((op & 31u) + 1));
            return;
        }
        press(op, in);
    }

    void phoneBytes(std::uint8_t op, std::span<const std::uint8_t> bytes) {
        if (op & 0x20) {
            // In one notification. The engine then takes the bytes in blocks, and which of
            // them a request mid-way answers no longer shows: the replies are not judged.
            m_Invariants.repliesUnmatched();
            step(trail().add("phone, one burst:").hex(bytes.data(), bytes.size()), false,
                 [&] { deliver(bytes); });
            return;
        }
        for (const auto b : bytes)
            step(
                trail().add("phone:").hex(&b, 1), false,
                [&] {
                    deliver({&b, 1});
                },
                b);
    }

    void press(std::uint8_t op, FuzzInput& in) {
        ProtocolEngine& engine = m_Rig.engine;
        test::RecordingView& view = m_Rig.view;
        switch (op) {
            case 'S':
                step(trail().add("START"), true, [&] { engine.start(request()); });
                return;
            case 'P':
                step(trail().add("Stop"), true, [&] { engine.stop(); });
                return;
            case 'D':
                step(trail().add("DOWNLOAD"), true, [&] { engine.download(request()); });
                return;
            case 'E':
            case 'U':
                pressSectors(op, in.byte(), in.byte());
                return;
            case 'F':
                view.yesNoAnswer = in.byte() & 1;
                step(trail().add("Format"), true, [&] { engine.format(request()); });
                return;
            case 'T':
                step(trail().add("Status"), true, [&] { engine.status(request()); });
                return;
            case 'B': {
                const bool fail = in.byte() & 1;
                if (!view.timerRunning)
                    return;  // a stopped timer does not fire
                step(trail().add(fail ? "baud timer, reopen fails" : "baud timer"), false, [&] {
                    m_Rig.link.failOpens = fail ? 1 : 0;
                    view.timerRunning = false;
                    engine.onBaudTimer();
                    m_Rig.link.failOpens = 0;
                });
                return;
            }
            case 'L':
                if (!m_Rig.link.connected)
                    return;  // the watcher runs only while the port is open
                step(trail().add("link lost"), false,
                     [&] { m_Rig.link.deliverLinkLost(m_Rig.link.session(), "gone"); });
                return;
            case 'C':
                choose(in.byte(), in.byte());
                return;
            case 'Q':
                chooseFileSystem(in.byte());
                return;
            default:
                return;
        }
    }

    void pressSectors(std::uint8_t op, std::uint8_t a, std::uint8_t b) {
        // Mostly the small sectors at the top, whose dumps are one block each.
        const auto pick = [](std::uint8_t x) {
            return x & 0x80 ? 511 + x % 8 : x % SectorMap::kSectorCount;
        };
        // A press the engine ignores (an operation runs) asks for no sectors, so the selection
        // the running one is judged by stays the one it was given.
        if (m_Rig.engine.stage() == Stage::Ready) {
            m_Rig.view.sectorsToSelect = {pick(a), pick(b)};
            m_Rig.view.acceptSectors = (a & 0x40) == 0 || (b & 0x40) == 0;
        }
        step(trail().add(op == 'E' ? "Erase " : "Dump ").number(pick(a)).text(",").number(pick(b)),
             true,
             [&] { op == 'E' ? m_Rig.engine.erase(request()) : m_Rig.engine.dump(request()); });
    }

    void choose(std::uint8_t x, std::uint8_t y) {
        if (controlsLocked())
            return;  // the window's fields are locked while an operation runs
        UserChoices& c = m_Rig.view.userChoices;
        c.autoDownload = x & 1;
        c.powerOnAfterDownload = x & 2;
        c.useStartNorAddress = x & 4;
        c.startAddressText = kStartAddresses[(x >> 3) & 7];
        c.binPath = files().images[(x >> 6) & 3];
        if (m_Scenario.mode != DownloadMode::ModeBin)
            c.downloadMode = y & 1 ? DownloadMode::ModeBinAndQix : DownloadMode::ModeQix;
        c.speedIndex = (y >> 1) % 5 == 4 ? -1 : (y >> 1) % 5;
        trail().add("choices ").number(x).text(",").number(y);
    }

    void chooseFileSystem(std::uint8_t x) {
        if (controlsLocked())
            return;
        UserChoices& c = m_Rig.view.userChoices;
        c.cfgPath = x & 1 ? files().badCfg : files().cfg;
        c.qixPath = x & 2 ? files().images[0] : files().qix;
        c.codePage = x & 4 ? (x & 8 ? "NO-SUCH-CODEPAGE" : "CP1252") : "UTF-8";
        trail().add("qix files ").number(x);
    }

    void deliver(std::span<const std::uint8_t> bytes) {
        m_Rig.link.feed(bytes);
        m_Rig.engine.onDataReceived();
    }

    // The engine locks the window's controls for an operation; finishing or Stop frees them.
    bool controlsLocked() const {
        const auto& events = m_Rig.view.events;
        for (auto it = events.rbegin(); it != events.rend(); ++it) {
            if (*it == "lock")
                return true;
            if (*it == "finish" || *it == "stopped")
                return false;
        }
        return false;
    }

    // One honest answer, or the baud timer when the switch waits for it; false when the
    // engine waits for nothing.
    bool honestOnce() {
        if (m_Rig.view.timerRunning) {
            step(trail().add("baud timer"), false, [&] {
                m_Rig.view.timerRunning = false;
                m_Rig.engine.onBaudTimer();
            });
            return true;
        }
        const Bytes reply = m_Phone.reply();
        if (reply.empty())
            return false;
        step(trail().add("honest phone:").hex(reply.data(), reply.size()), false,
             [&] { deliver(reply); });
        return true;
    }

    // The action was noted in the trail (the line) before it runs.
    template <typename Action>
    void step(const Trail::Line&, bool button, Action&& action,
              std::optional<std::uint8_t> phoneByte = std::nullopt) {
        const EngineInvariants::Mark mark = m_Invariants.mark();
        action();
        m_Invariants.afterStep(mark, button, phoneByte);
    }

    EngineScenario m_Scenario;
    RigForInput m_RigForInput;
    EngineRig& m_Rig = *m_RigForInput;
    HonestPhone m_Phone{m_Rig};
    EngineInvariants m_Invariants{m_Rig};
};

}  // namespace

void runEngine(const std::uint8_t* data, std::size_t size, const EngineScenario& scenario) {
    files();  // made before the first descriptor count
    FuzzInput in(data, size);
    Driver driver(scenario);
    driver.run(in);
    // Nothing an input made outlives it: libFuzzer takes more allocations than releases in a
    // run for a leak, and runs the input again to look for it.
    trail().clear();
}

}  // namespace zrk::fuzz
