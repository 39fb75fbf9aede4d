#include "sim/PhoneSimulator.h"

#include <cstdio>
#include <filesystem>

// What tests, the program's summary and its saved state read from a running simulator.
namespace zrk::sim {

std::vector<Violation> PhoneSimulator::violations() const {
    std::lock_guard lock(m_Lock);
    return m_Phone->violations();
}

std::size_t PhoneSimulator::violationCount() const {
    std::lock_guard lock(m_Lock);
    return m_Phone->violationCount();
}

PhoneCounters PhoneSimulator::counters() const {
    std::lock_guard lock(m_Lock);
    return m_Phone->counters();
}

bool PhoneSimulator::waitFor(const std::function<bool(const PhoneCounters&)>& condition,
                             std::chrono::milliseconds timeout) const {
    const auto end = Clock::now() + timeout;
    while (true) {
        {
            std::lock_guard lock(m_Lock);
            if (condition(m_Phone->counters()))
                return true;
        }
        if (Clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

std::uint64_t PhoneSimulator::bytesSent() const {
    std::lock_guard lock(m_Lock);
    return m_BytesSent;
}

std::string PhoneSimulator::stateName() const {
    std::lock_guard lock(m_Lock);
    return m_Phone->stateName();
}

bool PhoneSimulator::hostOpen() const {
    std::lock_guard lock(m_Lock);
    return m_OpenCount > 0;
}

std::vector<std::uint8_t> PhoneSimulator::norRange(std::uint32_t offset,
                                                   std::uint32_t length) const {
    std::lock_guard lock(m_Lock);
    return m_Nor.read(offset, length);
}

void PhoneSimulator::preloadNor(std::uint32_t offset, const std::vector<std::uint8_t>& data) {
    std::lock_guard lock(m_Lock);
    m_Nor.write(offset, data.data(), data.size());
}

bool PhoneSimulator::addNandDirectory(const std::string& path) {
    std::lock_guard lock(m_Lock);
    return m_Nand.makeDirectory(path, PackedTime{});
}

bool PhoneSimulator::addNandFile(const std::string& path, std::vector<std::uint8_t> data) {
    std::lock_guard lock(m_Lock);
    return m_Nand.writeFile(path, std::move(data), PackedTime{});
}

std::optional<std::vector<std::uint8_t>> PhoneSimulator::nandFile(const std::string& path) const {
    std::lock_guard lock(m_Lock);
    const auto* node = m_Nand.find(path);
    if (!node || node->directory)
        return std::nullopt;
    return node->data;
}

bool PhoneSimulator::nandDirectoryExists(const std::string& path) const {
    std::lock_guard lock(m_Lock);
    const auto* node = m_Nand.find(path);
    return node && node->directory;
}

bool PhoneSimulator::saveState(const std::string& dir, std::string* error) const {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::create_directories(dir, ec);
    std::lock_guard lock(m_Lock);
    const fs::path nand = fs::path(dir) / "nand";
    fs::remove_all(nand, ec);
    if (!m_Nor.saveTo((fs::path(dir) / "nor.bin").string())) {
        if (error)
            *error = "cannot write " + (fs::path(dir) / "nor.bin").string();
        return false;
    }
    return m_Nand.saveTo(nand.string(), error);
}

std::string PhoneSimulator::summary() const {
    std::lock_guard lock(m_Lock);
    const PhoneCounters& c = m_Phone->counters();
    char line[256];
    std::string out;
    std::snprintf(line, sizeof line,
                  "phonesim: %d session(s), %d power cycle(s), %llu byte(s) received, %llu sent, "
                  "%d firmware download(s), %d file(s) written\n",
                  c.sessions, c.powerCycles, static_cast<unsigned long long>(c.bytesReceived),
                  static_cast<unsigned long long>(m_BytesSent), c.firmwareDownloads,
                  c.filesWritten);
    out += line;
    // The target programs as the phone received them, to compare with the files.
    if (c.preLoaderCrc || c.bootLoaderCrc) {
        std::snprintf(line, sizeof line, "phonesim: pre-loader CRC %08X, boot-loader CRC %08X\n",
                      c.preLoaderCrc.value_or(0), c.bootLoaderCrc.value_or(0));
        out += line;
    }
    const auto count = m_Phone->violationCount();
    if (count == 0) {
        out += "phonesim: no protocol violation\n";
        return out;
    }
    std::snprintf(line, sizeof line, "phonesim: %zu protocol violation(s)\n", count);
    out += line;
    for (const auto& v : m_Phone->violations()) {
        std::snprintf(line, sizeof line,
                      "  at byte %llu: ", static_cast<unsigned long long>(v.offset));
        out += line + v.context + "\n";
    }
    if (count > m_Phone->violations().size())
        out +=
            "  (only the first " + std::to_string(m_Phone->violations().size()) + " are listed)\n";
    return out;
}

}  // namespace zrk::sim
