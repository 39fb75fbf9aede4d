// Writes the placeholder target images that the build embeds when no real pre-loader or
// boot-loader is supplied. The phone simulator only checks their size and CRC, so all that
// matters is that the bytes are fixed, look like nothing in particular, and never repeat the
// command bytes in a pattern a reader could mistake for a protocol exchange.
//
//   make_placeholder_image NAME SIZE OUT
//
// Recipe: the text "ZR-K410 placeholder NAME" and a zero byte, then a xorshift32 stream seeded
// with the FNV-1a hash of NAME, one low byte per step, up to SIZE bytes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s NAME SIZE OUT\n", argv[0]);
        return 2;
    }
    const std::string name = argv[1];
    const long size = std::strtol(argv[2], nullptr, 10);
    std::vector<unsigned char> bytes;
    const std::string header = "ZR-K410 placeholder " + name;
    bytes.insert(bytes.end(), header.begin(), header.end());
    bytes.push_back(0);
    uint32_t state = 2166136261u;
    for (char c : name)
        state = (state ^ static_cast<unsigned char>(c)) * 16777619u;
    while (static_cast<long>(bytes.size()) < size) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        bytes.push_back(static_cast<unsigned char>(state));
    }
    bytes.resize(static_cast<size_t>(size));
    FILE* out = std::fopen(argv[3], "wb");
    if (!out || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size())
        return 1;
    return std::fclose(out) == 0 ? 0 : 1;
}
