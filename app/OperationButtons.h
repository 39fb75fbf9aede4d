#pragma once
// The main window's buttons that set the engine to work: START (timing the wait for the phone),
// Stop (asking first during a write to the flash), the operations on an identified phone and
// the explorer, which borrows the link until it closes.
#include <QObject>
#include <functional>

namespace Ui {
class MainWindow;
}

class QWidget;

namespace zrk {

class BoundChoices;
class DownloaderView;
class ImageFiles;
class LinkPump;
class NoAnswerHint;
class Prompter;
class ProtocolEngine;
class SerialLink;
class SettingsStore;
struct UserChoices;

class OperationButtons : public QObject {
  public:
    // What the buttons reach: the window is the engine's view and the explorer's parent.
    struct Parts {
        Ui::MainWindow& ui;
        QWidget& window;
        DownloaderView& view;
        ProtocolEngine& engine;
        SerialLink& link;
        LinkPump& pump;
        Prompter& prompter;
        SettingsStore& settings;
        BoundChoices& choices;
        ImageFiles& images;
        NoAnswerHint& noAnswerHint;
        // The window's choices as its controls show them now, for the button just pressed.
        std::function<UserChoices()> currentChoices;
    };

    explicit OperationButtons(Parts parts);

    // False when an operation writes to the flash and the person chose to let it finish.
    bool mayInterrupt();
    // The button is offered only on an identified phone with nothing running; the command line
    // and tests may still call this at another time.
    void openExplorer();

  private:
    void onStart();
    void onStop();
    // A BIN image whose content is plainly no firmware is written only when the user says so.
    bool firmwareChoiceConfirmed();

    Parts m_Parts;
};

}  // namespace zrk
