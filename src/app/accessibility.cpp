#include "app/accessibility.h"

#include <QAccessibleWidget>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QMenu>
#include <QWidget>

#include "widgets/indicator/zyrel_liquid_indicator.h"
#include "widgets/lcd/lcd_screen.h"

namespace vesmera {

namespace {

constexpr const char* kStableText = "вес стабилен";
constexpr const char* kUnstableText = "вес нестабилен";

// The main window: a window, and its context menu opens through the standard action, as the
// menu key or a right click opens it. The menu is a popup, which the application's own list of
// windows leaves out, so the window lists it as its last child.
class MainWindowAccessible final : public QAccessibleWidget {
public:
    explicit MainWindowAccessible(QWidget* w) : QAccessibleWidget(w, QAccessible::Window) {}

    int childCount() const override { return QAccessibleWidget::childCount() + (Menu() ? 1 : 0); }
    QAccessibleInterface* child(int index) const override {
        if (Menu() && index == QAccessibleWidget::childCount())
            return QAccessible::queryAccessibleInterface(Menu());
        return QAccessibleWidget::child(index);
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        if (Menu() && child && child->object() == Menu())
            return QAccessibleWidget::childCount();
        return QAccessibleWidget::indexOfChild(child);
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
    QMenu* Menu() const {
        return widget()->findChild<QMenu*>(QString(), Qt::FindDirectChildrenOnly);
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
    SetIfChanged(messageScreen, &QWidget::setAccessibleName, &QWidget::accessibleName,
                 shown.message);
}

} // namespace vesmera
