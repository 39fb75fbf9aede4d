#include "app/dialogs/SectorSelectDialog.h"

#include <QListWidgetItem>
#include <QMessageBox>
#include <algorithm>

#include "app/DialogUnits.h"
#include "engine/SectorMap.h"
#include "engine/StartAddress.h"
#include "ui_SectorSelectDialog.h"

namespace zrk {

SectorSelectDialog::SectorSelectDialog(const SectorMap& map, std::vector<std::int32_t>& flags,
                                       QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      m_Ui(std::make_unique<Ui::SectorSelectDialog>()),
      m_Flags(flags),
      m_Count(std::min<int>(map.count(), static_cast<int>(flags.size()))) {
    m_Ui->setupUi(this);
    setFont(sansFont());
    // The columns of the lines only line up in a fixed-pitch face.
    m_Ui->sectorList->setFont(fixedFont());
    m_Ui->sectorList->setAccessibleName(QStringLiteral("Sectors"));
    m_Ui->fromList->setAccessibleName(QStringLiteral("From sector"));
    m_Ui->toList->setAccessibleName(QStringLiteral("To sector"));
    m_Ui->fromLabel->setBuddy(m_Ui->fromList);
    m_Ui->toLabel->setBuddy(m_Ui->toList);
    applyDialogUnits(this);

    m_Ui->sectorList->setUpdatesEnabled(false);
    for (int i = 0; i < m_Count; ++i) {
        auto* item = new QListWidgetItem(sectorLine(map, i), m_Ui->sectorList);
        // Without ItemIsUserCheckable the mark is drawn but a click or the space bar cannot
        // change it: only the handlers below do.
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        item->setData(Qt::CheckStateRole, m_Flags[i] ? Qt::Checked : Qt::Unchecked);
        const QString number = QString::asprintf("%03d", i);
        m_Ui->fromList->addItem(number);
        m_Ui->toList->addItem(number);
    }
    m_Ui->sectorList->setUpdatesEnabled(true);
    m_Ui->fromList->setCurrentIndex(m_Count > 0 ? 0 : -1);
    m_Ui->toList->setCurrentIndex(m_Count > 0 ? 0 : -1);

    connect(m_Ui->sectorList, &QListWidget::itemDoubleClicked, this, &SectorSelectDialog::toggle);
    connect(m_Ui->selectAllButton, &QPushButton::clicked, this, &SectorSelectDialog::selectAll);
    connect(m_Ui->clearAllButton, &QPushButton::clicked, this, &SectorSelectDialog::clearAll);
    connect(m_Ui->invertButton, &QPushButton::clicked, this, &SectorSelectDialog::invert);
    connect(m_Ui->rangeButton, &QPushButton::clicked, this, &SectorSelectDialog::selectRange);
}

SectorSelectDialog::~SectorSelectDialog() = default;

QString SectorSelectDialog::sectorLine(const SectorMap& map, int i) {
    const SectorRecord& sector = map[i];
    const std::uint32_t start = NOR_BASE + sector.byteOffset();
    const std::uint32_t end = start + sector.byteSize() - 1;
    const int kilobytes = static_cast<int>(sector.byteSize() >> 10);
    return QString::asprintf("%03d: 0x%07X ~ 0x%07X (%2dKBytes)", i, start, end, kilobytes);
}

void SectorSelectDialog::warn(const QString& text) {
    if (m_Warning)
        m_Warning(this, text);
    else
        QMessageBox::warning(this, windowTitle(), text);
}

void SectorSelectDialog::accept() {
    if (std::none_of(m_Flags.begin(), m_Flags.begin() + m_Count,
                     [](std::int32_t flag) { return flag != 0; })) {
        warn(QStringLiteral("No sector selected!"));
        return;
    }
    QDialog::accept();
}

void SectorSelectDialog::setFlag(int i, std::int32_t value) {
    m_Flags[i] = value;
    m_Ui->sectorList->item(i)->setData(Qt::CheckStateRole, value ? Qt::Checked : Qt::Unchecked);
}

void SectorSelectDialog::toggle(QListWidgetItem* item) {
    // The line double-clicked is the selected one; without a selection nothing changes.
    const int i = item ? m_Ui->sectorList->row(item) : m_Ui->sectorList->currentRow();
    if (i < 0 || i >= m_Count)
        return;
    setFlag(i, m_Flags[i] == 0 ? 1 : 0);
}

void SectorSelectDialog::selectAll() {
    for (int i = 0; i < m_Count; ++i)
        setFlag(i, 1);
}

void SectorSelectDialog::clearAll() {
    for (int i = 0; i < m_Count; ++i)
        setFlag(i, 0);
}

void SectorSelectDialog::invert() {
    for (int i = 0; i < m_Count; ++i)
        setFlag(i, m_Flags[i] != 0 ? 0 : 1);
}

void SectorSelectDialog::selectRange() {
    const int from = m_Ui->fromList->currentIndex();
    const int to = m_Ui->toList->currentIndex();
    if (from < 0 || to < from) {
        warn(QStringLiteral("Selection Error!"));
        return;
    }
    for (int i = from; i <= to && i < m_Count; ++i)
        setFlag(i, 1);
}

}  // namespace zrk
