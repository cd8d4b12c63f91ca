#include "app/tform2.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <algorithm>
#include <type_traits>

#include "app/port_entries.h"
#include "app/settings_store.h"
#include "app/skin_names.h"
#include "app/terminal_list.h"
#include "common/exception.h"
#include "common/letter_case.h"
#include "common/message_box.h"

namespace vesmera {

namespace {

const std::vector<std::string> kSpeedEntries = {"9600",  "14400", "19200",
                                                "38400", "57600", "115200"};
const std::vector<std::string> kProtocolEntries = {kProtocolVorlen, kProtocol643};
const std::vector<std::string> kColorEntries = {"clMaroon", "clGreen", "clNavy",   "clRed",
                                                "clBlue",   "clWhite", "clYellow", "clBlack"};

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

std::string S(const QString& s) {
    return s.toStdString();
}

QFrame* Panel(QWidget* parent, int x, int y, int w, int h) {
    auto* panel = new QFrame(parent);
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setGeometry(x, y, w, h);
    return panel;
}

QLabel* Label(QWidget* parent, const char* text, int x, int y) {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->move(x, y);
    return label;
}

// A control under its label, which names it for assistive technology (the labelled-by
// relation). A field has no text of its own to be known by, so it takes the label's text as
// its name too; a list is known by its current entry, with the label through the relation. The
// label is made first, so that the control lies above it where they overlap.
template <class Control> Control* Labelled(QWidget* parent, const char* text, int x, int y) {
    QLabel* label = Label(parent, text, x, y);
    auto* control = new Control(parent);
    label->setBuddy(control);
    if constexpr (!std::is_same_v<Control, QComboBox>) {
        QString name = label->text();
        if (name.endsWith(QLatin1Char(':')))
            name.chop(1);
        control->setAccessibleName(name);
    }
    return control;
}

// A drop-down list without typing, placed under its label.
QComboBox* List(QWidget* parent, const char* label, int x, int y, int w) {
    auto* box = Labelled<QComboBox>(parent, label, x, y);
    box->setEditable(false);
    box->setGeometry(x, y + 15, w, 21);
    return box;
}

// An entry picked by assistive technology (the entry's toggle action, or a row selection
// through the table interface) only selects it in the item view; the mouse and the keys move
// the current entry with the selection. The one selected row, when it is not the current one,
// is such a pick; -1 otherwise.
int PickedRow(const QAbstractItemView& view) {
    const QModelIndexList selected = view.selectionModel()->selectedIndexes();
    if (selected.size() != 1 || selected.front().row() == view.currentIndex().row())
        return -1;
    return selected.front().row();
}

// A list's entry picked by assistive technology becomes its choice as a user's pick does,
// after the pick's own call has returned, as the choice may save and show a box.
void AcceptAssistivePicks(QComboBox* box) {
    QAbstractItemView* view = box->view();
    QObject::connect(
        view->selectionModel(), &QItemSelectionModel::selectionChanged, box,
        [box, view] {
            const int row = PickedRow(*view);
            if (row < 0)
                return;
            view->setCurrentIndex(view->model()->index(row, box->modelColumn()));
            box->hidePopup();
            box->setCurrentIndex(row);
            emit box->activated(row);
        },
        Qt::QueuedConnection);
}

void Fill(QComboBox* box, const std::vector<std::string>& entries) {
    box->clear();
    for (const auto& e : entries)
        box->addItem(Q(e));
}

std::vector<std::string> Numbers(int from, int to, int step) {
    std::vector<std::string> v;
    for (int i = from; i <= to; i += step)
        v.push_back(std::to_string(i));
    return v;
}

// Fills the list with its entries and the stored value when none of them matches it, and
// selects the entry equal to the value without regard to case; an empty value selects nothing.
void Offer(QComboBox* box, const std::vector<std::string>& entries, const std::string& value) {
    const std::vector<std::string> offered = WithStoredValue(entries, value);
    Fill(box, offered);
    const auto match = std::find_if(offered.begin(), offered.end(), [&](const std::string& entry) {
        return EqualNoCase(entry, value);
    });
    box->setCurrentIndex(match == offered.end() ? -1 : static_cast<int>(match - offered.begin()));
}

// The port list: each entry shows its label and stores its value (a by-id device's full path).
void OfferPorts(QComboBox* box, const std::vector<PortEntry>& entries, const std::string& value) {
    box->clear();
    for (const auto& e : entries)
        box->addItem(Q(e.label), Q(e.value));
    const auto match = std::find_if(entries.begin(), entries.end(), [&](const PortEntry& entry) {
        return EqualNoCase(entry.value, value);
    });
    box->setCurrentIndex(match == entries.end() ? -1 : static_cast<int>(match - entries.begin()));
}

std::vector<std::string> SkinEntries() {
    return {kSkinEntries.begin(), kSkinEntries.end()};
}

// Enter on a focused button presses it, as Space does. The buttons are not auto-default, so
// that Enter in an edit field presses nothing.
class EnterPressesButton final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                static_cast<QPushButton*>(watched)->click();
                return true;
            }
        }
        return false;
    }
};

std::string Selected(const QComboBox* box) {
    return box->currentIndex() < 0 ? std::string() : S(box->currentText());
}

QPushButton* Button(QWidget* parent, const char* text, int x, int y, int w, int h) {
    auto* b = new QPushButton(QString::fromUtf8(text), parent);
    b->setGeometry(x, y, w, h);
    b->setAutoDefault(false);
    return b;
}

} // namespace

TForm2::TForm2(TForm2Deps deps, QWidget* parent) : QDialog(parent), deps_(std::move(deps)) {
    if (!deps_.serialDevices)
        deps_.serialDevices = [] { return ListSerialDevices(); };
    Build();
}

void TForm2::Build() {
    setWindowTitle(QString::fromUtf8("Настройки"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(378, 402);
    QFont f(QStringLiteral("Tahoma"));
    f.setPixelSize(11);
    setFont(f);

    portPanel = Panel(this, 8, 8, 185, 321);
    sComboBox1 = List(portPanel, "Порт:", 8, 6, 169);
    sComboBox2 = List(portPanel, "Скорость:", 8, 48, 169);
    sComboBox3 = List(portPanel, "Адрес терминала:", 8, 90, 169);
    sComboBox4 = List(portPanel, "Задержка (мс):", 8, 132, 169);
    sComboBox5 = List(portPanel, "Протокол:", 8, 174, 169);

    networkPanel = Panel(this, 8, 8, 185, 321);
    sEdit1 = Labelled<QLineEdit>(networkPanel, "IP-адрес:", 8, 6);
    sEdit1->setGeometry(8, 21, 105, 21);
    sEdit2 = Labelled<QLineEdit>(networkPanel, "Порт:", 120, 6);
    sEdit2->setGeometry(120, 21, 49, 21);
    sListBox1 = Labelled<QListWidget>(networkPanel, "Список сетевых терминалов:", 8, 48);
    sListBox1->setGeometry(8, 63, 161, 122);
    sEdit3 = Labelled<QLineEdit>(networkPanel, "Наименование:", 8, 191);
    sEdit3->setGeometry(8, 206, 161, 21);
    sButton4 = Button(networkPanel, "Добавить", 8, 236, 161, 23);
    sButton5 = Button(networkPanel, "Изменить", 8, 262, 161, 23);
    sButton6 = Button(networkPanel, "Удалить", 8, 288, 161, 23);

    appearancePanel = Panel(this, 199, 8, 170, 257);
    sComboBox6 = List(appearancePanel, "Скин:", 8, 6, 154);
    sComboBox7 = List(appearancePanel, "Цвет (вес нестабилен):", 8, 48, 154);
    sComboBox8 = List(appearancePanel, "Цвет (вес стабилен):", 8, 90, 154);
    sComboBox9 = List(appearancePanel, "Цвет фона:", 8, 132, 154);

    modePanel = Panel(this, 199, 271, 171, 58);
    sCheckBox1 = new QCheckBox(QString::fromUtf8("Сетевой режим"), modePanel);
    sCheckBox1->setGeometry(8, 18, 155, 21);

    buttonPanel = Panel(this, 8, 335, 361, 58);
    sButton1 = Button(buttonPanel, "Применить", 8, 16, 120, 27);
    sButton1->setToolTip(QString::fromUtf8("Применить изменения"));
    sButton2 = Button(buttonPanel, "<0>", 136, 16, 89, 27);
    sButton2->setToolTip(QString::fromUtf8("Обнулить весы"));
    sButton3 = Button(buttonPanel, "Закрыть", 233, 16, 120, 27);

    // The state change, not the click: keyboard and assistive technology switch it too.
    connect(sCheckBox1, &QCheckBox::toggled, this, [this] { SwitchPanels(); });
    connect(sButton1, &QPushButton::clicked, this, [this] { ApplyClick(); });
    connect(sButton2, &QPushButton::clicked, this, [this] {
        if (deps_.zeroAction)
            deps_.zeroAction();
    });
    connect(sButton3, &QPushButton::clicked, this, &QDialog::reject);
    // Only the user's pick saves the skin; the selection a showing makes must not.
    connect(sComboBox6, &QComboBox::activated, this, [this] { SkinChanged(); });
    for (QComboBox* box : findChildren<QComboBox*>())
        AcceptAssistivePicks(box);
    connect(sListBox1, &QListWidget::itemClicked, this, [this] { ListClick(); });
    // Arrow keys (and assistive technology) move the current entry without a click; that fills
    // the name field as a click does. The dialog's own changes of the list block this.
    connect(sListBox1, &QListWidget::currentRowChanged, this, [this] { ListClick(); });
    // An entry that assistive technology selects becomes the current one, so the name field,
    // "Изменить" and "Удалить" work on it as on a clicked one.
    connect(sListBox1->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (sListBox1->signalsBlocked())
            return;
        if (const int row = PickedRow(*sListBox1); row >= 0)
            sListBox1->setCurrentRow(row);
    });
    auto* enter = new EnterPressesButton(this);
    for (QPushButton* b : {sButton1, sButton2, sButton3, sButton4, sButton5, sButton6})
        b->installEventFilter(enter);
    connect(sButton4, &QPushButton::clicked, this, [this] { AddClick(); });
    connect(sButton5, &QPushButton::clicked, this, [this] { ChangeClick(); });
    connect(sButton6, &QPushButton::clicked, this, [this] { DeleteClick(); });
}

void TForm2::showEvent(QShowEvent* event) {
    if (!event->spontaneous())
        Showing();
    QDialog::showEvent(event);
}

void TForm2::Showing() {
    const HeldSettings& s = *deps_.settings;
    OfferPorts(sComboBox1, PortEntries(s.port, deps_.serialDevices()), s.port);
    Offer(sComboBox2, kSpeedEntries, std::to_string(s.baudRate));
    Offer(sComboBox3, Numbers(0, 50, 1), std::to_string(s.channel));
    Offer(sComboBox4, Numbers(10, 100, 10), std::to_string(s.delayMs));
    Offer(sComboBox6, SkinEntries(), s.skin);
    Offer(sComboBox7, kColorEntries, s.color1);
    Offer(sComboBox8, kColorEntries, s.color2);
    Offer(sComboBox9, kColorEntries, s.background);
    Offer(sComboBox5, kProtocolEntries, s.protocol);

    sEdit1->setText(Q(s.ip));
    sEdit2->setText(Q(std::to_string(s.serverPort)));
    sCheckBox1->setChecked(s.networkMode);

    std::vector<std::string> names;
    try {
        deps_.terminalList->Read(deps_.store->TerminalListPath(), names);
        const QSignalBlocker quiet(sListBox1);
        sListBox1->clear();
        for (const auto& n : names)
            sListBox1->addItem(Q(n));
    } catch (const Exception&) {
        // A missing terminal list leaves the list box as it was.
    }
    SwitchPanels();
}

void TForm2::SwitchPanels() {
    const bool network = sCheckBox1->isChecked();
    portPanel->setVisible(!network);
    networkPanel->setVisible(network);
}

std::vector<std::string> TForm2::ListNames() const {
    std::vector<std::string> names;
    for (int i = 0; i < sListBox1->count(); ++i)
        names.push_back(S(sListBox1->item(i)->text()));
    return names;
}

void TForm2::ApplyClick() {
    SettingsTexts t;
    t.port =
        sComboBox1->currentIndex() < 0 ? std::string() : S(sComboBox1->currentData().toString());
    t.baudRate = Selected(sComboBox2);
    t.channel = Selected(sComboBox3);
    t.delay = Selected(sComboBox4);
    t.skin = Selected(sComboBox6);
    t.color1 = Selected(sComboBox7);
    t.color2 = Selected(sComboBox8);
    t.background = Selected(sComboBox9);
    t.ip = S(sEdit1->text());
    t.serverPort = S(sEdit2->text());
    t.networkMode = sCheckBox1->isChecked();
    t.protocol = Selected(sComboBox5);
    SaveThenApply([&] {
        deps_.store->SaveAll(t);
        deps_.terminalList->Write(deps_.store->TerminalListPath(), ListNames());
    });
}

void TForm2::SkinChanged() {
    SaveThenApply([&] { deps_.store->SaveSkin(Selected(sComboBox6)); });
}

void TForm2::SaveThenApply(const std::function<void()>& save) {
    // A refused write reaches the user in the standard error box; the settings in force stay
    // as they were, so the apply step does not run.
    try {
        save();
    } catch (const Exception& e) {
        // After the click's own call has returned, so that a press through assistive
        // technology answers at once.
        QMetaObject::invokeMethod(
            this, [text = e.Message()] { ShowErrorBox("Vesmera", text); }, Qt::QueuedConnection);
        return;
    }
    if (deps_.applyStep)
        deps_.applyStep();
}

void TForm2::ListClick() {
    if (auto* item = sListBox1->currentItem())
        sEdit3->setText(item->text());
}

void TForm2::AddClick() {
    if (sEdit3->text().isEmpty())
        return;
    sListBox1->addItem(sEdit3->text());
    sEdit3->clear();
}

void TForm2::ChangeClick() {
    if (sEdit3->text().isEmpty())
        return;
    const int row = sListBox1->currentRow();
    if (row >= 0 && sListBox1->item(row)->isSelected()) {
        sListBox1->item(row)->setText(sEdit3->text());
        sListBox1->setCurrentRow(row);
    } else {
        sListBox1->addItem(sEdit3->text());
    }
    sEdit3->clear();
}

void TForm2::DeleteClick() {
    const int row = sListBox1->currentRow();
    if (row >= 0 && sListBox1->item(row)->isSelected()) {
        const QSignalBlocker quiet(sListBox1);
        delete sListBox1->takeItem(row);
        // The list keeps no selection after a delete, so a second press removes nothing and
        // "Изменить" appends.
        sListBox1->setCurrentRow(-1);
        sListBox1->clearSelection();
    }
    sEdit3->clear();
}

} // namespace vesmera
