#include "station/PhoneRecorder.h"

#include "protocol/ProtocolEngine.h"

namespace zrk::station {

namespace {
report::TimePoint now() {
    return std::chrono::system_clock::now();
}
}  // namespace

PhoneRecorder::PhoneRecorder(std::string portName, UserChoices choices,
                             std::vector<std::int32_t> sectorFlags,
                             std::vector<report::ImageRecord> images)
    : m_Choices(std::move(choices)),
      m_SectorFlags(std::move(sectorFlags)),
      m_Images(std::move(images)) {
    m_Record.port = std::move(portName);
}

void PhoneRecorder::beginPhone(bool waiting) {
    m_Phone = {};
    m_Phone.number = static_cast<int>(m_Record.phones.size()) + 1;
    m_Phone.started = now();
    m_OperationStart = m_Phone.started;
    m_Open = true;
    m_Answered = !waiting;
}

void PhoneRecorder::phoneAnswered() {
    m_Answered = true;
    m_Phone.started = now();
    m_OperationStart = m_Phone.started;
}

void PhoneRecorder::operationStarting() {
    m_OperationStart = now();
}

void PhoneRecorder::flashFound(const std::string& flashName) {
    if (!m_Open || !m_Answered)
        return;
    if (!flashName.empty())
        m_Phone.flashName = flashName;
    if (m_Engine)
        if (const auto id = m_Engine->flashId())
            m_Phone.flashId = id;
}

void PhoneRecorder::operationEnded(const OperationOutcome& outcome, const std::string& flashName) {
    if (!m_Open || !m_Answered)
        return;
    flashFound(flashName);
    m_Phone.operations.push_back(report::makeOperationRecord(
        outcome, m_Choices, m_Images, m_SectorFlags, m_OperationStart, now()));
    m_OperationStart = now();
}

void PhoneRecorder::endPhone(const PhoneEnding& ending) {
    if (!m_Open)
        return;
    m_Open = false;
    if (!m_Answered)
        return;
    m_Phone.ended = now();
    m_Phone.exitCode = ending.exitCode;
    m_Phone.passed = ending.passed;
    m_Phone.result = ending.result;
    m_Phone.reason = ending.passed ? std::string() : ending.reason;
    (m_Phone.passed ? m_Passed : m_Failed) += 1;
    m_Record.phones.push_back(std::move(m_Phone));
    m_Phone = {};
}

}  // namespace zrk::station
