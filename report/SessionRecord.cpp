#include "report/SessionRecord.h"

#include <algorithm>

#include "report/ReportJson.h"

namespace zrk::report {

namespace {
void settle(PhoneRecord& phone) {
    phone.passed =
        !phone.operations.empty() &&
        std::all_of(phone.operations.begin(), phone.operations.end(),
                    [](const OperationRecord& op) { return op.outcome == OutcomeKind::Completed; });
    phone.result = "passed";
    phone.reason.clear();
    for (const auto& op : phone.operations) {
        if (op.outcome == OutcomeKind::Completed)
            continue;
        phone.result = op.outcome == OutcomeKind::Stopped ? "interrupted" : "failed";
        phone.reason = std::string(operationName(op.operation)) + ": " + outcomeKey(op.outcome) +
                       (op.detail.empty() ? std::string() : " (" + op.detail + ")");
        break;
    }
}
}  // namespace

void SessionRecord::add(const OperationOutcome& outcome, const UserChoices& choices,
                        const std::vector<std::int32_t>& sectorFlags, const Where& where,
                        TimePoint now) {
    const TimePoint started =
        now - std::chrono::seconds(std::max<std::int64_t>(0, outcome.elapsedSeconds));
    if (m_Ports.empty())
        m_Started = started;
    const bool newPhone = outcome.operation == Operation::BringUp || !m_Current ||
                          m_Current->phones.empty() || m_Current->port != where.port;
    if (newPhone) {
        auto port = std::find_if(m_Ports.begin(), m_Ports.end(),
                                 [&](const PortRecord& p) { return p.port == where.port; });
        if (port == m_Ports.end()) {
            m_Ports.push_back({where.port, where.device, {}, {}});
            port = m_Ports.end() - 1;
        }
        m_Current = &*port;
        m_Current->device = where.device;
        PhoneRecord phone;
        phone.number = m_Current->phones.empty() ? 1 : m_Current->phones.back().number + 1;
        phone.started = started;
        m_Current->phones.push_back(std::move(phone));
        // The oldest phone, wherever it was, makes room; never the one just begun.
        if (++m_Phones > kMostPhones) {
            PortRecord* oldest = nullptr;
            for (auto& p : m_Ports) {
                const std::size_t keep = &p == m_Current ? 1 : 0;
                if (p.phones.size() > keep &&
                    (!oldest || p.phones.front().started < oldest->phones.front().started))
                    oldest = &p;
            }
            if (oldest) {
                oldest->phones.erase(oldest->phones.begin());
                --m_Phones;
            }
        }
    }
    PhoneRecord& phone = m_Current->phones.back();
    if (!where.flashName.empty())
        phone.flashName = where.flashName;
    if (where.flashId)
        phone.flashId = where.flashId;
    phone.operations.push_back(
        makeOperationRecord(outcome, choices, imagesFor(choices), sectorFlags, started, now));
    phone.ended = now;
    settle(phone);
}

RunReport SessionRecord::report(const std::string& program, TimePoint now) const {
    RunReport r;
    r.program = program;
    r.version = programVersion();
    r.command = "window session";
    r.started = m_Ports.empty() ? now : m_Started;
    r.ended = now;
    r.ports = m_Ports;
    return r;
}

}  // namespace zrk::report
