#include "app/BoundChoices.h"

#include <array>

#include "app/EnabledControls.h"
#include "app/PortList.h"
#include "app/SettingsStore.h"
#include "engine/LineSpeeds.h"
#include "serial/PortMap.h"
#include "ui_MainWindow.h"

namespace zrk {
namespace {
constexpr int kSpeedCount = static_cast<int>(kLineSpeeds.size());
constexpr int kPortCount = PortMap::kLastPort - PortMap::kFirstPort + 1;
}  // namespace

BoundChoices::BoundChoices(Ui::MainWindow& ui, SettingsStore& settings, PortList& ports)
    : m_Ui(ui), m_Settings(settings), m_Ports(ports) {
    // User actions only: pushing the bound values must not count as a change.
    connect(m_Ui.portList, &QComboBox::activated, this, &BoundChoices::onPortChanged);
    connect(m_Ui.speedList, &QComboBox::activated, this, &BoundChoices::onSpeedChanged);
    connect(m_Ui.autoDownloadBox, &QCheckBox::clicked, this,
            [this] { m_AutoDownload = m_AutoDownload == 1 ? 0 : 1; });
    connect(m_Ui.powerOnToggle, &QPushButton::clicked, this, &BoundChoices::readBack);
    connect(m_Ui.verifyBox, &QCheckBox::clicked, this, &BoundChoices::onVerifyBox);
    connect(m_Ui.startAddressBox, &QCheckBox::clicked, this, &BoundChoices::onStartAddressBox);
    for (QRadioButton* radio : {m_Ui.modeBinRadio, m_Ui.modeQixRadio, m_Ui.modeBinQixRadio})
        connect(radio, &QRadioButton::clicked, this, &BoundChoices::applyDownloadMode);
}

void BoundChoices::loadStored() {
    m_DownloadMode = static_cast<int>(DownloadMode::ModeBin);
    m_PowerOnAfterDownload = 0;
    // Kept between runs: a service desk that reads back every download wants it every time.
    m_VerifyAfterDownload = m_Settings.readInt(QStringLiteral("VerifyAfterDownload")) != 0;
    m_UseStartNorAddress = 0;
    m_AutoDownload = 0;
    // A stored index outside its list would leave the list without a selection and START
    // without a port; it falls back to the first entry instead.
    m_PortIndex = m_Settings.readInt(QStringLiteral("COM"));
    if (m_PortIndex < 0 || m_PortIndex >= kPortCount)
        m_PortIndex = 0;
    m_SpeedIndex = m_Settings.readInt(QStringLiteral("SPEED"));
    if (m_SpeedIndex < 0 || m_SpeedIndex >= kSpeedCount)
        m_SpeedIndex = 0;
}

void BoundChoices::readBack() {
    m_PortIndex = m_Ui.portList->currentIndex();
    m_SpeedIndex = m_Ui.speedList->currentIndex();
    if (m_Ui.modeBinRadio->isChecked())
        m_DownloadMode = static_cast<int>(DownloadMode::ModeBin);
    else if (m_Ui.modeQixRadio->isChecked())
        m_DownloadMode = static_cast<int>(DownloadMode::ModeQix);
    else if (m_Ui.modeBinQixRadio->isChecked())
        m_DownloadMode = static_cast<int>(DownloadMode::ModeBinAndQix);
    else
        m_DownloadMode = -1;
    m_PowerOnAfterDownload = m_Ui.powerOnToggle->isChecked() ? 1 : 0;
    m_VerifyAfterDownload = m_Ui.verifyBox->isChecked() ? 1 : 0;
    m_AutoDownload = m_Ui.autoDownloadBox->isChecked() ? 1 : 0;
}

void BoundChoices::pushToControls() {
    m_Ui.portList->setCurrentIndex(m_PortIndex);
    m_Ui.speedList->setCurrentIndex(m_SpeedIndex);
    // Radios are exclusive: with none to check, the group is emptied by lifting exclusivity.
    const std::array radios{m_Ui.modeBinRadio, m_Ui.modeQixRadio, m_Ui.modeBinQixRadio};
    for (int i = 0; i < 3; ++i) {
        radios[i]->setAutoExclusive(false);
        radios[i]->setChecked(i == m_DownloadMode);
        radios[i]->setAutoExclusive(true);
    }
    m_Ui.powerOnToggle->setChecked(m_PowerOnAfterDownload != 0);
    m_Ui.verifyBox->setChecked(m_VerifyAfterDownload != 0);
    m_Ui.autoDownloadBox->setChecked(m_AutoDownload != 0);
}

UserChoices BoundChoices::read() {
    readBack();
    UserChoices c;
    c.portIndex = m_PortIndex;
    c.speedIndex = m_SpeedIndex;
    c.downloadMode = static_cast<DownloadMode>(m_DownloadMode);
    c.powerOnAfterDownload = m_PowerOnAfterDownload != 0;
    c.verifyAfterDownload = m_VerifyAfterDownload != 0;
    c.autoDownload = m_AutoDownload != 0;
    c.useStartNorAddress = m_UseStartNorAddress != 0;
    c.startAddressText = m_Ui.startAddressField->text().toStdString();
    return c;
}

void BoundChoices::onPortChanged() {
    readBack();
    m_Settings.writeInt(QStringLiteral("COM"), m_PortIndex);
    m_Ports.updateToolTips();
}

void BoundChoices::onSpeedChanged() {
    readBack();
    m_Settings.writeInt(QStringLiteral("SPEED"), m_SpeedIndex);
}

void BoundChoices::onVerifyBox() {
    readBack();
    m_Settings.writeInt(QStringLiteral("VerifyAfterDownload"), m_VerifyAfterDownload);
}

void BoundChoices::onStartAddressBox() {
    if (m_UseStartNorAddress) {
        m_UseStartNorAddress = 0;
        m_Ui.startAddressField->setEnabled(false);
    } else {
        m_Ui.startAddressField->setText(QStringLiteral("10000000"));
        m_Ui.startAddressField->setEnabled(true);
        m_UseStartNorAddress = 1;
    }
    m_Ui.startAddressBox->setChecked(m_UseStartNorAddress != 0);
}

void BoundChoices::applyDownloadMode() {
    readBack();
    controls::applyModeRows(m_Ui, m_DownloadMode, m_UseStartNorAddress != 0, false);
}

}  // namespace zrk
