#include "loader/LoaderPhase.h"

#include "engine/ProtocolEngine.h"

namespace zrk {

void LoaderPhase::download() {}
void LoaderPhase::erase() {}
void LoaderPhase::dump() {}
void LoaderPhase::step(std::uint8_t) {}
void LoaderPhase::dumpBlockStep(const std::uint8_t*, std::uint8_t) {}

}  // namespace zrk
