#pragma once
// A file chosen as the firmware whose content says it is something else: the file-system image,
// a program for a PC, a text of records to be converted first, an archive still to be unpacked.
// Written into NOR as it is, each would leave the phone without a firmware that starts.
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace zrk {

// What the first bytes of a file show it to be ("an ELF program", "a zip archive"), or nullopt
// when they could be a firmware image. qixPair: the file is a .qix or has its .cfg beside it.
std::optional<std::string> notFirmwareKind(std::span<const std::uint8_t> head, bool qixPair);

// The same for a file on disk; nullopt too when it cannot be read (that is told elsewhere).
std::optional<std::string> notFirmwareImage(const std::string& path);

}  // namespace zrk
