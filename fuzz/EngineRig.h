#pragma once
// The protocol engine of one link with everything it talks to replaced by recorders: the link
// keeps every write and every byte fed, the view every event, stage and outcome.
#include <optional>
#include <string>
#include <vector>

#include "bringup/BringUp.h"
#include "engine/Phase.h"
#include "fuzz/FuzzTargetData.h"
#include "fuzz/RecordingLink.h"
#include "protocol/ProtocolEngine.h"
#include "support/EngineProbe.h"
#include "support/FakeClock.h"
#include "support/RecordingView.h"

namespace zrk::fuzz {

// The view, noting besides how many received bytes the engine had taken when each operation
// ended: the bytes taken after, in the same notification or a later one, are not its reply.
class OutcomeView : public test::RecordingView {
  public:
    explicit OutcomeView(const RecordingLink& link) : m_Link(link) {}
    void operationEnded(const OperationOutcome& outcome) override {
        RecordingView::operationEnded(outcome);
        consumedAtOutcome.push_back(m_Link.consumed());
    }
    std::vector<std::size_t> consumedAtOutcome;  // one for each of outcomes

  private:
    const RecordingLink& m_Link;
};

struct EngineRig {
    EngineRig() { EngineProbe::bringUp(engine).setTargetData(fuzzTargetData()); }
    RecordingLink link;
    OutcomeView view{link};
    test::FakeClock clock;
    ProtocolEngine engine{link, view, clock};
};

// One rig per input, each built from nothing, so that no input sees what the one before left.
// What is kept between them is only the recorders' emptied buffers: growing them again for
// every input was a good part of its allocations, which the sanitizer makes dear. They are
// emptied when the input ends, so that the input frees whatever it allocated (libFuzzer runs
// an input again to look for a leak when it did not).
class RigForInput {
  public:
    RigForInput() { rig().emplace().adopt(spare()); }
    ~RigForInput() {
        spare() = rig()->release();
        rig().reset();
    }
    RigForInput(const RigForInput&) = delete;
    RigForInput& operator=(const RigForInput&) = delete;

    EngineRig& operator*() { return *rig(); }

  private:
    struct Buffers {
        std::vector<RecordingLink::Write> transcript;
        std::vector<std::uint8_t> fed;
        std::vector<test::FakeLink::Open> opens;
        std::string log;
        std::vector<std::uint32_t> progressHistory;
        std::vector<std::string> events;
        std::vector<std::string> messages;
        std::vector<int> timerStarts;
        std::vector<OperationOutcome> outcomes;
        std::vector<Stage> stages;
    };
    // The rig with its buffers' room; what an input left in them goes with it.
    struct KeptRig : EngineRig {
        void adopt(Buffers& b) {
            take(link.transcript, b.transcript);
            take(link.fed, b.fed);
            take(link.opens, b.opens);
            take(view.log, b.log);
            take(view.progressHistory, b.progressHistory);
            take(view.events, b.events);
            take(view.messages, b.messages);
            take(view.timerStarts, b.timerStarts);
            take(view.outcomes, b.outcomes);
            take(view.stages, b.stages);
        }
        Buffers release() {
            Buffers b;
            take(b.transcript, link.transcript);
            take(b.fed, link.fed);
            take(b.opens, link.opens);
            take(b.log, view.log);
            take(b.progressHistory, view.progressHistory);
            take(b.events, view.events);
            take(b.messages, view.messages);
            take(b.timerStarts, view.timerStarts);
            take(b.outcomes, view.outcomes);
            take(b.stages, view.stages);
            return b;
        }
        // `to` is empty (fresh); it gets from's room, and none of from's contents.
        template <typename Buffer>
        static void take(Buffer& to, Buffer& from) {
            from.clear();
            to.swap(from);
        }
    };
    static std::optional<KeptRig>& rig() {
        static std::optional<KeptRig> r;
        return r;
    }
    static Buffers& spare() {
        static Buffers b;
        return b;
    }
};

// What ProtocolEngine::exchange() says, without the copy it makes: the harnesses ask around
// every step.
inline const char* exchangeNow(const ProtocolEngine& engine) {
    return EngineProbe::context(engine).exchangeName();
}

}  // namespace zrk::fuzz
