#pragma once
// --start-addr: where in NOR a download begins. Checked here, before the phone is brought up,
// so that a typing error costs no power cycle.
#include <cstdint>
#include <optional>
#include <string>

namespace zrk::cli {

struct StartAddressCheck {
    std::optional<std::uint32_t> address;  // the NOR address when accepted
    std::string error;
};

// Hexadecimal with an optional 0x; the address must lie in the flash and begin a sector.
StartAddressCheck checkStartAddress(const std::string& text);

}  // namespace zrk::cli
