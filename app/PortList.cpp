#include "app/PortList.h"

#include <QMenu>
#include <QPushButton>

#include "app/LinkPump.h"
#include "app/PortComboBox.h"
#include "app/Prompter.h"
#include "app/SerialScanner.h"
#include "app/SettingsStore.h"
#include "serial/PortMap.h"

namespace zrk {
namespace {
QString fromStd(const std::string& text) {
    return QString::fromStdString(text);
}
}  // namespace

PortList::PortList(PortComboBox& list, QPushButton& mapButton, PortMap& ports,
                   SettingsStore& settings, Prompter& prompter, LinkPump& pump, QWidget& window)
    : QObject(&window),
      m_List(list),
      m_MapButton(mapButton),
      m_Ports(ports),
      m_Settings(settings),
      m_Prompter(prompter),
      m_Pump(pump),
      m_Window(window) {
    for (int n = PortMap::kFirstPort; n <= PortMap::kLastPort; ++n) {
        m_List.addItem(fromStd(PortMap::portName(n)));
        const QString device = m_Settings.portDevice(n);
        if (!device.isEmpty())
            m_Ports.setDevice(n, device.toStdString());
        m_Ports.setAdapter(n, m_Settings.portAdapter(n).toStdString());
    }
    m_List.setMaxVisibleItems(PortMap::kLastPort - PortMap::kFirstPort + 1);
    m_List.setContextMenuPolicy(Qt::CustomContextMenu);
    m_List.setBeforePopup([this] { refresh(); });
    connect(&m_List, &QWidget::customContextMenuRequested, this, &PortList::showMenu);
    m_MapButton.setAccessibleName(QObject::tr("Map the serial port"));
    m_MapButton.setAccessibleDescription(
        QObject::tr("Sets the device the chosen COM name stands for"));
    connect(&m_MapButton, &QPushButton::clicked, this, [this] {
        if (m_List.currentIndex() >= 0)
            editDevice(PortMap::kFirstPort + m_List.currentIndex());
    });
    refresh();
}

void PortList::store(int portNumber) {
    m_Settings.setPortDevice(portNumber, m_Ports.isOverridden(portNumber)
                                             ? fromStd(m_Ports.device(portNumber))
                                             : QString());
    m_Settings.setPortAdapter(portNumber, fromStd(m_Ports.adapter(portNumber)));
}

void PortList::refresh() {
    // A scan reads a few small files of sysfs, never a device.
    m_Present = scanSerialDevices();
    for (int n : m_Ports.follow(m_Present))
        store(n);
    for (int n : m_Ports.nameNewAdapters(m_Present))
        store(n);
    updateToolTips();
}

void PortList::updateToolTips() {
    for (int i = 0; i < m_List.count(); ++i) {
        const int n = PortMap::kFirstPort + i;
        const std::string device = m_Ports.device(n);
        std::string detail = device;
        for (const SerialDevice& d : m_Present)
            if (d.path == device)
                detail += "  " + identityText(d);
        m_List.setItemData(i, fromStd(device), Qt::ToolTipRole);
        m_List.setItemData(i, fromStd(detail), PortComboBox::kDetailRole);
        m_List.setItemData(i, fromStd(PortMap::portName(n) + ", " + detail),
                           Qt::AccessibleTextRole);
    }
    const int index = m_List.currentIndex();
    if (index < 0) {
        m_List.setToolTip({});
        m_List.setAccessibleDescription({});
        return;
    }
    const int n = PortMap::kFirstPort + index;
    const QString detail = m_List.itemData(index, PortComboBox::kDetailRole).toString();
    m_List.setToolTip(QObject::tr("%1 is %2\nMap... beside the list chooses another device.")
                          .arg(fromStd(PortMap::portName(n)), detail));
    m_List.setAccessibleDescription(detail);
}

std::vector<std::string> PortList::presentLines() const {
    return presentPortLines(m_Ports, m_Present);
}

std::vector<std::string> PortList::missingDeviceHelp(int portNumber) {
    refresh();
    const std::string name = PortMap::portName(portNumber);
    std::vector<std::string> lines;
    const std::vector<std::string> present = presentLines();
    if (present.empty()) {
        lines.push_back(
            "No serial device is present. Plug in the cable: a USB adapter gets a COM "
            "name of its own in the port list.");
        return lines;
    }
    lines.push_back("Serial devices present:");
    for (const std::string& line : present)
        lines.push_back("   " + line);
    lines.push_back(
        "Choose one of their COM names in the port list, or press Map... beside the "
        "list to set the device " +
        name + " stands for.");
    return lines;
}

void PortList::showMenu(const QPoint& position) {
    const int index = m_List.currentIndex();
    if (index < 0 || !m_List.isEnabled())
        return;
    const int n = PortMap::kFirstPort + index;
    QMenu menu(&m_Window);
    menu.addAction(QObject::tr("Device for %1...").arg(fromStd(PortMap::portName(n))),
                   [this, n] { editDevice(n); });
    menu.exec(m_List.mapToGlobal(position));
}

void PortList::editDevice(int portNumber) {
    refresh();
    const QString name = fromStd(PortMap::portName(portNumber));
    QString question = QObject::tr("Device for %1 (empty for %2):")
                           .arg(name, fromStd(PortMap::defaultDevice(portNumber)));
    const std::vector<std::string> present = presentLines();
    if (!present.empty()) {
        question += QStringLiteral("\n\n") + QObject::tr("Present now:");
        for (const std::string& line : present)
            question += QStringLiteral("\n   ") + fromStd(line);
    }
    std::optional<QString> answer;
    {
        PromptHold prompt(m_Pump);
        answer = m_Prompter.askText(&m_Window, QObject::tr("Serial device"), question,
                                    fromStd(m_Ports.device(portNumber)));
    }
    if (!answer)
        return;
    QString device = answer->trimmed();
    if (device == fromStd(PortMap::defaultDevice(portNumber)))
        device.clear();
    if (!device.isEmpty() && !device.startsWith(QLatin1Char('/'))) {
        PromptHold prompt(m_Pump);
        m_Prompter.message(&m_Window,
                           QObject::tr("A device is given by its full path, such as /dev/ttyUSB0."),
                           MessageIcon::Warning, {});
        return;
    }
    m_Ports.setDevice(portNumber, device.toStdString());
    // An adapter chosen by its present path: the name goes with it when it moves.
    for (const SerialDevice& d : m_Present)
        if (!device.isEmpty() && d.path == device.toStdString())
            m_Ports.setAdapter(portNumber, adapterKey(d));
    store(portNumber);
    updateToolTips();
}

void PortList::useDevice(const QString& device) {
    m_Ports.setDevice(1, device.toStdString());
    m_List.setCurrentIndex(0);
    updateToolTips();
}

}  // namespace zrk
