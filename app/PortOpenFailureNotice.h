#pragma once
// What the window says when START's port does not open. The fixed text alone leaves the user
// guessing: the cause (missing device, no permission and the dialout group, busy) goes under it
// in the box, and once the box is answered the log says why in full and what to do, as
// zrk410 doctor does.
#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "serial/SerialLink.h"

namespace zrk {

class PortList;

class PortOpenFailureNotice {
  public:
    // Adds nothing to a box about anything else. portIndex: the list's (0 for COM1), or -1.
    PortOpenFailureNotice(const std::string& boxText, const SerialLink& link, PortList& ports,
                          int portIndex);

    // The box's second paragraph, or empty.
    const QString& detail() const { return m_Detail; }
    // The lines for the log, asked for after the box; nothing when no device was tried.
    std::optional<std::string> logReport() const;

  private:
    OpenFailure m_Failure;
    std::vector<std::string> m_Elsewhere;  // a missing device: what is there instead
    QString m_Detail;
};

}  // namespace zrk
