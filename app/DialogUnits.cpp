#include "app/DialogUnits.h"

#include <QFontDatabase>
#include <QWidget>
#include <cmath>

namespace zrk {
namespace {

QFont firstInstalled(std::initializer_list<const char*> families, int pixelSize, bool fixed) {
    const QStringList installed = QFontDatabase::families();
    for (const char* family : families) {
        if (installed.contains(QString::fromLatin1(family))) {
            QFont font(QString::fromLatin1(family));
            font.setPixelSize(pixelSize);
            return font;
        }
    }
    QFont font = fixed ? QFontDatabase::systemFont(QFontDatabase::FixedFont) : QFont();
    font.setPixelSize(pixelSize);
    return font;
}

}  // namespace

QFont sansFont() {
    return firstInstalled({"DejaVu Sans", "Liberation Sans"}, kSansPixelSize, false);
}

QFont fixedFont(int pixelSize) {
    return firstInstalled({"DejaVu Sans Mono", "Liberation Mono"}, pixelSize, true);
}

int dialogUnitsToPixels(int units) {
    return static_cast<int>(std::lround(units * kPixelsPerDialogUnit));
}

void applyDialogUnits(QWidget* window) {
    // Edges are scaled, not sizes, so that neighbours that touch in dialog units still touch.
    auto scaleRect = [](const QRect& r) {
        const int left = dialogUnitsToPixels(r.x());
        const int top = dialogUnitsToPixels(r.y());
        return QRect(left, top, dialogUnitsToPixels(r.x() + r.width()) - left,
                     dialogUnitsToPixels(r.y() + r.height()) - top);
    };
    const auto children = window->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    for (QWidget* child : children) {
        if (child->isWindow())
            continue;
        child->setGeometry(scaleRect(child->geometry()));
    }
    window->setFixedSize(dialogUnitsToPixels(window->width()),
                         dialogUnitsToPixels(window->height()));
}

}  // namespace zrk
