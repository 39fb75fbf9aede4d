#include "app/dialogs/StationPortList.h"

#include <QGroupBox>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>

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

StationPortList::StationPortList(QWidget& window, const SettingsStore& settings, Prompter& prompter)
    : m_Window(window), m_Prompter(prompter) {
    m_Box = new QGroupBox(tr("Ports"));
    auto* v = new QVBoxLayout(m_Box);
    m_Ports = new QListWidget;
    m_Ports->setAccessibleName(tr("Ports to serve"));
    m_Ports->setAccessibleDescription(
        tr("Check every port with a cable; Space checks the "
           "selected one"));
    fill(settings);
    m_AddDevice = new QPushButton(tr("&Add device path..."));
    m_AddDevice->setAccessibleDescription(
        tr("Serves a serial device by its path, such as "
           "/dev/ttyUSB0"));
    connect(m_AddDevice, &QPushButton::clicked, this, [this] {
        const auto path = m_Prompter.askText(&m_Window, tr("Serial device"), tr("Device path:"),
                                             tr("/dev/ttyUSB0"));
        if (path && !path->trimmed().isEmpty())
            addDevicePath(path->trimmed());
    });
    v->addWidget(m_Ports);
    v->addWidget(m_AddDevice);
}

void StationPortList::fill(const SettingsStore& settings) {
    const QStringList checked =
        settings.readString(QStringLiteral("StationPorts")).split(',', Qt::SkipEmptyParts);
    auto addItem = [this, &checked](const QString& key, const QString& device,
                                    const QString& text) {
        auto* item = new QListWidgetItem(text, m_Ports);
        item->setData(Qt::UserRole, key);
        item->setData(Qt::UserRole + 1, device);
        item->setToolTip(text);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(checked.contains(key) ? Qt::Checked : Qt::Unchecked);
    };
    // The cables plugged in come first, by their names where they have one; then the names
    // whose device is not here.
    std::vector<bool> listed(PortMap::kLastPort + 1, false);
    for (const SerialDevice& d : scanSerialDevices()) {
        if (d.kind == SerialKind::PseudoTerminal)
            continue;
        const QString line = fromStd(portLine(portMap(), d));
        if (const auto n = portMap().nameOf(d.path); n && !listed[*n]) {
            listed[*n] = true;
            addItem(fromStd(PortMap::portName(*n)), fromStd(d.path), line);
        } else if (!n) {
            addItem(fromStd(d.path), fromStd(d.path), line);
        }
    }
    for (int n = PortMap::kFirstPort; n <= PortMap::kLastPort; ++n) {
        if (listed[n])
            continue;
        const QString name = fromStd(PortMap::portName(n));
        addItem(name, fromStd(portMap().device(n)),
                tr("%1  %2").arg(name, fromStd(portMap().device(n))));
    }
    for (const QString& name : checked)
        if (name.startsWith('/'))
            addDevicePath(name);
    fitToText();
}

// Long paths (/dev/serial/by-id/usb-...) differ only at their ends: the list is as wide as
// they are, within reason, and what still does not fit loses its beginning, not its end.
void StationPortList::fitToText() {
    m_Ports->setTextElideMode(Qt::ElideLeft);
    const int wanted = m_Ports->sizeHintForColumn(0) + 2 * m_Ports->frameWidth() +
                       m_Ports->verticalScrollBar()->sizeHint().width() + 4;
    m_Ports->setMinimumWidth(std::min(wanted, 520));
}

void StationPortList::addDevicePath(const QString& path) {
    for (int i = 0; i < m_Ports->count(); ++i)
        if (m_Ports->item(i)->data(Qt::UserRole).toString() == path) {
            m_Ports->item(i)->setCheckState(Qt::Checked);
            return;
        }
    auto* item = new QListWidgetItem(path, m_Ports);
    item->setData(Qt::UserRole, path);
    item->setData(Qt::UserRole + 1, path);
    item->setToolTip(path);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Checked);
    fitToText();
}

void StationPortList::setPortChecked(const QString& name, bool on) {
    for (int i = 0; i < m_Ports->count(); ++i)
        if (m_Ports->item(i)->data(Qt::UserRole).toString() == name)
            m_Ports->item(i)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
}

void StationPortList::setEnabled(bool on) {
    m_Ports->setEnabled(on);
    m_AddDevice->setEnabled(on);
}

std::vector<station::PortTarget> StationPortList::checkedTargets() const {
    std::vector<station::PortTarget> targets;
    for (int i = 0; i < m_Ports->count(); ++i) {
        const QListWidgetItem* item = m_Ports->item(i);
        if (item->checkState() == Qt::Checked)
            targets.push_back({item->data(Qt::UserRole).toString().toStdString(),
                               item->data(Qt::UserRole + 1).toString().toStdString(),
                               {}});
    }
    return targets;
}

void StationPortList::store(SettingsStore& settings) const {
    QStringList checked;
    for (int i = 0; i < m_Ports->count(); ++i)
        if (m_Ports->item(i)->checkState() == Qt::Checked)
            checked << m_Ports->item(i)->data(Qt::UserRole).toString();
    settings.writeString(QStringLiteral("StationPorts"), checked.join(','));
}

}  // namespace zrk
