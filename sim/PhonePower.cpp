#include "sim/Phone.h"

#include "sim/SimWire.h"

// What the phone does whoever talks to it: power that follows the host's opens and closes, and
// the clock that drives the boot ROM's connect requests (or a babbling device's talk).
namespace zrk::sim {

void Phone::hostOpened(TimePoint now) {
    m_HostOpen = true;
    if (rowEnded() && m_Options.faults.unplugAfterRow)
        m_HangUpRequested = true;
    if (m_State == State::RomOffering)
        m_NextOffer = now;
}

void Phone::hostClosed(TimePoint now) {
    m_HostOpen = false;
    // The one close that belongs to the protocol: the host reopens at the new speed.
    if (awaitsReopen())
        return;
    powerOff(now);
}

void Phone::powerOff(TimePoint now) {
    if (m_HostSpoke)
        ++m_Counters.sessions;
    ++m_Counters.powerCycles;
    m_HostSpoke = false;
    m_NoiseSent = false;
    m_State = State::RomOffering;
    m_Collect = Collect{};
    m_Uart = 115200;
    m_Mounted = false;
    m_Download = Download{};
    m_File = FileWrite{};
    m_ImageCheck.reset();
    m_ReadOut.clear();
    m_PreLoader.clear();
    m_Output.clear();
    m_Challenge = makeChallenge();
    m_NextOffer = now;
}

void Phone::babble() {
    if (m_Options.faults.babble == "zeros") {
        send(std::vector<std::uint8_t>(64, 0x00));
        return;
    }
    static constexpr char kSentence[] =
        "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n";
    send(std::vector<std::uint8_t>(kSentence, kSentence + sizeof kSentence - 1));
}

void Phone::tick(TimePoint now) {
    if (!m_Options.faults.babble.empty()) {
        if (m_HostOpen && now >= m_NextOffer) {
            babble();
            m_NextOffer = now + kBabblePeriod;
        }
        return;
    }
    if (m_State == State::RomWaitGrantAck && now >= m_GrantDeadline) {
        m_State = State::RomOffering;
        m_NextOffer = now;
    }
    if (m_State != State::RomOffering || !m_HostOpen || now < m_NextOffer)
        return;
    // The last phone of the row has been taken off the cable.
    if (rowEnded())
        return;
    if (!m_NoiseSent) {
        m_NoiseSent = true;
        if (m_Options.faults.noiseBytes > 0) {
            std::vector<std::uint8_t> noise;
            for (int i = 0; i < m_Options.faults.noiseBytes; ++i) {
                auto b = static_cast<std::uint8_t>(m_Random());
                noise.push_back(b == wire::ROM_CONNECT_REQUEST ? 0x7E : b);
            }
            send(std::move(noise));
        }
    }
    sendByte(wire::ROM_CONNECT_REQUEST);
    m_NextOffer += kOfferPeriod;
    if (m_NextOffer <= now)
        m_NextOffer = now + kOfferPeriod;
}

std::optional<Phone::TimePoint> Phone::nextDeadline() const {
    if (!m_Options.faults.babble.empty())
        return m_HostOpen ? std::optional<TimePoint>(m_NextOffer) : std::nullopt;
    if (m_State == State::RomWaitGrantAck)
        return m_GrantDeadline;
    if (m_State == State::RomOffering && m_HostOpen && !rowEnded())
        return m_NextOffer;
    return std::nullopt;
}

}  // namespace zrk::sim
