#pragma once
// What a port said while START waited for the boot ROM's connect request. A phone's boot ROM
// says nothing until it asks; a GPS receiver or a modem on the wrong port talks without end, and
// calling that port silent sends the technician to the wrong cable.
#include <cstdint>
#include <string>

namespace zrk {

class WaitingLine {
  public:
    enum class Verdict {
        Silent,  // nothing, or the stray byte or two of a cable plugged in
        Text,    // readable text: a device that talks, not a phone
        Noise,   // bytes, mostly not text: another device, or a line stuck low
    };

    void reset() { *this = {}; }
    // A byte that was not the boot ROM's connect request.
    void heard(std::uint8_t byte);
    std::uint64_t bytes() const { return m_Bytes; }
    Verdict verdict() const;

  private:
    std::uint64_t m_Bytes = 0;
    std::uint64_t m_Printable = 0;
};

// "COM3 is sending text that is not the phone's boot ROM; is this the right port?", or its
// words for noise; empty for a silent line.
std::string talkingLineWords(const std::string& port, WaitingLine::Verdict verdict);

}  // namespace zrk
