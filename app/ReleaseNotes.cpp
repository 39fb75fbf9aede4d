#include "app/ReleaseNotes.h"

#include <QFile>

#include "app/Resources.h"

namespace zrk {
namespace {

QString loadBlock(int number, bool last) {
    ensureResources();
    QFile file(QStringLiteral(":/zrk410/release-notes/block%1.txt").arg(number));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QString text = QString::fromUtf8(file.readAll());
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (last && text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    text.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    return text;
}

}  // namespace

const std::array<QString, 3>& ReleaseNotes::blocks() {
    static const std::array<QString, 3> blocks{loadBlock(1, false), loadBlock(2, false),
                                               loadBlock(3, true)};
    return blocks;
}

QString ReleaseNotes::text() {
    const auto& all = blocks();
    return all[0] + all[1] + all[2];
}

}  // namespace zrk
