#include "app/SettingsStore.h"

#include "filesystem/QixConfig.h"

#include "serial/PortMap.h"

namespace zrk {
namespace {
const QString kGroup = QStringLiteral("Setting/");
const QString kPortsGroup = QStringLiteral("Ports/");
}  // namespace

SettingsStore::SettingsStore()
    : m_Settings(std::make_unique<QSettings>(QString::fromLatin1(kOrganisation),
                                             QString::fromLatin1(kApplication))) {}

SettingsStore::SettingsStore(const QString& iniFile)
    : m_Settings(std::make_unique<QSettings>(iniFile, QSettings::IniFormat)) {}

int SettingsStore::readInt(const QString& key) const {
    bool ok = false;
    const int value = m_Settings->value(kGroup + key).toInt(&ok);
    return ok ? value : 0;
}

QString SettingsStore::readString(const QString& key) const {
    return m_Settings->value(kGroup + key).toString();
}

void SettingsStore::writeInt(const QString& key, int value) {
    m_Settings->setValue(kGroup + key, value);
    m_Settings->sync();
}

void SettingsStore::writeString(const QString& key, const QString& value) {
    m_Settings->setValue(kGroup + key, value);
    m_Settings->sync();
}

QString SettingsStore::portDevice(int portNumber) const {
    return m_Settings->value(kPortsGroup + QString::fromStdString(PortMap::portName(portNumber)))
        .toString();
}

void SettingsStore::setPortDevice(int portNumber, const QString& device) {
    const QString key = kPortsGroup + QString::fromStdString(PortMap::portName(portNumber));
    if (device.isEmpty())
        m_Settings->remove(key);
    else
        m_Settings->setValue(key, device);
    m_Settings->sync();
}

QString SettingsStore::portAdapter(int portNumber) const {
    return m_Settings
        ->value(kPortsGroup + QString::fromStdString(PortMap::portName(portNumber)) +
                QStringLiteral(".adapter"))
        .toString();
}

void SettingsStore::setPortAdapter(int portNumber, const QString& adapter) {
    const QString key = kPortsGroup + QString::fromStdString(PortMap::portName(portNumber)) +
                        QStringLiteral(".adapter");
    if (adapter.isEmpty())
        m_Settings->remove(key);
    else
        m_Settings->setValue(key, adapter);
    m_Settings->sync();
}

QString deriveCfgPath(const QString& qixPath) {
    return QString::fromStdString(configPathFor(qixPath.toStdString()));
}

}  // namespace zrk
