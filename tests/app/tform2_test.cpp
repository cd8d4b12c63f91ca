#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <filesystem>

#include "app/settings_store.h"
#include "app/terminal_list.h"
#include "app/tform2.h"
#include "common/message_box.h"
#include "settings/file_system.h"
#include "settings/test_files.h"

using namespace vesmera;
namespace fs = std::filesystem;

namespace {

using testing_files::ReadBytes;
using testing_files::WriteBytes;

// A dialog over a temporary executable directory, with the apply step re-reading the settings
// into `held` as the main window's does.
class DialogTest : public testing::Test {
protected:
    void SetUp() override {
        previousBox = SetMessageBoxHandler([this](const MessageBoxRequest& r) {
            boxes.push_back(r.text);
            icons.push_back(r.icon);
            return r.defaultResult;
        });
    }
    void TearDown() override {
        SetMessageBoxHandler(previousBox);
        dialog.reset();
    }

    void Make(std::string directory = {}) {
        if (directory.empty())
            directory = temp.Dir();
        store =
            std::make_unique<SettingsStore>([directory] { return directory; }, RealFileSystem());
        held = store->Load();
        TForm2Deps deps;
        deps.settings = &held;
        deps.store = store.get();
        deps.terminalList = &list;
        deps.applyStep = [this] {
            ++applies;
            held = store->Load();
        };
        deps.zeroAction = [this] { ++zeros; };
        deps.serialDevices = [this] { return devices; };
        dialog = std::make_unique<TForm2>(deps);
    }

    void Reshow() {
        dialog->hide();
        dialog->show();
    }

    testing_files::TempDir temp;
    fs::path dir{temp.Dir()};
    MessageBoxHandler previousBox;
    std::vector<std::string> boxes;
    std::vector<MessageIcon> icons;
    std::vector<std::string> devices;
    std::unique_ptr<SettingsStore> store;
    TerminalListFile list;
    HeldSettings held;
    int applies = 0;
    int zeros = 0;
    std::unique_ptr<TForm2> dialog;
};

} // namespace

TEST_F(DialogTest, WindowAndLists) {
    Make();
    dialog->show();
    EXPECT_EQ(dialog->windowTitle(), QString::fromUtf8("Настройки"));
    EXPECT_EQ(dialog->size(), QSize(378, 402));
    EXPECT_EQ(dialog->font().pixelSize(), 11);
    EXPECT_EQ(dialog->portPanel->geometry(), QRect(8, 8, 185, 321));
    EXPECT_EQ(dialog->networkPanel->geometry(), QRect(8, 8, 185, 321));
    EXPECT_EQ(dialog->appearancePanel->geometry(), QRect(199, 8, 170, 257));
    EXPECT_EQ(dialog->modePanel->geometry(), QRect(199, 271, 171, 58));
    EXPECT_EQ(dialog->buttonPanel->geometry(), QRect(8, 335, 361, 58));
    EXPECT_EQ(dialog->sComboBox1->count(), 50);
    EXPECT_EQ(dialog->sComboBox2->count(), 6);
    EXPECT_EQ(dialog->sComboBox2->itemText(5), "115200");
    EXPECT_EQ(dialog->sComboBox3->count(), 51);
    EXPECT_EQ(dialog->sComboBox4->count(), 10);
    EXPECT_EQ(dialog->sComboBox4->itemText(0), "10");
    EXPECT_EQ(dialog->sComboBox5->itemText(0), QString::fromUtf8("Ворлен"));
    EXPECT_EQ(dialog->sComboBox5->itemText(1), "6.43");
    EXPECT_EQ(dialog->sComboBox6->count(), 79);
    EXPECT_EQ(dialog->sComboBox6->itemText(0), QString::fromUtf8("Нет"));
    EXPECT_EQ(dialog->sComboBox6->itemText(78), "XPSilver");
    EXPECT_EQ(dialog->sComboBox9->itemText(0), "clMaroon");
    EXPECT_EQ(dialog->sComboBox9->itemText(7), "clBlack");
    for (auto* box : dialog->findChildren<QComboBox*>())
        EXPECT_FALSE(box->isEditable());
    EXPECT_EQ(dialog->sButton1->toolTip(), QString::fromUtf8("Применить изменения"));
    EXPECT_EQ(dialog->sButton2->toolTip(), QString::fromUtf8("Обнулить весы"));
    EXPECT_EQ(dialog->sEdit1->width(), 105);
    EXPECT_EQ(dialog->sEdit2->width(), 49);
    EXPECT_EQ(dialog->sListBox1->size(), QSize(161, 122));
    EXPECT_EQ(dialog->sEdit3->width(), 161);
    // Defaults selected, local panel shown.
    EXPECT_EQ(dialog->sComboBox1->currentText(), "Com1");
    EXPECT_EQ(dialog->sComboBox2->currentText(), "19200");
    EXPECT_EQ(dialog->sComboBox6->currentText(), "Cold");
    EXPECT_EQ(dialog->sEdit2->text(), "0");
    EXPECT_TRUE(dialog->portPanel->isVisible());
    EXPECT_FALSE(dialog->networkPanel->isVisible());
}

// A stored value that no entry offers is added at the end of its list and selected, so that
// "Применить" with nothing changed writes back what was read.
struct StoredValueRow {
    const char* line;         // the key line in its section, as hand-edited
    QComboBox* TForm2::*list; // the list that shows it
    const char* shown;        // the selected entry, "" for none
    int extraEntries;         // entries added to the list
    const char* written;      // the line after "Применить"
};

class StoredValue : public DialogTest, public testing::WithParamInterface<StoredValueRow> {};

TEST_P(StoredValue, IsOfferedSelectedAndWrittenBack) {
    const StoredValueRow& row = GetParam();
    const std::string line = row.line;
    const bool portSection =
        line.starts_with("Порт") || line.starts_with("Скорость") || line.starts_with("Канал");
    WriteBytes(dir / "Vesmera.ini", std::string(portSection ? "[Настройки порта]" : "[Общие]") +
                                        "\r\n" + line + "\r\n[Общие]\r\nPort=70000\r\n");
    Make();
    dialog->show();
    QComboBox* list = (*dialog).*row.list;
    const int base = list->count() - row.extraEntries;
    EXPECT_EQ(list->currentText().toStdString(), row.shown);
    EXPECT_EQ(list->currentIndex(), *row.shown ? list->findText(row.shown) : -1);
    if (row.extraEntries) {
        EXPECT_EQ(list->currentIndex(), base);
    }
    // The whole stored server port, not its low 16 bits.
    EXPECT_EQ(dialog->sEdit2->text(), "70000");

    dialog->sButton1->click();
    EXPECT_EQ(applies, 1);
    EXPECT_NE(ReadBytes(dir / "Vesmera.ini").find("\n" + std::string(row.written) + "\r\n"),
              std::string::npos)
        << ReadBytes(dir / "Vesmera.ini");
    // A second showing offers it again, once.
    Reshow();
    EXPECT_EQ(list->count(), base + row.extraEntries);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, StoredValue,
    testing::Values(
        StoredValueRow{"Цвет2=0x00FFFF", &TForm2::sComboBox8, "0x00FFFF", 1, "Цвет2=0x00FFFF"},
        StoredValueRow{"Цвет1=green", &TForm2::sComboBox7, "green", 1, "Цвет1=green"},
        StoredValueRow{"Фон=CLBLACK", &TForm2::sComboBox9, "clBlack", 0, "Фон=clBlack"},
        StoredValueRow{"Фон=", &TForm2::sComboBox9, "", 0, "Фон="},
        StoredValueRow{"Канал=77", &TForm2::sComboBox3, "77", 1, "Канал=77"},
        StoredValueRow{"Канал=0x1A", &TForm2::sComboBox3, "26", 0, "Канал=26"},
        StoredValueRow{"Задержка(мск)=150", &TForm2::sComboBox4, "150", 1, "Задержка(мск)=150"},
        StoredValueRow{"Скорость обмена=4800", &TForm2::sComboBox2, "4800", 1,
                       "Скорость обмена=4800"},
        StoredValueRow{"Порт=COM3", &TForm2::sComboBox1, "Com3", 0, "Порт=Com3"},
        StoredValueRow{"Порт=Com51", &TForm2::sComboBox1, "Com51", 1, "Порт=Com51"},
        StoredValueRow{"Протокол=ворлен", &TForm2::sComboBox5, "Ворлен", 0, "Протокол=Ворлен"},
        StoredValueRow{"Протокол=7.0", &TForm2::sComboBox5, "7.0", 1, "Протокол=7.0"},
        StoredValueRow{"Скин=Old Skin", &TForm2::sComboBox6, "Old Skin", 1, "Скин=Old Skin"}));

TEST_F(DialogTest, DevicePathIsOfferedAndSurvivesApply) {
    WriteBytes(dir / "Vesmera.ini", "[Настройки порта]\r\nПорт=/dev/serial/by-id/usb-Scale\r\n");
    devices = {"/dev/ttyUSB0"};
    Make();
    dialog->show();
    EXPECT_EQ(dialog->sComboBox1->count(), 52);
    EXPECT_EQ(dialog->sComboBox1->currentText(), "/dev/serial/by-id/usb-Scale");
    dialog->sButton1->click();
    EXPECT_EQ(held.port, "/dev/serial/by-id/usb-Scale");
}

// A plugged adapter's by-id entry shows the link's name; picking it stores the whole path.
TEST_F(DialogTest, ByIdAdapterIsPickedByItsNameAndStoredByItsPath) {
    devices = {"/dev/serial/by-id/usb-Scale-if00", "/dev/ttyUSB0"};
    Make();
    dialog->show();
    ASSERT_EQ(dialog->sComboBox1->count(), 52);
    EXPECT_EQ(dialog->sComboBox1->itemText(50), "usb-Scale-if00");
    dialog->sComboBox1->setCurrentIndex(50);
    dialog->sButton1->click();
    EXPECT_EQ(held.port, "/dev/serial/by-id/usb-Scale-if00");
    EXPECT_NE(ReadBytes(dir / "Vesmera.ini").find("Порт=/dev/serial/by-id/usb-Scale-if00\r\n"),
              std::string::npos);
    // Shown again, the stored path selects the adapter's entry.
    dialog->hide();
    dialog->show();
    EXPECT_EQ(dialog->sComboBox1->currentText(), "usb-Scale-if00");
}

TEST_F(DialogTest, FirstApplyWritesTwelveKeysInOrder) {
    Make();
    dialog->show();
    dialog->sButton1->click();
    EXPECT_EQ(ReadBytes(dir / "Vesmera.ini"), "[Настройки порта]\r\n"
                                              "Порт=Com1\r\n"
                                              "Скорость обмена=19200\r\n"
                                              "Канал=1\r\n"
                                              "[Общие]\r\n"
                                              "Задержка(мск)=100\r\n"
                                              "Скин=Cold\r\n"
                                              "Цвет1=clRed\r\n"
                                              "Цвет2=clGreen\r\n"
                                              "Фон=clBlack\r\n"
                                              "IP=\r\n"
                                              "Port=0\r\n"
                                              "Сетевой режим=0\r\n"
                                              "Протокол=Ворлен\r\n");
    EXPECT_TRUE(fs::exists(dir / "ZidOzod.ini"));
    EXPECT_EQ(fs::file_size(dir / "ZidOzod.ini"), 0u);
    EXPECT_EQ(applies, 1);
    EXPECT_TRUE(dialog->isVisible());
}

TEST_F(DialogTest, SkinPickSavesTheSkinAloneAndKeepsEdits) {
    Make();
    dialog->show();
    dialog->sComboBox4->setCurrentIndex(0); // delay 10, not saved by a skin pick
    const int none = dialog->sComboBox6->findText(QString::fromUtf8("Нет"));
    dialog->sComboBox6->setCurrentIndex(none);
    emit dialog->sComboBox6->activated(none);
    EXPECT_EQ(applies, 1);
    EXPECT_EQ(held.skin, "Нет");
    EXPECT_EQ(held.delayMs, 100);
    EXPECT_EQ(dialog->sComboBox4->currentText(), "10");
    EXPECT_EQ(ReadBytes(dir / "Vesmera.ini"), "[Общие]\r\nСкин=Нет\r\n");
}

TEST_F(DialogTest, ShowingDoesNotSaveTheSkin) {
    Make();
    dialog->show();
    Reshow();
    EXPECT_EQ(applies, 0);
    EXPECT_FALSE(fs::exists(dir / "Vesmera.ini"));
}

TEST_F(DialogTest, NetworkModeWithAnEmptyListWritesAnEmptyList) {
    WriteBytes(dir / "ZidOzod.ini", "Весы 1\r\n");
    Make();
    dialog->show();
    ASSERT_EQ(dialog->sListBox1->count(), 1);
    dialog->sCheckBox1->click();
    EXPECT_FALSE(dialog->portPanel->isVisible());
    EXPECT_TRUE(dialog->networkPanel->isVisible());
    dialog->sListBox1->setCurrentRow(0);
    dialog->sButton6->click();
    dialog->sButton1->click();
    EXPECT_TRUE(held.networkMode);
    EXPECT_EQ(ReadBytes(dir / "ZidOzod.ini"), "");
}

TEST_F(DialogTest, TerminalListEditing) {
    Make();
    dialog->show();
    dialog->sCheckBox1->click();
    auto* name = dialog->sEdit3;
    auto* box = dialog->sListBox1;

    dialog->sButton5->click(); // "Изменить" with an empty field: nothing
    EXPECT_EQ(box->count(), 0);
    name->setText("T1");
    dialog->sButton4->click();
    name->setText("T1");
    dialog->sButton4->click(); // duplicates are allowed
    ASSERT_EQ(box->count(), 2);
    EXPECT_TRUE(name->text().isEmpty());

    name->setText("keep");
    box->clearSelection();
    box->setCurrentRow(-1);
    dialog->sButton6->click(); // "Удалить" without selection only clears the field
    EXPECT_EQ(box->count(), 2);
    EXPECT_TRUE(name->text().isEmpty());

    name->setText("T3");
    dialog->sButton5->click(); // "Изменить" without selection appends
    ASSERT_EQ(box->count(), 3);
    EXPECT_EQ(box->item(2)->text(), "T3");

    box->setCurrentRow(1);
    name->setText("T2");
    dialog->sButton5->click();
    EXPECT_EQ(box->item(1)->text(), "T2");
    EXPECT_EQ(box->currentRow(), 1);
    EXPECT_EQ(box->count(), 3);

    name->clear();
    dialog->sButton5->click(); // empty field with a selection: nothing either
    EXPECT_EQ(box->item(1)->text(), "T2");

    box->setCurrentRow(2);
    emit box->itemClicked(box->item(2));
    EXPECT_EQ(name->text(), "T3");

    // "Удалить" twice removes the picked entry only; "Изменить" after it appends.
    box->setCurrentRow(0);
    dialog->sButton6->click();
    dialog->sButton6->click();
    ASSERT_EQ(box->count(), 2);
    EXPECT_EQ(box->item(0)->text(), "T2");
    EXPECT_EQ(box->item(1)->text(), "T3");
    name->setText("T4");
    dialog->sButton5->click();
    ASSERT_EQ(box->count(), 3);
    EXPECT_EQ(box->item(0)->text(), "T2");
    EXPECT_EQ(box->item(2)->text(), "T4");
}

TEST_F(DialogTest, KeyboardDrivesTheListTheButtonsAndTheModeSwitch) {
    WriteBytes(dir / "ZidOzod.ini", "A\r\nB\r\n");
    Make();
    dialog->show();
    // The mode switch reacts to its state, whoever changes it.
    dialog->sCheckBox1->setChecked(true);
    EXPECT_TRUE(dialog->networkPanel->isVisible());
    EXPECT_FALSE(dialog->portPanel->isVisible());

    const auto press = [](QWidget* w, int key) {
        QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(w, &down);
    };
    press(dialog->sListBox1, Qt::Key_Down);
    press(dialog->sListBox1, Qt::Key_Down);
    EXPECT_EQ(dialog->sEdit3->text(), "B");

    // Enter on a focused button presses it; Enter in the name field presses nothing.
    press(dialog->sEdit3, Qt::Key_Return);
    EXPECT_EQ(dialog->sListBox1->count(), 2);
    press(dialog->sButton4, Qt::Key_Return);
    EXPECT_EQ(dialog->sListBox1->count(), 3);
    press(dialog->sButton1, Qt::Key_Enter);
    EXPECT_EQ(applies, 1);
    EXPECT_EQ(ReadBytes(dir / "ZidOzod.ini"), "A\r\nB\r\nB\r\n");

    dialog->sCheckBox1->setChecked(false);
    EXPECT_TRUE(dialog->portPanel->isVisible());
}

TEST_F(DialogTest, ZeroButtonRunsTheZeroActionAndNothingElse) {
    Make();
    dialog->show();
    dialog->sButton2->click();
    EXPECT_EQ(zeros, 1);
    EXPECT_EQ(applies, 0);
    EXPECT_FALSE(fs::exists(dir / "Vesmera.ini"));
}

TEST_F(DialogTest, ReopeningShowsTheSavedSettingsNotTheEdits) {
    WriteBytes(dir / "ZidOzod.ini", "A\r\nB\r\n");
    Make();
    dialog->show();
    dialog->sComboBox3->setCurrentIndex(7);
    dialog->sEdit1->setText("10.0.0.9");
    dialog->sCheckBox1->click();
    dialog->sListBox1->addItem("C");
    dialog->sButton3->click();
    EXPECT_FALSE(dialog->isVisible());
    dialog->show();
    EXPECT_EQ(dialog->sComboBox3->currentText(), "1");
    EXPECT_EQ(dialog->sEdit1->text(), "");
    EXPECT_FALSE(dialog->sCheckBox1->isChecked());
    EXPECT_TRUE(dialog->portPanel->isVisible());
    EXPECT_EQ(dialog->sListBox1->count(), 2);
    EXPECT_EQ(applies, 0);
}

TEST_F(DialogTest, AMissingListFileKeepsTheListBox) {
    WriteBytes(dir / "ZidOzod.ini", "A\r\n");
    Make();
    dialog->show();
    dialog->hide();
    fs::remove(dir / "ZidOzod.ini");
    dialog->sListBox1->addItem("unsaved");
    dialog->show();
    EXPECT_EQ(dialog->sListBox1->count(), 2);
}

TEST_F(DialogTest, RefusedSettingsWriteShowsTheBoxAndRunsNoApply) {
    // A directory below a regular file cannot be created, not even by root.
    WriteBytes(dir / "plain", "x");
    const std::string badDir = (dir / "plain" / "sub").string() + "/";
    Make(badDir);
    dialog->show();
    dialog->sButton1->click();
    // The box comes after the click has returned, so a press through assistive technology
    // answers at once.
    EXPECT_TRUE(boxes.empty());
    QApplication::processEvents();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Unable to write to " + badDir + "Vesmera.ini.");
    EXPECT_EQ(icons[0], MessageIcon::Error);
    EXPECT_EQ(applies, 0);
    EXPECT_TRUE(dialog->isVisible());
}

TEST_F(DialogTest, RefusedTerminalListWriteShowsItsBox) {
    Make();
    fs::create_directories(dir / "ZidOzod.ini"); // a folder where the file should be
    dialog->show();
    dialog->sButton1->click();
    QApplication::processEvents();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].rfind("Cannot create file \"" + (dir / "ZidOzod.ini").string() + "\". ", 0),
              0u)
        << boxes[0];
    EXPECT_EQ(applies, 0);
    EXPECT_TRUE(fs::exists(dir / "Vesmera.ini"));
}

TEST_F(DialogTest, RefusedSkinWriteShowsTheBoxAndRunsNoApply) {
    WriteBytes(dir / "plain", "x");
    const std::string badDir = (dir / "plain" / "sub").string() + "/";
    Make(badDir);
    dialog->show();
    const int none = dialog->sComboBox6->findText(QString::fromUtf8("Нет"));
    dialog->sComboBox6->setCurrentIndex(none);
    emit dialog->sComboBox6->activated(none);
    QApplication::processEvents();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Unable to write to " + badDir + "Vesmera.ini.");
    EXPECT_EQ(applies, 0);
    EXPECT_EQ(held.skin, "Cold");
    EXPECT_TRUE(dialog->isVisible());
}
