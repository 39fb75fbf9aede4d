#pragma once
// The tests' and fuzz harnesses' way in to an engine's context and phases, to set a state up
// or look at one that no front end may see. The engine names this class its friend.
#include "bringup/BringUp.h"
#include "filesystem/FileSystemPhase.h"
#include "loader/LoaderPhase.h"
#include "protocol/ProtocolEngine.h"

namespace zrk {

class EngineProbe {
  public:
    static PhaseContext& context(ProtocolEngine& engine) { return engine.m_Context; }
    static const PhaseContext& context(const ProtocolEngine& engine) { return engine.m_Context; }
    static BringUp& bringUp(ProtocolEngine& engine) { return *engine.m_BringUp; }
    static LoaderPhase& loaderPhase(ProtocolEngine& engine) { return *engine.m_LoaderPhase; }
};

}  // namespace zrk
