#include "app/dialogs/StationTile.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>

#include "app/ProgressRate.h"
#include "engine/ProgressText.h"

namespace zrk {

namespace {
QString fromStd(const std::string& text) {
    return QString::fromStdString(text);
}
QString clock(double seconds) {
    return QString::fromStdString(formatDuration(seconds));
}
}  // namespace

StationTile::StationTile(const QString& port, const QString& device, QWidget* parent)
    : QFrame(parent), m_Port(port) {
    setFrameShape(QFrame::StyledPanel);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    setMinimumWidth(230);
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(8, 6, 8, 6);
    grid->setVerticalSpacing(2);
    m_Title = new QLabel(this);
    QFont bold = m_Title->font();
    bold.setBold(true);
    m_Title->setFont(bold);
    m_Stage = new QLabel(this);
    m_Bar = new QProgressBar(this);
    m_Bar->setRange(0, 1000);
    m_Bar->setValue(0);
    m_Bar->setAccessibleName(tr("%1 progress").arg(port));
    m_Rate = new QLabel(this);
    m_Flash = new QLabel(this);
    m_Result = new QLabel(this);
    // Readable from across the bench, whether the font is sized in points or in pixels.
    QFont big = m_Result->font();
    if (big.pointSizeF() > 0)
        big.setPointSizeF(big.pointSizeF() * 2.4);
    else
        big.setPixelSize(big.pixelSize() * 12 / 5);
    big.setBold(true);
    m_Result->setFont(big);
    m_Result->setAlignment(Qt::AlignCenter);
    m_Result->setMinimumHeight(QFontMetrics(big).height() + 4);
    m_Result->setAutoFillBackground(true);
    m_Cause = new QLabel(this);
    m_Cause->setWordWrap(true);
    m_Cause->setTextInteractionFlags(Qt::NoTextInteraction);
    // Two lines always kept, so that every tile of a row has the same height.
    m_Cause->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_Cause->setMinimumHeight(2 * m_Cause->fontMetrics().lineSpacing());
    m_Counts = new QLabel(this);
    m_Elapsed = new QLabel(this);
    m_Elapsed->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_Stop = new QPushButton(tr("Stop"), this);
    m_Stop->setAccessibleName(tr("Stop %1").arg(port));
    m_Stop->setAccessibleDescription(tr("Ends the work on %1 and closes its link").arg(port));
    m_Stop->setEnabled(false);
    connect(m_Stop, &QPushButton::clicked, this, &StationTile::stopRequested);

    grid->addWidget(m_Title, 0, 0, 1, 2);
    grid->addWidget(m_Stop, 0, 2);
    grid->addWidget(m_Stage, 1, 0, 1, 3);
    grid->addWidget(m_Bar, 2, 0, 1, 3);
    grid->addWidget(m_Rate, 3, 0, 1, 3);
    grid->addWidget(m_Flash, 4, 0, 1, 3);
    grid->addWidget(m_Result, 5, 0, 1, 3);
    grid->addWidget(m_Cause, 6, 0, 1, 3);
    grid->addWidget(m_Counts, 7, 0, 1, 2);
    grid->addWidget(m_Elapsed, 7, 2);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(8, 1);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);

    setDevice(device);
    setState(station::PortState::Idle, Clock::now());
    m_Counts->setText(tr("passed 0, failed 0"));
}

void StationTile::setDevice(const QString& device) {
    m_Title->setText(device.isEmpty() || device == m_Port ? m_Port
                                                          : tr("%1  %2").arg(m_Port, device));
    m_Title->setToolTip(device);
    refreshAccessible();
}

void StationTile::setState(station::PortState state, Clock::time_point now) {
    m_State = state;
    m_Stage->setText(QString::fromLatin1(station::portStateWords(state)));
    const bool working =
        state == station::PortState::Waiting || state == station::PortState::BringingUp ||
        state == station::PortState::Downloading || state == station::PortState::Verifying ||
        state == station::PortState::Done || state == station::PortState::Failed;
    m_Stop->setEnabled(working);
    if (state == station::PortState::BringingUp) {
        // A new phone: its time starts now, its bar is empty, the last result stays up until
        // this one has its own.
        m_PhoneStarted = now;
        m_Timing = true;
        m_Bar->setValue(0);
        m_Rate->clear();
    } else if (state == station::PortState::Waiting) {
        // The last phone's result stays up; the bar and rate are the next phone's.
        m_Timing = false;
        m_Bar->setValue(0);
        m_Rate->clear();
    }
    tick(now);
    refreshAccessible();
}

void StationTile::setProgress(std::uint64_t position, std::uint64_t total, double rate,
                              ProgressUnit unit) {
    m_Bar->setValue(
        total ? static_cast<int>(std::min<std::uint64_t>(position, total) * 1000 / total) : 0);
    if (rate <= 0 || total == 0) {
        m_Rate->clear();
        return;
    }
    QString text = fromStd(ProgressRate::rateText(rate, unit));
    if (position < total) {
        const double left = static_cast<double>(total - position) / rate;
        text += tr(", %1 left").arg(clock(left));
    }
    m_Rate->setText(text);
}

void StationTile::setFlash(const QString& name) {
    m_Flash->setText(tr("Flash: %1").arg(name));
    refreshAccessible();
}

void StationTile::showResult(bool passed) {
    m_Result->setText(passed ? tr("PASS") : tr("FAIL"));
    QPalette palette = m_Result->palette();
    palette.setColor(QPalette::Window,
                     passed ? QColor(0x1b, 0x7f, 0x3b) : QColor(0xb0, 0x1e, 0x1e));
    palette.setColor(QPalette::WindowText, Qt::white);
    m_Result->setPalette(palette);
}

void StationTile::setPhone(const station::PhoneResult& phone) {
    showResult(phone.passed);
    QString cause = fromStd(phone.cause);
    if (!phone.reportError.empty())
        cause += (cause.isEmpty() ? QString() : QStringLiteral("; ")) +
                 tr("report not written: %1").arg(fromStd(phone.reportError));
    m_Cause->setText(cause);
    m_Cause->setToolTip(cause);
    m_Counts->setText(tr("passed %1, failed %2").arg(phone.passedCount).arg(phone.failedCount));
    m_Elapsed->setText(clock(phone.seconds));
    m_Timing = false;
    if (phone.passed)
        m_Bar->setValue(1000);
    refreshAccessible();
}

void StationTile::setEnded(station::PortState state, const QString& words) {
    setState(state, Clock::now());
    m_Timing = false;
    m_Stop->setEnabled(false);
    if (!words.isEmpty() && state == station::PortState::PortProblem) {
        m_Cause->setText(words);
        m_Cause->setToolTip(words);
    }
    refreshAccessible();
}

void StationTile::tick(Clock::time_point now) {
    if (m_Timing)
        m_Elapsed->setText(clock(std::chrono::duration<double>(now - m_PhoneStarted).count()));
}

QString StationTile::resultText() const {
    return m_Result->text();
}

QString StationTile::causeText() const {
    return m_Cause->text();
}

QString StationTile::summary() const {
    QStringList parts{m_Title->text(), m_Stage->text()};
    if (!m_Flash->text().isEmpty())
        parts << m_Flash->text();
    if (!m_Result->text().isEmpty())
        parts << tr("last phone: %1").arg(m_Result->text());
    if (!m_Cause->text().isEmpty())
        parts << m_Cause->text();
    parts << m_Counts->text();
    return parts.join(QStringLiteral(", "));
}

void StationTile::refreshAccessible() {
    setAccessibleName(tr("%1 tile").arg(m_Port));
    setAccessibleDescription(summary() + tr(". Press Enter for the port's log."));
    // A label's name is all a screen reader says of it: the name carries the value, as a
    // field's value follows its name.
    const auto named = [](const QString& role, const QLabel* label) {
        return label->text().isEmpty() ? tr("%1: none").arg(role)
                                       : tr("%1: %2").arg(role, label->text());
    };
    m_Result->setAccessibleName(named(tr("%1 last result").arg(m_Port), m_Result));
    m_Cause->setAccessibleName(named(tr("%1 cause").arg(m_Port), m_Cause));
    m_Stage->setAccessibleName(named(tr("%1 stage").arg(m_Port), m_Stage));
}

void StationTile::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit logRequested();
    QFrame::mouseReleaseEvent(event);
}

void StationTile::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter ||
        event->key() == Qt::Key_Space) {
        emit logRequested();
        return;
    }
    QFrame::keyPressEvent(event);
}

}  // namespace zrk
