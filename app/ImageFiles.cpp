#include "app/ImageFiles.h"

#include <QFile>
#include <system_error>

#include "app/LinkPump.h"
#include "app/Prompter.h"
#include "app/SettingsStore.h"
#include "engine/Checksums.h"
#include "files/FileStatus.h"
#include "ui_MainWindow.h"

namespace zrk {

std::optional<qint64> imageLength(const QString& path, std::string* whyNot) {
    auto refuse = [whyNot](std::string reason) -> std::optional<qint64> {
        if (whyNot)
            *whyNot = std::move(reason);
        return std::nullopt;
    };
    if (path.isEmpty())
        return refuse("no file is chosen");
    const std::string native = QFile::encodeName(path).toStdString();
    std::error_code why;
    const auto status = fileStatus(native, &why);
    if (!status)
        return refuse(why.message());
    if (status->directory())
        return refuse("it is a folder");
    if (!status->regular())
        return refuse("it is not a regular file");
    if (!mayRead(native, &why))
        return refuse(why.message());
    return static_cast<qint64>(status->size);
}

// What tells the two rows apart.
struct ImageFiles::RowParts {
    QString& path;
    QLineEdit& pathField;
    QLineEdit& sizeField;
    QLineEdit& crcField;
    const char* settingsKey;
    const char* openFailure;  // the box when the chosen file has no size
    FileDialogRequest request;
};

ImageFiles::ImageFiles(Ui::MainWindow& ui, SettingsStore& settings, Prompter& prompter,
                       LinkPump& pump, QWidget& parent, Hooks hooks)
    : m_Ui(ui),
      m_Settings(settings),
      m_Prompter(prompter),
      m_Pump(pump),
      m_Parent(parent),
      m_Hooks(std::move(hooks)) {
    QObject::connect(m_Ui.binButton, &QPushButton::clicked, &m_Parent,
                     [this] { pick(Row::Firmware); });
    QObject::connect(m_Ui.qixButton, &QPushButton::clicked, &m_Parent,
                     [this] { pick(Row::FileSystem); });
    QObject::connect(m_Ui.binCrcButton, &QPushButton::clicked, &m_Parent,
                     [this] { showChecksum(Row::Firmware); });
    QObject::connect(m_Ui.qixCrcButton, &QPushButton::clicked, &m_Parent,
                     [this] { showChecksum(Row::FileSystem); });
}

ImageFiles::RowParts ImageFiles::parts(Row row) {
    FileDialogRequest request;
    if (row == Row::Firmware) {
        request.title = QObject::tr("Firmware image");
        request.nameFilters = qtNameFilters(
            QStringLiteral("firmware (*.cla;*.bin)|*.cla;*.bin|"
                           "cla file (*.cla)|*.cla|bin file (*.bin)|*.bin|all files (*.*)|*.*||"));
        request.defaultSuffix = QStringLiteral("cla");
        request.initialPath = m_BinPath;
        return {m_BinPath,
                *m_Ui.binPathField,
                *m_Ui.binSizeField,
                *m_Ui.binCrcField,
                "BinPath",
                "Fail to open bin file!",
                request};
    }
    request.title = QObject::tr("File-system image");
    request.nameFilters = qtNameFilters(QStringLiteral("qix file (*.qix)|*.qix||"));
    request.defaultSuffix = QStringLiteral("qix");
    request.initialPath = m_QixPath;
    return {m_QixPath,
            *m_Ui.qixPathField,
            *m_Ui.qixSizeField,
            *m_Ui.qixCrcField,
            "VavPath",
            "Fail to open VAV file!",
            request};
}

void ImageFiles::loadStored() {
    m_BinPath = m_Settings.readString(QStringLiteral("BinPath"));
    m_QixPath = m_Settings.readString(QStringLiteral("VavPath"));
    m_Ui.binPathField->setText(m_BinPath);
    m_Ui.qixPathField->setText(m_QixPath);
    if (const auto length = imageLength(m_BinPath))
        m_Ui.binSizeField->setText(QString::number(*length));
    if (const auto length = imageLength(m_QixPath))
        m_Ui.qixSizeField->setText(QString::number(*length));
    m_CfgPath = deriveCfgPath(m_QixPath);
}

void ImageFiles::pick(Row row) {
    RowParts p = parts(row);
    QString path;
    {
        PromptHold prompt(m_Pump);
        path = m_Prompter.openFile(&m_Parent, p.request);
    }
    // The checksum shown was the old file's.
    p.crcField.clear();
    const QString key = QString::fromLatin1(p.settingsKey);
    if (path.isEmpty()) {
        m_Hooks.messageBox("No file selected!", MessageIcon::Warning);
        p.path.clear();
        if (row == Row::FileSystem)
            m_CfgPath.clear();
        p.pathField.clear();
        m_Settings.writeString(key, p.path);
        p.sizeField.clear();
        return;
    }
    p.path = path;
    p.pathField.setText(p.path);
    m_Settings.writeString(key, p.path);
    if (row == Row::FileSystem)
        m_CfgPath = deriveCfgPath(m_QixPath);
    if (const auto length = imageLength(path)) {
        p.sizeField.setText(QString::number(*length));
    } else {
        logUnreadable(path);
        m_Hooks.messageBox(p.openFailure, MessageIcon::Warning);
    }
}

void ImageFiles::showChecksum(Row row) {
    RowParts p = parts(row);
    p.crcField.setEnabled(false);
    std::uint32_t crc = 0;
    if (const auto result = p.path.isEmpty() ? std::nullopt : fileCrc32(p.path.toStdString())) {
        crc = result->crc;
    } else {
        m_Hooks.unreadable();
        logUnreadable(p.path);
        // Both buttons say "bin": the box's words are fixed.
        m_Hooks.messageBox("Fail to open bin file!", MessageIcon::Warning);
    }
    p.crcField.setText(QStringLiteral("0x%1").arg(crc, 0, 16));
    p.crcField.setEnabled(true);
}

void ImageFiles::logUnreadable(const QString& path) {
    // The box's text is fixed and names neither the file nor the cause. A file that passes
    // the checks failed while it was read.
    std::string reason = "it could not be read to the end";
    imageLength(path, &reason);
    m_Hooks.note("** Cannot read " +
                 (path.isEmpty() ? std::string("the file") : path.toStdString()) + ": " + reason +
                 "\r\n");
}

}  // namespace zrk
