#pragma once
// Drives the phone model directly with scripted bytes and a hand-moved clock: no terminal, no
// threads, no waiting.
#include <chrono>
#include <cstdint>
#include <span>
#include <vector>

#include "engine/TargetImages.h"
#include "sim/Phone.h"
#include "sim/SimChecksums.h"

namespace zrk::sim::test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes be32(std::uint32_t v) {
    return {static_cast<std::uint8_t>(v >> 24), static_cast<std::uint8_t>(v >> 16),
            static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
}
inline Bytes cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
inline std::uint8_t sum(const Bytes& b) {
    return phoneSum8(b.data(), b.size());
}
inline Bytes pattern(std::size_t n, unsigned salt = 7) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<std::uint8_t>((i * 131 + salt * 17 + (i >> 8)) & 0xFF);
    return b;
}

class PhoneDriver {
  public:
    explicit PhoneDriver(SimOptions o = {})
        : options(std::move(o)), nand(options.nandPages, options.seed), phone(options, nor, nand) {}

    Bytes output() {
        Bytes all;
        for (auto& block : phone.takeOutput())
            all.insert(all.end(), block.begin(), block.end());
        return all;
    }
    // In runs, as the simulator hands the phone what one read brought.
    Bytes send(const Bytes& bytes) {
        for (std::size_t at = 0; at < bytes.size();)
            at += phone.receiveRun(std::span(bytes).subspan(at), now);
        return output();
    }
    Bytes sendByteByByte(const Bytes& bytes) {
        for (std::uint8_t b : bytes)
            phone.receive(b, now);
        return output();
    }
    Bytes advance(std::chrono::milliseconds ms) {
        now += ms;
        phone.tick(now);
        return output();
    }
    void open() {
        phone.hostOpened(now);
        phone.tick(now);
    }
    void close() { phone.hostClosed(now); }

    // The boot ROM exchange up to the pre-loader's ABh; returns what the phone said last.
    Bytes throughBootRom() {
        open();
        output();  // the connect request
        send({0x44});
        const Bytes challenge = send({0x51});
        Bytes reply{0x44};
        const auto id = customerId();
        reply.insert(reply.end(), id.begin(), id.end());
        reply.insert(reply.end(), challenge.begin(), challenge.end());
        send(reply);
        send({0x54, 0x10});
        send({0x53, 0x00, 0x00, 0x00, 0x0C});
        const auto pre = preLoaderImage();
        for (std::size_t i = 0; i < pre.size(); i += 4)
            send({0x4C, 0x00, pre[i], pre[i + 1], pre[i + 2], pre[i + 3]});
        send({0x53, 0x00, 0x00, 0x00, 0x0C});
        return send({0x4A});
    }
    // From the pre-loader to a boot-loader that has identified its flash.
    Bytes throughLoaders(std::uint8_t speedIndex = 3) {
        send({speedIndex});
        close();
        open();
        send({0xD9});
        const auto boot = bootLoaderImage();
        send(cat({0xD4}, be32(static_cast<std::uint32_t>(boot.size()))));
        for (std::size_t at = 0; at < boot.size(); at += 2048) {
            send({0xF7});
            send(Bytes(boot.begin() + static_cast<long>(at),
                       boot.begin() + static_cast<long>(std::min(at + 2048, boot.size()))));
        }
        send({0xFF});
        send({0xD0, 0x10, 0x00, 0x00, 0x00});
        return send({0xD1});
    }
    Bytes bringUp() {
        throughBootRom();
        return throughLoaders();
    }

    SimOptions options;
    NorFlash nor;
    NandFileSystem nand;
    Phone phone;
    Phone::TimePoint now = Phone::Clock::now();
};

}  // namespace zrk::sim::test
