#pragma once
// The fuzz input read front to back as actions and their arguments. Past its end every read
// gives zeros, so any input is a complete script.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace zrk::fuzz {

class FuzzInput {
  public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : m_Data(data), m_Size(size) {}

    bool empty() const { return m_At >= m_Size; }
    std::uint8_t byte() { return m_At < m_Size ? m_Data[m_At++] : 0; }
    std::vector<std::uint8_t> bytes(std::size_t count) {
        std::vector<std::uint8_t> out;
        out.reserve(count);
        while (count-- > 0 && m_At < m_Size)
            out.push_back(m_Data[m_At++]);
        return out;
    }
    // Up to count bytes, in place.
    std::span<const std::uint8_t> take(std::size_t count) {
        const std::size_t n = std::min(count, m_Size - std::min(m_At, m_Size));
        const std::span<const std::uint8_t> out(m_Data + m_At, n);
        m_At += n;
        return out;
    }
    // The rest of the input.
    std::vector<std::uint8_t> rest() { return bytes(m_Size - m_At); }

  private:
    const std::uint8_t* m_Data;
    std::size_t m_Size;
    std::size_t m_At = 0;
};

}  // namespace zrk::fuzz
