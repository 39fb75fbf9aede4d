#include "app/dialogs/StationRecipeForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>

#include "app/Prompter.h"
#include "app/SettingsStore.h"
#include "engine/LineSpeeds.h"
#include "engine/SectorMap.h"
#include "engine/StartAddress.h"

namespace zrk {

namespace {
QString fromStd(const std::string& text) {
    return QString::fromStdString(text);
}
}  // namespace

StationRecipeForm::StationRecipeForm(QWidget& window, Prompter& prompter)
    : m_Window(window), m_Prompter(prompter) {
    m_Box = new QGroupBox(tr("Recipe: every phone gets"));
    auto* form = new QFormLayout(m_Box);
    m_Mode = new QComboBox;
    m_Mode->addItems({tr("BIN"), tr("QIX"), tr("BIN + QIX")});
    m_Mode->setAccessibleName(tr("Download mode"));
    connect(m_Mode, &QComboBox::currentIndexChanged, this, &StationRecipeForm::applyMode);
    form->addRow(tr("&Mode:"), m_Mode);

    auto fileRow = [&](const QString& label, QLineEdit*& field, QPushButton*& button, QLabel*& info,
                       const QString& role, const QString& filter) {
        field = new QLineEdit;
        field->setReadOnly(true);
        field->setAccessibleName(tr("%1 file").arg(role));
        button = new QPushButton(tr("..."));
        button->setAccessibleName(tr("Choose the %1 file").arg(role));
        info = new QLabel;
        info->setAccessibleName(tr("%1 size and CRC-32").arg(role));
        connect(button, &QPushButton::clicked, this, [this, field, info, role, filter] {
            chooseFile(field, info, tr("%1 file").arg(role), filter);
        });
        auto* row = new QHBoxLayout;
        row->addWidget(field, 1);
        row->addWidget(button);
        // The mnemonic opens the file choice: the field itself only shows the path.
        auto* name = new QLabel(label);
        name->setBuddy(button);
        form->addRow(name, row);
        form->addRow(QString(), info);
    };
    fileRow(tr("&BIN:"), m_Bin, m_BinButton, m_BinInfo, QStringLiteral("BIN"),
            tr("Firmware (*.bin);;All files (*)"));
    fileRow(tr("&QIX:"), m_Qix, m_QixButton, m_QixInfo, QStringLiteral("QIX"),
            tr("File system (*.qix);;All files (*)"));

    m_UseStart = new QCheckBox(tr("NOR start &address:"));
    m_UseStart->setAccessibleDescription(tr("Writes the firmware from this NOR address"));
    m_StartAddress = new QLineEdit;
    m_StartAddress->setAccessibleName(tr("NOR start address"));
    // The hint is an address the field takes: the flash's first, with the range beside it.
    const QString firstAddress = QString::asprintf("0x%08X", NOR_BASE);
    const QString lastAddress = QString::asprintf("0x%08X", NOR_BASE + SectorMap::kFlashBytes - 1);
    m_StartAddress->setPlaceholderText(firstAddress);
    const QString range = tr("A sector's first address, %1 to %2").arg(firstAddress, lastAddress);
    m_StartAddress->setToolTip(range);
    m_StartAddress->setAccessibleDescription(range);
    connect(m_UseStart, &QCheckBox::toggled, m_StartAddress, &QWidget::setEnabled);
    form->addRow(m_UseStart, m_StartAddress);

    m_CodePage = new QLineEdit;
    m_CodePage->setAccessibleName(tr("Code page of the .cfg names"));
    m_CodePage->setPlaceholderText(tr("this system's"));
    form->addRow(tr("&Code page:"), m_CodePage);

    m_Speed = new QComboBox;
    for (const auto speed : kLineSpeeds)
        m_Speed->addItem(QString::number(speed));
    m_Speed->setAccessibleName(tr("Speed"));
    form->addRow(tr("&Speed:"), m_Speed);

    m_Verify = new QCheckBox(tr("&Verify after download"));
    m_PowerOn = new QCheckBox(tr("&Power on after download"));
    form->addRow(m_Verify);
    form->addRow(m_PowerOn);
}

void StationRecipeForm::describe(QLineEdit* field, QLabel* info, const QString& role) {
    if (field->text().isEmpty()) {
        info->clear();
        return;
    }
    const report::ImageRecord image =
        report::describeImage(role.toStdString(), field->text().toStdString());
    if (!image.size) {
        info->setText(tr("cannot be read"));
        return;
    }
    info->setText(
        tr("%1 bytes, CRC-32 %2").arg(*image.size).arg(*image.crc32, 8, 16, QLatin1Char('0')));
}

void StationRecipeForm::chooseFile(QLineEdit* field, QLabel* info, const QString& title,
                                   const QString& filter) {
    FileDialogRequest request;
    request.title = title;
    request.nameFilters = filter.split(QStringLiteral(";;"));
    request.initialPath = field->text();
    const QString path = m_Prompter.openFile(&m_Window, request);
    if (path.isEmpty())
        return;
    field->setText(path);
    describe(field, info, title);
}

void StationRecipeForm::applyMode() {
    const int mode = m_Mode->currentIndex();
    for (QWidget* w : {static_cast<QWidget*>(m_Bin), static_cast<QWidget*>(m_BinButton)})
        w->setEnabled(mode != 1);
    for (QWidget* w : {static_cast<QWidget*>(m_Qix), static_cast<QWidget*>(m_QixButton),
                       static_cast<QWidget*>(m_CodePage)})
        w->setEnabled(mode != 0);
}

station::Recipe StationRecipeForm::recipe() const {
    station::Recipe r;
    r.mode = static_cast<DownloadMode>(m_Mode->currentIndex());
    r.binPath = m_Bin->text().toStdString();
    r.qixPath = m_Qix->text().toStdString();
    if (!r.qixPath.empty())
        r.cfgPath = deriveCfgPath(m_Qix->text()).toStdString();
    r.useStartAddress = m_UseStart->isChecked();
    r.startAddressText = m_StartAddress->text().toStdString();
    r.codePage = m_CodePage->text().trimmed().toStdString();
    r.verify = m_Verify->isChecked();
    r.powerOn = m_PowerOn->isChecked();
    r.speedIndex = m_Speed->currentIndex();
    return r;
}

void StationRecipeForm::setRecipe(const station::Recipe& r) {
    m_Mode->setCurrentIndex(static_cast<int>(r.mode));
    m_Bin->setText(fromStd(r.binPath));
    m_Qix->setText(fromStd(r.qixPath));
    describe(m_Bin, m_BinInfo, QStringLiteral("BIN"));
    describe(m_Qix, m_QixInfo, QStringLiteral("QIX"));
    m_UseStart->setChecked(r.useStartAddress);
    m_StartAddress->setEnabled(r.useStartAddress);
    m_StartAddress->setText(fromStd(r.startAddressText));
    m_CodePage->setText(fromStd(r.codePage));
    m_Verify->setChecked(r.verify);
    m_PowerOn->setChecked(r.powerOn);
    m_Speed->setCurrentIndex(validSpeedIndex(r.speedIndex) ? r.speedIndex : 0);
    applyMode();
}

void StationRecipeForm::load(const SettingsStore& settings) {
    auto text = [&settings](const char* key) { return settings.readString(QLatin1String(key)); };
    auto flag = [&settings](const char* key) { return settings.readInt(QLatin1String(key)) != 0; };
    station::Recipe r;
    r.mode = static_cast<DownloadMode>(std::clamp(settings.readInt("StationMode"), 0, 2));
    r.binPath = text("StationBin").toStdString();
    r.qixPath = text("StationQix").toStdString();
    r.useStartAddress = flag("StationUseStartAddress");
    r.startAddressText = text("StationStartAddress").toStdString();
    r.codePage = text("StationCodePage").toStdString();
    r.verify = flag("StationVerify");
    r.powerOn = flag("StationPowerOn");
    r.speedIndex = settings.readInt(QStringLiteral("StationSpeed"));
    setRecipe(r);
}

void StationRecipeForm::store(SettingsStore& settings) const {
    const station::Recipe r = recipe();
    settings.writeInt(QStringLiteral("StationMode"), static_cast<int>(r.mode));
    settings.writeString(QStringLiteral("StationBin"), m_Bin->text());
    settings.writeString(QStringLiteral("StationQix"), m_Qix->text());
    settings.writeInt(QStringLiteral("StationUseStartAddress"), r.useStartAddress);
    settings.writeString(QStringLiteral("StationStartAddress"), m_StartAddress->text());
    settings.writeString(QStringLiteral("StationCodePage"), m_CodePage->text().trimmed());
    settings.writeInt(QStringLiteral("StationVerify"), r.verify);
    settings.writeInt(QStringLiteral("StationPowerOn"), r.powerOn);
    settings.writeInt(QStringLiteral("StationSpeed"), r.speedIndex);
}

}  // namespace zrk
