#include "app/PortOpenFailureNotice.h"

#include "app/PortList.h"
#include "engine/OpenFailureText.h"
#include "serial/PortDoctor.h"

namespace zrk {

PortOpenFailureNotice::PortOpenFailureNotice(const std::string& boxText, const SerialLink& link,
                                             PortList& ports, int portIndex) {
    if (boxText != "Port Initialization Failed!")
        return;
    m_Failure = link.lastOpenFailure();
    if (m_Failure.kind != OpenFailure::Kind::None)
        m_Detail = QString::fromStdString(describeOpenFailure(m_Failure));
    if (m_Failure.kind == OpenFailure::Kind::NotFound && portIndex >= 0)
        m_Elsewhere = ports.missingDeviceHelp(portIndex + 1);
    if (!m_Elsewhere.empty())
        m_Detail += QStringLiteral("\n");
    for (const std::string& line : m_Elsewhere)
        m_Detail += QStringLiteral("\n") + QString::fromStdString(line);
}

std::optional<std::string> PortOpenFailureNotice::logReport() const {
    if (m_Failure.kind == OpenFailure::Kind::None || m_Failure.device.empty())
        return std::nullopt;
    std::string report;
    for (const std::string& line : portReport(m_Failure.device))
        report += "   " + line + "\r\n";
    for (const std::string& line : m_Elsewhere)
        report += (line.rfind(' ', 0) == 0 ? "" : "** ") + line + "\r\n";
    return report;
}

}  // namespace zrk
