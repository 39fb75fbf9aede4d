#pragma once
// Works the next modal window that opens (a real message box, an input dialog) from inside its
// own event loop, as a person at the desk would: the test says what to do with it.
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

namespace zrk::test {

class ModalWatcher {
  public:
    ModalWatcher() {
        m_Timer.setInterval(10);
        QObject::connect(&m_Timer, &QTimer::timeout, [this] { poll(); });
    }

    // Call before the code that opens the window; the work runs once, on the first one shown.
    void onNext(std::function<void(QWidget&)> work) {
        m_Work = std::move(work);
        m_Timer.start();
    }

    // Enter where the keyboard focus is in the window, or on the window itself.
    static void pressEnter(QWidget& window) {
        QWidget* focus = QApplication::focusWidget();
        QTest::keyClick(focus && window.isAncestorOf(focus) ? focus : &window, Qt::Key_Return);
    }

  private:
    void poll() {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        m_Timer.stop();
        auto work = std::move(m_Work);
        m_Work = nullptr;
        if (work)
            work(*modal);
    }

    QTimer m_Timer;
    std::function<void(QWidget&)> m_Work;
};

// What a message box showed when Enter was pressed on it, and what it answered.
struct SeenBox {
    QString title;
    QString text;
    QString defaultButton;
    int width = 0;
    int titleWidth = 0;
};

inline void seeAndPressEnter(QWidget& window, SeenBox& seen) {
    if (auto* box = qobject_cast<QMessageBox*>(&window)) {
        seen.title = box->windowTitle();
        seen.text = box->text();
        if (box->defaultButton())
            seen.defaultButton = box->defaultButton()->text().remove(QLatin1Char('&'));
        seen.width = box->width();
        seen.titleWidth = box->fontMetrics().horizontalAdvance(box->windowTitle());
    }
    ModalWatcher::pressEnter(window);
}

}  // namespace zrk::test
