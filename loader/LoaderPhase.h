#pragma once
// The loader phase: operations on the running boot-loader. Steps run while LoaderReady is 1.
#include <cstdint>

namespace zrk {

class ProtocolEngine;

class LoaderPhase {
  public:
    explicit LoaderPhase(ProtocolEngine& engine) : m_Engine(engine) {}

    void download();
    void erase();
    void dump();
    void step(std::uint8_t byte);
    // A whole NOR dump block (8192 bytes in the transfer buffer) and its checksum byte.
    void dumpBlockStep(const std::uint8_t* block, std::uint8_t checksum);

  private:
    ProtocolEngine& m_Engine;
};

}  // namespace zrk
