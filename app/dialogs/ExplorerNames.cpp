#include "app/dialogs/ExplorerNames.h"

#include "filesystem/CodePage.h"

namespace zrk {

ExplorerNames::ExplorerNames(const CodePage& codePage) {
    if (auto names = CodePage::open(codePage.name(), nullptr))
        m_Names = std::make_unique<CodePage>(std::move(*names));
}

ExplorerNames::~ExplorerNames() = default;

QString ExplorerNames::shown(const std::string& text) const {
    if (m_Names)
        if (auto utf8 = m_Names->toUtf8(text))
            return QString::fromStdString(*utf8);
    return QString::fromStdString(text);
}

std::string ExplorerNames::local(const QString& text) const {
    const std::string utf8 = text.toStdString();
    if (m_Names)
        if (auto converted = m_Names->fromUtf8(utf8))
            return *converted;
    return utf8;
}

}  // namespace zrk
