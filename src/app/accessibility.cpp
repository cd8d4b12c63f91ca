#include "app/accessibility.h"

#include <QAccessibleWidget>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QMenu>
#include <QWidget>
#include <algorithm>
#include <vector>

#include "widgets/indicator/zyrel_liquid_indicator.h"
#include "widgets/lcd/lcd_screen.h"

namespace vesmera {

namespace {

constexpr const char* kStableText = "вес стабилен";
constexpr const char* kUnstableText = "вес нестабилен";
constexpr const char* kZeroButtonName = "Button1";

// The main window: a window, and its context menu opens through the standard action, as the
// menu key or a right click opens it. The menu is a popup, which the application's own list of
// windows leaves out, so the window lists it as its last child. The hidden zero button is never
// shown to anybody and is left out.
class MainWindowAccessible final : public QAccessibleWidget {
public:
    explicit MainWindowAccessible(QWidget* w) : QAccessibleWidget(w, QAccessible::Window) {}

    int childCount() const override { return static_cast<int>(Children().size()); }
    QAccessibleInterface* child(int index) const override {
        const std::vector<QAccessibleInterface*> children = Children();
        return index >= 0 && index < static_cast<int>(children.size()) ? children[index] : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        const std::vector<QAccessibleInterface*> children = Children();
        const auto at = std::find(children.begin(), children.end(), child);
        return at == children.end() ? -1 : static_cast<int>(at - children.begin());
    }

    QStringList actionNames() const override {
        return QAccessibleWidget::actionNames() << showMenuAction();
    }
    void doAction(const QString& name) override {
        if (name != showMenuAction()) {
            QAccessibleWidget::doAction(name);
            return;
        }
        // Posted: the caller's request returns before the menu is shown.
        const QPoint centre = widget()->rect().center();
        QCoreApplication::postEvent(widget(),
                                    new QContextMenuEvent(QContextMenuEvent::Keyboard, centre,
                                                          widget()->mapToGlobal(centre)));
    }

private:
    std::vector<QAccessibleInterface*> Children() const {
        std::vector<QAccessibleInterface*> children;
        for (int i = 0; i < QAccessibleWidget::childCount(); ++i) {
            QAccessibleInterface* c = QAccessibleWidget::child(i);
            if (c != nullptr && c->object()->objectName() != QLatin1String(kZeroButtonName))
                children.push_back(c);
        }
        if (auto* menu = widget()->findChild<QMenu*>(QString(), Qt::FindDirectChildrenOnly))
            children.push_back(QAccessible::queryAccessibleInterface(menu));
        return children;
    }
};

QAccessibleInterface* AccessibleFor(const QString& className, QObject* object) {
    auto* widget = qobject_cast<QWidget*>(object);
    if (widget == nullptr)
        return nullptr;
    if (className == QLatin1String(TZyrelLiquidIndicator::staticMetaObject.className()) ||
        className == QLatin1String(TLCDScreen::staticMetaObject.className()))
        return new QAccessibleWidget(widget, QAccessible::StaticText);
    if (className == QLatin1String("QWidget") && widget->isWindow() &&
        widget->objectName() == QLatin1String("Form1"))
        return new MainWindowAccessible(widget);
    return nullptr;
}

void SetIfChanged(QWidget& w, void (QWidget::*set)(const QString&), QString (QWidget::*get)() const,
                  const std::string& text) {
    const QString value = QString::fromStdString(text);
    if ((w.*get)() != value)
        (w.*set)(value);
}

} // namespace

void InstallAccessibleRoles() {
    static const bool installed = [] {
        QAccessible::installFactory(AccessibleFor);
        return true;
    }();
    (void)installed;
}

void DescribeShown(QWidget& indicator, QWidget& messageScreen, const ShownForAssistance& shown) {
    SetIfChanged(indicator, &QWidget::setAccessibleName, &QWidget::accessibleName,
                 shown.weightText);
    SetIfChanged(indicator, &QWidget::setAccessibleDescription, &QWidget::accessibleDescription,
                 shown.stable ? kStableText : kUnstableText);
    // A hidden screen's message is an old one: the weight is shown instead.
    SetIfChanged(messageScreen, &QWidget::setAccessibleName, &QWidget::accessibleName,
                 messageScreen.isHidden() ? std::string() : shown.message);
}

} // namespace vesmera
