#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "common/held_settings.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace vesmera {

class SettingsStore;
class TerminalListFile;

// What the settings dialog needs of the program: the settings in force, the store it writes,
// its own terminal list file (which remembers the encoding it read), the apply step, the zero
// action of "<0>" (which decides by the mode in force) and the serial devices present.
struct TForm2Deps {
    const HeldSettings* settings = nullptr;
    SettingsStore* store = nullptr;
    TerminalListFile* terminalList = nullptr;
    std::function<void()> applyStep;
    std::function<void()> zeroAction;
    std::function<std::vector<std::string>()> serialDevices;
};

// The settings dialog "Настройки": created at start, shown modally from the main window's
// context menu, hidden between showings.
class TForm2 : public QDialog {
    Q_OBJECT
public:
    explicit TForm2(TForm2Deps deps, QWidget* parent = nullptr);

    // Fills the controls from the settings in force; runs at every showing.
    void Showing();

    // Controls, for the main window's tests and for this dialog's own tests.
    QComboBox* sComboBox1 = nullptr; // port
    QComboBox* sComboBox2 = nullptr; // speed
    QComboBox* sComboBox3 = nullptr; // terminal address
    QComboBox* sComboBox4 = nullptr; // delay
    QComboBox* sComboBox5 = nullptr; // protocol
    QComboBox* sComboBox6 = nullptr; // skin
    QComboBox* sComboBox7 = nullptr; // colour, weight unstable
    QComboBox* sComboBox8 = nullptr; // colour, weight stable
    QComboBox* sComboBox9 = nullptr; // background colour
    QLineEdit* sEdit1 = nullptr;     // server host
    QLineEdit* sEdit2 = nullptr;     // server port
    QLineEdit* sEdit3 = nullptr;     // terminal name field
    QListWidget* sListBox1 = nullptr;
    QCheckBox* sCheckBox1 = nullptr;
    QPushButton* sButton1 = nullptr; // "Применить"
    QPushButton* sButton2 = nullptr; // "<0>"
    QPushButton* sButton3 = nullptr; // "Закрыть"
    QPushButton* sButton4 = nullptr; // "Добавить"
    QPushButton* sButton5 = nullptr; // "Изменить"
    QPushButton* sButton6 = nullptr; // "Удалить"
    QFrame* portPanel = nullptr;
    QFrame* networkPanel = nullptr;
    QFrame* appearancePanel = nullptr;
    QFrame* modePanel = nullptr;
    QFrame* buttonPanel = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Build();
    void SwitchPanels();
    void ApplyClick();
    void SkinChanged();
    void SaveThenApply(const std::function<void()>& save);
    void ListClick();
    void AddClick();
    void ChangeClick();
    void DeleteClick();
    std::vector<std::string> ListNames() const;

    TForm2Deps deps_;
};

} // namespace vesmera
