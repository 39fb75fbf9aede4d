// The log keeps the texts verbatim and shows their line ends normalised; the progress bar
// takes 32-bit totals; news from the watcher thread arrives as events on the UI thread.
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <thread>

#include "WindowFixture.h"
#include "app/LinkPump.h"
#include "support/EngineProbe.h"

namespace zrk::test {
namespace {

class Log : public WindowFixture {
  protected:
    QString shown() { return w<QPlainTextEdit>("logView")->toPlainText(); }
    QProgressBar* bar() { return w<QProgressBar>("progressBar"); }
    // Runs the event loop until the condition holds; false after a generous deadline.
    template <typename Condition>
    bool waitFor(Condition condition) {
        QDeadlineTimer deadline(30000);
        while (!condition()) {
            if (deadline.hasExpired())
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return true;
    }
};

TEST_F(Log, TextsAreKeptVerbatimAndShownWithNormalisedLineEnds) {
    open();
    window->setLogText(
        "** Wait for Connect Request from Mobile...\r\n** (POWER ON the PHONE!)\r\n");
    window->appendLog("Erasing sector (0x10000000)... ");
    window->appendLog("OK!\r");  // a "\r\n" split over two calls is one line end
    window->appendLog("\nSending NAND CheckSum:1f \n");
    window->appendLog("bare\rCR\n");
    EXPECT_EQ(window->logText(),
              "** Wait for Connect Request from Mobile...\r\n** (POWER ON the PHONE!)\r\n"
              "Erasing sector (0x10000000)... OK!\r\nSending NAND CheckSum:1f \nbare\rCR\n");
    EXPECT_EQ(shown(),
              "** Wait for Connect Request from Mobile...\n** (POWER ON the PHONE!)\n"
              "Erasing sector (0x10000000)... OK!\nSending NAND CheckSum:1f \nbare\nCR\n");
}

TEST_F(Log, AClearedLogStartsWithABlankLine) {
    open();
    window->setLogText(" \r\n");
    window->appendLog("");
    EXPECT_EQ(shown(), " \n");
    window->appendLog("next");
    EXPECT_EQ(shown(), " \nnext");
    auto* view = w<QPlainTextEdit>("logView");
    EXPECT_EQ(view->document()->blockCount(), 2);
    EXPECT_EQ(view->document()->findBlockByNumber(1).text(), "next");
    // The caret follows the newest text.
    EXPECT_EQ(view->textCursor().position(), view->document()->characterCount() - 1);
}

TEST_F(Log, ALongLogIsNotTrimmed) {
    open();
    window->setLogText("");
    for (int i = 0; i < 5000; ++i)
        window->appendLog("Writing sector... OK!\r\n");
    EXPECT_EQ(w<QPlainTextEdit>("logView")->document()->blockCount(), 5001);
    EXPECT_EQ(window->logText().size(), 5000u * 23u);
}

TEST_F(Log, TheViewFollowsNewTextOnlyWhileItIsAtTheBottom) {
    open();
    window->show();
    auto* view = w<QPlainTextEdit>("logView");
    QScrollBar* scroll = view->verticalScrollBar();
    window->setLogText("");
    for (int i = 0; i < 300; ++i)
        window->appendLog("Writing sector... OK!\r\n");
    QCoreApplication::processEvents();
    ASSERT_GT(scroll->maximum(), 0);
    EXPECT_EQ(scroll->value(), scroll->maximum());

    // Scrolled up to read back: new lines arrive below without moving the view or the selection.
    scroll->setValue(10);
    QTextCursor selection = view->textCursor();
    selection.setPosition(5);
    selection.setPosition(12, QTextCursor::KeepAnchor);
    view->setTextCursor(selection);
    scroll->setValue(10);
    const int before = scroll->maximum();
    for (int i = 0; i < 50; ++i)
        window->appendLog("Erasing sector... OK!\r\n");
    QCoreApplication::processEvents();
    EXPECT_GT(scroll->maximum(), before);
    EXPECT_EQ(scroll->value(), 10);
    EXPECT_EQ(view->textCursor().selectionStart(), 5);
    EXPECT_EQ(view->textCursor().selectionEnd(), 12);

    // Back at the bottom, it follows again.
    scroll->setValue(scroll->maximum());
    window->appendLog("last\r\n");
    QCoreApplication::processEvents();
    EXPECT_EQ(scroll->value(), scroll->maximum());
    EXPECT_TRUE(view->toPlainText().endsWith("Erasing sector... OK!\nlast\n"));
    EXPECT_TRUE(window->logText().ends_with("Erasing sector... OK!\r\nlast\r\n"));
}

TEST_F(Log, ASilentPhoneGetsOneHintWhileTheWaitGoesOn) {
    open();
    window->setNoAnswerHintDelay(1);
    click("startButton");
    ASSERT_TRUE(link.connected);
    const std::string hint =
        "** Nothing received on COM1 (/dev/ttyS0) yet: check the cable, switch the phone off and "
        "on again.\r\n";
    ASSERT_TRUE(waitFor([&] { return window->logText().ends_with(hint); }));
    EXPECT_EQ(window->logText().find("Nothing received"),
              window->logText().rfind("Nothing received"));
    EXPECT_TRUE(link.connected);
    EXPECT_TRUE(enabled("stopButton"));
    EXPECT_EQ(window->engine().stage(), Stage::WaitingForPhone);

    // Noise is no answer: bytes the engine does not accept leave the hint to come.
    click("stopButton");
    window->setLogText("");
    window->setNoAnswerHintDelay(50);
    click("startButton");
    link.receive({0x00, 0x7F, 0x00});
    window->linkPump().postLinkData(link);
    QCoreApplication::sendPostedEvents(&window->linkPump());  // runs no timer
    const auto hints = [&] {
        std::size_t n = 0;
        for (auto at = window->logText().find("Nothing received"); at != std::string::npos;
             at = window->logText().find("Nothing received", at + 1))
            ++n;
        return n;
    };
    ASSERT_TRUE(waitFor([&] { return hints() == 1; })) << window->logText();
    window->setLogText("");

    // Nor after Stop.
    click("stopButton");
    click("startButton");
    click("stopButton");
    QTest::qWait(300);
    EXPECT_EQ(window->logText().find("Nothing received"), std::string::npos);
}

TEST_F(Log, ProgressTakesThirtyTwoBitTotals) {
    open();
    window->setProgressRange(317792);
    window->setProgressPos(2048);
    EXPECT_EQ(bar()->maximum(), 317792);
    EXPECT_EQ(bar()->value(), 2048);

    window->setProgressRange(0xFFFFFFFFu);
    window->setProgressPos(0x80000000u);
    ASSERT_GT(bar()->maximum(), 0);
    EXPECT_NEAR(double(bar()->value()) / bar()->maximum(), 0.5, 1e-6);
    window->setProgressPos(0xFFFFFFFFu);
    EXPECT_EQ(bar()->value(), bar()->maximum());
    window->setProgressPos(0);
    EXPECT_EQ(bar()->value(), 0);
}

TEST_F(Log, WatcherNewsIsHandledOnTheWindowsThread) {
    open();
    link.receive({0x81, 0x44});
    std::thread watcher([this] { window->linkPump().postLinkData(link); });
    watcher.join();
    EXPECT_EQ(link.queue.count(), 2);  // nothing happens on the watcher's thread
    EXPECT_TRUE(waitFor([&] { return link.queue.count() == 0; }));

    link.connected = true;
    std::thread lost(
        [this] { window->linkPump().postLinkLost(link, link.session(), "device removed"); });
    lost.join();
    EXPECT_TRUE(waitFor([&] { return !link.connected; }));
    EXPECT_NE(window->logText().find("device removed"), std::string::npos);
    EXPECT_TRUE(enabled("startButton"));

    // News from before the link was opened again belongs to an earlier link.
    link.connected = true;
    const std::uint64_t before = link.session();
    ASSERT_TRUE(link.open(1, 115200));
    std::thread stale([&] { window->linkPump().postLinkLost(link, before, "old news"); });
    stale.join();
    QCoreApplication::processEvents();
    EXPECT_TRUE(link.connected);
    EXPECT_EQ(window->logText().find("old news"), std::string::npos);
}

TEST_F(Log, NewsArrivingDuringAPromptWaitsForTheAnswer) {
    open();
    link.receive({1, 2, 3});
    int queuedDuringPrompt = -1;
    prompter.onMessage = [&] {
        window->linkPump().postLinkData(link);
        QCoreApplication::processEvents();
        queuedDuringPrompt = link.queue.count();
    };
    window->messageBox("Download completed!", MessageIcon::Information);
    EXPECT_EQ(queuedDuringPrompt, 3);
    EXPECT_TRUE(waitFor([&] { return link.queue.count() == 0; }));
}

TEST_F(Log, TheBaudTimerCallsTheEngineOnce) {
    open();
    EngineProbe::context(window->engine()).startBaudTimer(1);
    EXPECT_TRUE(waitFor([&] { return !window->engine().baudTimerRunning(); }));
}

TEST_F(Log, TheTraceIsSwitchedOnlyWhileTheLinkIsClosed) {
    open();
    QStringList calls;
    bool writable = true;
    window->setTraceControl([&](const QString& path) {
        calls << path;
        return writable || path.isEmpty();
    });
    link.connected = true;
    window->chooseTraceFile();
    EXPECT_TRUE(calls.isEmpty());
    EXPECT_EQ(prompter.messages.size(), 1u);
    EXPECT_TRUE(prompter.saveRequests.empty());

    link.connected = false;
    prompter.saveAnswers.push_back("/tmp/link.txt");
    window->chooseTraceFile();
    EXPECT_EQ(calls, QStringList{"/tmp/link.txt"});
    EXPECT_EQ(window->tracePath(), "/tmp/link.txt");
    window->stopTrace();
    EXPECT_EQ(calls.last(), "");
    EXPECT_EQ(window->tracePath(), "");

    writable = false;
    prompter.saveAnswers.push_back("/proc/link.txt");
    window->chooseTraceFile();
    EXPECT_EQ(window->tracePath(), "");
    EXPECT_EQ(prompter.messages.size(), 2u);
}

}  // namespace
}  // namespace zrk::test
