#include "app/PortList.h"

#include <QComboBox>
#include <QMenu>

#include "app/LinkPump.h"
#include "app/Prompter.h"
#include "app/SettingsStore.h"
#include "serial/PortMap.h"

namespace zrk {
namespace {
QString fromStd(const std::string& text) {
    return QString::fromStdString(text);
}
}  // namespace

PortList::PortList(QComboBox& list, PortMap& ports, SettingsStore& settings, Prompter& prompter,
                   LinkPump& pump, QWidget& window)
    : QObject(&window),
      m_List(list),
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
    }
    m_List.setMaxVisibleItems(PortMap::kLastPort - PortMap::kFirstPort + 1);
    m_List.setContextMenuPolicy(Qt::CustomContextMenu);
    connect(&m_List, &QWidget::customContextMenuRequested, this, &PortList::showMenu);
}

void PortList::updateToolTips() {
    for (int i = 0; i < m_List.count(); ++i) {
        const int n = PortMap::kFirstPort + i;
        m_List.setItemData(i, fromStd(m_Ports.device(n)), Qt::ToolTipRole);
    }
    const int index = m_List.currentIndex();
    if (index < 0) {
        m_List.setToolTip({});
        return;
    }
    const int n = PortMap::kFirstPort + index;
    m_List.setToolTip(QObject::tr("%1 is %2\nRight-click to choose another device.")
                          .arg(fromStd(PortMap::portName(n)), fromStd(m_Ports.device(n))));
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
    const QString name = fromStd(PortMap::portName(portNumber));
    PromptHold prompt(m_Pump);
    const auto answer =
        m_Prompter.askText(&m_Window, QObject::tr("Serial device"),
                           QObject::tr("Device for %1 (empty for %2):")
                               .arg(name, fromStd(PortMap::defaultDevice(portNumber))),
                           fromStd(m_Ports.device(portNumber)));
    if (!answer)
        return;
    QString device = answer->trimmed();
    if (device == fromStd(PortMap::defaultDevice(portNumber)))
        device.clear();
    if (!device.isEmpty() && !device.startsWith(QLatin1Char('/'))) {
        m_Prompter.message(&m_Window,
                           QObject::tr("A device is given by its full path, such as /dev/ttyUSB0."),
                           MessageIcon::Warning, {});
        return;
    }
    m_Ports.setDevice(portNumber, device.toStdString());
    m_Settings.setPortDevice(portNumber, device);
    updateToolTips();
}

void PortList::useDevice(const QString& device) {
    m_Ports.setDevice(1, device.toStdString());
    m_List.setCurrentIndex(0);
    updateToolTips();
}

}  // namespace zrk
