#pragma once
// The station's recipe as a form: what every phone gets (the mode, the firmware and file-system
// images with their sizes and CRC-32s, the start address, the code page, the speed, verify and
// power on), kept in the settings from one run to the next.
#include <QObject>

#include "station/Recipe.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace zrk {

class Prompter;
class SettingsStore;

class StationRecipeForm : public QObject {
  public:
    // window: the parent of the file questions.
    StationRecipeForm(QWidget& window, Prompter& prompter);

    // The form's group box, for the window's layout; a run disables it whole.
    QGroupBox* box() const { return m_Box; }
    // The recipe as the controls say it.
    station::Recipe recipe() const;
    void setRecipe(const station::Recipe& recipe);
    void load(const SettingsStore& settings);
    void store(SettingsStore& settings) const;

  private:
    void chooseFile(QLineEdit* field, QLabel* info, const QString& title, const QString& filter);
    void describe(QLineEdit* field, QLabel* info, const QString& role);
    void applyMode();

    QWidget& m_Window;
    Prompter& m_Prompter;
    QGroupBox* m_Box;
    QComboBox* m_Mode;
    QLineEdit* m_Bin;
    QLabel* m_BinInfo;
    QPushButton* m_BinButton;
    QLineEdit* m_Qix;
    QLabel* m_QixInfo;
    QPushButton* m_QixButton;
    QCheckBox* m_UseStart;
    QLineEdit* m_StartAddress;
    QLineEdit* m_CodePage;
    QCheckBox* m_Verify;
    QCheckBox* m_PowerOn;
    QComboBox* m_Speed;
};

}  // namespace zrk
