#include "bringup/WaitingLine.h"

namespace zrk {

namespace {

// Fewer bytes than this are what plugging in a cable or switching a phone on leaves on a line.
constexpr std::uint64_t kTalkingBytes = 8;

bool printable(std::uint8_t byte) {
    return (byte >= 0x20 && byte < 0x7F) || byte == '\r' || byte == '\n' || byte == '\t';
}

}  // namespace

void WaitingLine::heard(std::uint8_t byte) {
    ++m_Bytes;
    if (printable(byte))
        ++m_Printable;
}

WaitingLine::Verdict WaitingLine::verdict() const {
    if (m_Bytes < kTalkingBytes)
        return Verdict::Silent;
    // Nine in ten: a sentence with a stray byte of noise in it is still text.
    return m_Printable * 10 >= m_Bytes * 9 ? Verdict::Text : Verdict::Noise;
}

std::string talkingLineWords(const std::string& port, WaitingLine::Verdict verdict) {
    switch (verdict) {
        case WaitingLine::Verdict::Silent:
            return {};
        case WaitingLine::Verdict::Text:
            return port +
                   " is sending text that is not the phone's boot ROM; is this the right port?";
        case WaitingLine::Verdict::Noise:
            return port +
                   " is sending bytes that are not the phone's boot ROM (another device, or a "
                   "line stuck low); is this the right port?";
    }
    return {};
}

}  // namespace zrk
