#include "app/PortComboBox.h"

#include <QAbstractItemView>
#include <QStyledItemDelegate>

namespace zrk {
namespace {

// The open list's entries: "COM3  /dev/ttyUSB0  FTDI FT232R  A5XK3RJ".
class DetailDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

  protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        const QString detail = index.data(PortComboBox::kDetailRole).toString();
        if (!detail.isEmpty())
            option->text += QStringLiteral("  ") + detail;
    }
};

}  // namespace

PortComboBox::PortComboBox(QWidget* parent) : QComboBox(parent) {
    setItemDelegate(new DetailDelegate(this));
}

void PortComboBox::showPopup() {
    if (m_BeforePopup)
        m_BeforePopup();
    // The entries are wider than the box; the list is as wide as its widest entry.
    QAbstractItemView* list = view();
    int widest = width();
    for (int i = 0; i < count(); ++i)
        widest = std::max(widest, list->sizeHintForIndex(model()->index(i, 0)).width() + 24);
    list->setMinimumWidth(widest);
    QComboBox::showPopup();
}

}  // namespace zrk
