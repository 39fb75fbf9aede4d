#include "cli/PhoneRecorder.h"

#include "cli/ExitCodes.h"
#include "cli/TerminalView.h"
#include "protocol/ProtocolEngine.h"

namespace zrk::cli {

namespace {
report::TimePoint now() {
    return std::chrono::system_clock::now();
}
}  // namespace

std::string phoneResultFor(int exitCode) {
    switch (exitCode) {
        case EXIT_OK:
            return "passed";
        case EXIT_PHONE_FAILED:
            return "failed";
        case EXIT_TIMEOUT:
            return "timed out";
        case EXIT_INTERRUPTED:
            return "interrupted";
        case EXIT_PORT_OR_FILE:
            return "port or file problem";
        case EXIT_USAGE:
            return "refused";
        default:
            return "unavailable";
    }
}

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

void PhoneRecorder::operationEnded(const OperationOutcome& outcome, const TerminalView& view) {
    if (!m_Open || !m_Answered)
        return;
    if (!view.flashName().empty())
        m_Phone.flashName = view.flashName();
    if (m_Engine)
        if (const auto id = m_Engine->flashId())
            m_Phone.flashId = id;
    m_Phone.operations.push_back(report::makeOperationRecord(
        outcome, m_Choices, m_Images, m_SectorFlags, m_OperationStart, now()));
    m_OperationStart = now();
}

void PhoneRecorder::endPhone(int exitCode, const std::string& reason) {
    if (!m_Open)
        return;
    m_Open = false;
    if (!m_Answered)
        return;
    m_Phone.ended = now();
    m_Phone.exitCode = exitCode;
    m_Phone.passed = exitCode == EXIT_OK;
    m_Phone.result = phoneResultFor(exitCode);
    m_Phone.reason = m_Phone.passed ? std::string() : reason;
    (m_Phone.passed ? m_Passed : m_Failed) += 1;
    m_Record.phones.push_back(std::move(m_Phone));
    m_Phone = {};
}

}  // namespace zrk::cli
