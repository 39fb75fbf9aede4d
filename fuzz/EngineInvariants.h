#pragma once
// What must hold after every action, judged by what the engine publishes (its stage, the
// exchange it waits on, its outcomes and their typed failures), what the view was told and
// what went over the wire; never by the engine's own state numbers.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "fuzz/CompletionChecks.h"
#include "fuzz/EngineRig.h"
#include "fuzz/OpenDescriptors.h"

namespace zrk::fuzz {

class EngineInvariants {
  public:
    explicit EngineInvariants(EngineRig& rig) : m_Rig(rig), m_Completion(rig) {}

    // Where things stood before an action.
    struct Mark {
        bool tracking;
        std::size_t outcomes;
        std::size_t messages;
        std::size_t writes;
        std::size_t stages;
        const char* exchange;  // as ProtocolEngine::exchange() names it
        std::size_t signs;     // signsShown()
    };
    Mark mark() const;

    // Every file descriptor open now is the harness's own.
    void takeDescriptors();
    // The input's end: no descriptor open beyond those taken (Descriptors::unchangedAtEnd).
    void checkDescriptorsAtEnd();
    // The operations judged from now on begin with the next write.
    void operationsFromHere() { m_OperationFrom = m_Rig.link.transcript.size(); }
    // Bytes went in one notification: which request a reply answers no longer shows.
    void repliesUnmatched() { m_Imprecise = true; }

    // button: the action was a button press; phoneByte: the action was this one byte from the
    // phone.
    void afterStep(const Mark& mark, bool button, std::optional<std::uint8_t> phoneByte);

  private:
    void checkStages(const Mark& mark);
    void checkLink();
    void checkOutcomes(const Mark& mark, bool button, std::optional<std::uint8_t> phoneByte);
    void checkFailure(const OperationOutcome& outcome, const Mark& mark,
                      std::optional<std::uint8_t> phoneByte);
    void checkFiles(bool countDescriptors);
    // What the engine has shown so far, in one number that grows with each sign of it.
    std::size_t signsShown() const;
    // The engine waits for a dump block it asked for, as the wire shows.
    bool waitingForDumpBlock() const;

    EngineRig& m_Rig;
    CompletionChecks m_Completion;
    Descriptors m_Descriptors;
    std::size_t m_OperationFrom = 0;
    bool m_AbandonedFilesMayStay = false;
    bool m_Imprecise = false;
};

}  // namespace zrk::fuzz
