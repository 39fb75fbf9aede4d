#include "app/dialogs/StationWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

#include "app/Prompter.h"
#include "app/SerialScanner.h"
#include "app/SettingsStore.h"
#include "app/dialogs/StationTile.h"
#include "engine/LineSpeeds.h"
#include "engine/SectorMap.h"
#include "engine/StartAddress.h"
#include "serial/PortMap.h"

namespace zrk {

namespace {
QString fromStd(const std::string& text) {
    return QString::fromStdString(text);
}
}  // namespace

StationWindow::StationWindow(SettingsStore& settings, Prompter& prompter, QWidget* parent)
    : QDialog(parent), m_Settings(settings), m_Prompter(prompter) {
    setWindowTitle(tr("Station - ZR-K410 Downloader"));
    setAccessibleName(tr("Station"));
    setSizeGripEnabled(true);
    auto* top = new QHBoxLayout;
    top->addWidget(buildPorts(), 1);
    top->addWidget(buildRecipe(), 3);
    top->addWidget(buildRun(), 2);

    auto* tilesHost = new QWidget;
    m_TileGrid = new QGridLayout(tilesHost);
    m_TileGrid->setContentsMargins(0, 0, 0, 0);
    m_TileGrid->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    auto* scroll = new QScrollArea;
    scroll->setWidget(tilesHost);
    scroll->setWidgetResizable(true);
    scroll->setAccessibleName(tr("Port tiles"));

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(scroll, 1);

    m_Timer = new QTimer(this);
    m_Timer->setInterval(100);
    connect(m_Timer, &QTimer::timeout, this, &StationWindow::drainEvents);
    m_Timer->start();

    loadRecipe();
    resize(1100, 760);
}

StationWindow::~StationWindow() {
    endRunners();
}

QWidget* StationWindow::buildPorts() {
    auto* box = new QGroupBox(tr("Ports"));
    auto* v = new QVBoxLayout(box);
    m_Ports = new QListWidget;
    m_Ports->setAccessibleName(tr("Ports to serve"));
    m_Ports->setAccessibleDescription(
        tr("Check every port with a cable; Space checks the "
           "selected one"));
    fillPorts();
    m_AddDevice = new QPushButton(tr("&Add device path..."));
    m_AddDevice->setAccessibleDescription(
        tr("Serves a serial device by its path, such as "
           "/dev/ttyUSB0"));
    connect(m_AddDevice, &QPushButton::clicked, this, [this] {
        const auto path =
            m_Prompter.askText(this, tr("Serial device"), tr("Device path:"), tr("/dev/ttyUSB0"));
        if (path && !path->trimmed().isEmpty())
            addDevicePath(path->trimmed());
    });
    v->addWidget(m_Ports);
    v->addWidget(m_AddDevice);
    return box;
}

void StationWindow::fillPorts() {
    const QStringList checked =
        m_Settings.readString(QStringLiteral("StationPorts")).split(',', Qt::SkipEmptyParts);
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
    fitPortsToText();
}

// Long paths (/dev/serial/by-id/usb-...) differ only at their ends: the list is as wide as
// they are, within reason, and what still does not fit loses its beginning, not its end.
void StationWindow::fitPortsToText() {
    m_Ports->setTextElideMode(Qt::ElideLeft);
    const int wanted = m_Ports->sizeHintForColumn(0) + 2 * m_Ports->frameWidth() +
                       m_Ports->verticalScrollBar()->sizeHint().width() + 4;
    m_Ports->setMinimumWidth(std::min(wanted, 520));
}

void StationWindow::addDevicePath(const QString& path) {
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
    fitPortsToText();
}

void StationWindow::setPortChecked(const QString& name, bool on) {
    for (int i = 0; i < m_Ports->count(); ++i)
        if (m_Ports->item(i)->data(Qt::UserRole).toString() == name)
            m_Ports->item(i)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
}

QWidget* StationWindow::buildRecipe() {
    auto* box = new QGroupBox(tr("Recipe: every phone gets"));
    m_Recipe = box;
    auto* form = new QFormLayout(box);
    m_Mode = new QComboBox;
    m_Mode->addItems({tr("BIN"), tr("QIX"), tr("BIN + QIX")});
    m_Mode->setAccessibleName(tr("Download mode"));
    connect(m_Mode, &QComboBox::currentIndexChanged, this, &StationWindow::applyMode);
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
    return box;
}

QWidget* StationWindow::buildRun() {
    auto* box = new QGroupBox(tr("Run"));
    auto* v = new QVBoxLayout(box);
    m_Loop = new QCheckBox(tr("&Loop: wait for the next phone on each cable"));
    m_Loop->setAccessibleDescription(tr("After a phone is done its port waits for the next one"));
    v->addWidget(m_Loop);
    auto* reportRow = new QHBoxLayout;
    m_ReportFolder = new QLineEdit;
    m_ReportFolder->setAccessibleName(tr("Report folder"));
    m_ReportFolder->setAccessibleDescription(tr("One report per phone is written here"));
    m_ReportFolder->setPlaceholderText(tr("no reports"));
    m_ReportButton = new QPushButton(tr("..."));
    m_ReportButton->setAccessibleName(tr("Choose the report folder"));
    connect(m_ReportButton, &QPushButton::clicked, this, [this] {
        const QString folder = m_Prompter.chooseFolder(this, tr("Report folder"));
        if (!folder.isEmpty())
            m_ReportFolder->setText(folder);
    });
    reportRow->addWidget(new QLabel(tr("Reports:")));
    reportRow->addWidget(m_ReportFolder, 1);
    reportRow->addWidget(m_ReportButton);
    v->addLayout(reportRow);
    m_StartAll = new QPushButton(tr("S&tart all"));
    m_StartAll->setAccessibleDescription(tr("Opens every checked port and runs the recipe"));
    m_StopAll = new QPushButton(tr("St&op all"));
    m_StopAll->setAccessibleDescription(tr("Ends the work on every port and closes its link"));
    m_StopAll->setEnabled(false);
    m_SaveReport = new QPushButton(tr("Save &report..."));
    m_SaveReport->setAccessibleDescription(tr("Writes the report of every phone of this run"));
    connect(m_StartAll, &QPushButton::clicked, this, &StationWindow::startAll);
    connect(m_StopAll, &QPushButton::clicked, this, [this] {
        if (mayInterrupt())
            stopAll();
    });
    connect(m_SaveReport, &QPushButton::clicked, this, &StationWindow::saveReport);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_StartAll);
    buttons->addWidget(m_StopAll);
    v->addLayout(buttons);
    v->addWidget(m_SaveReport);
    m_Status = new QLabel;
    m_Status->setWordWrap(true);
    m_Status->setAccessibleName(tr("Station status"));
    v->addWidget(m_Status);
    v->addStretch(1);
    return box;
}

void StationWindow::describe(QLineEdit* field, QLabel* info, const QString& role) {
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

void StationWindow::chooseFile(QLineEdit* field, QLabel* info, const QString& title,
                               const QString& filter) {
    FileDialogRequest request;
    request.title = title;
    request.nameFilters = filter.split(QStringLiteral(";;"));
    request.initialPath = field->text();
    const QString path = m_Prompter.openFile(this, request);
    if (path.isEmpty())
        return;
    field->setText(path);
    describe(field, info, title);
}

void StationWindow::applyMode() {
    const int mode = m_Mode->currentIndex();
    for (QWidget* w : {static_cast<QWidget*>(m_Bin), static_cast<QWidget*>(m_BinButton)})
        w->setEnabled(mode != 1);
    for (QWidget* w : {static_cast<QWidget*>(m_Qix), static_cast<QWidget*>(m_QixButton),
                       static_cast<QWidget*>(m_CodePage)})
        w->setEnabled(mode != 0);
}

station::Recipe StationWindow::recipe() const {
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

void StationWindow::setRecipe(const station::Recipe& r) {
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

void StationWindow::setLoop(bool on) {
    m_Loop->setChecked(on);
}

void StationWindow::setReportFolder(const QString& folder) {
    m_ReportFolder->setText(folder);
}

void StationWindow::loadRecipe() {
    auto text = [this](const char* key) { return m_Settings.readString(QLatin1String(key)); };
    auto flag = [this](const char* key) { return m_Settings.readInt(QLatin1String(key)) != 0; };
    station::Recipe r;
    r.mode = static_cast<DownloadMode>(std::clamp(m_Settings.readInt("StationMode"), 0, 2));
    r.binPath = text("StationBin").toStdString();
    r.qixPath = text("StationQix").toStdString();
    r.useStartAddress = flag("StationUseStartAddress");
    r.startAddressText = text("StationStartAddress").toStdString();
    r.codePage = text("StationCodePage").toStdString();
    r.verify = flag("StationVerify");
    r.powerOn = flag("StationPowerOn");
    r.speedIndex = m_Settings.readInt(QStringLiteral("StationSpeed"));
    setRecipe(r);
    m_Loop->setChecked(flag("StationLoop"));
    m_ReportFolder->setText(text("StationReportFolder"));
}

void StationWindow::storeRecipe() {
    const station::Recipe r = recipe();
    m_Settings.writeInt(QStringLiteral("StationMode"), static_cast<int>(r.mode));
    m_Settings.writeString(QStringLiteral("StationBin"), m_Bin->text());
    m_Settings.writeString(QStringLiteral("StationQix"), m_Qix->text());
    m_Settings.writeInt(QStringLiteral("StationUseStartAddress"), r.useStartAddress);
    m_Settings.writeString(QStringLiteral("StationStartAddress"), m_StartAddress->text());
    m_Settings.writeString(QStringLiteral("StationCodePage"), m_CodePage->text().trimmed());
    m_Settings.writeInt(QStringLiteral("StationVerify"), r.verify);
    m_Settings.writeInt(QStringLiteral("StationPowerOn"), r.powerOn);
    m_Settings.writeInt(QStringLiteral("StationSpeed"), r.speedIndex);
    m_Settings.writeInt(QStringLiteral("StationLoop"), m_Loop->isChecked());
    m_Settings.writeString(QStringLiteral("StationReportFolder"), m_ReportFolder->text());
    QStringList checked;
    for (int i = 0; i < m_Ports->count(); ++i)
        if (m_Ports->item(i)->checkState() == Qt::Checked)
            checked << m_Ports->item(i)->data(Qt::UserRole).toString();
    m_Settings.writeString(QStringLiteral("StationPorts"), checked.join(','));
}

}  // namespace zrk
