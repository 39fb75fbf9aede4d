#include "bringup/BringUp.h"

#include "engine/ProtocolEngine.h"

namespace zrk {

void BringUp::start() {}

void BringUp::step(std::uint8_t) {}

void BringUp::onBaudTimer() {}

}  // namespace zrk
