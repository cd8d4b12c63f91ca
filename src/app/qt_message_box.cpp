#include "app/qt_message_box.h"

#include <QApplication>
#include <QMessageBox>

#include "common/display_platform.h"
#include "common/message_box.h"

namespace vesmera {

void InstallQtMessageBoxes() {
    // Nobody could answer a box that is drawn nowhere: without a handler its text goes to
    // standard error and its default answer is taken.
    if (IsWindowlessPlatform(QGuiApplication::platformName().toStdString()))
        return;
    SetMessageBoxHandler([](const MessageBoxRequest& request) {
        const QString caption = request.caption.empty() ? QApplication::applicationDisplayName()
                                                        : QString::fromStdString(request.caption);
        const QString text = QString::fromStdString(request.text);
        const bool yesNo = request.buttons == MessageButtons::YesNo;
        QMessageBox::Icon icon = yesNo ? QMessageBox::Question : QMessageBox::Information;
        if (request.icon == MessageIcon::Warning)
            icon = QMessageBox::Warning;
        else if (request.icon == MessageIcon::Error)
            icon = QMessageBox::Critical;
        QMessageBox box(icon, caption, text,
                        yesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok,
                        QApplication::activeWindow());
        if (!yesNo) {
            box.exec();
            return MessageResult::Ok;
        }
        box.setDefaultButton(request.defaultResult == MessageResult::No ? QMessageBox::No
                                                                        : QMessageBox::Yes);
        return box.exec() == QMessageBox::Yes ? MessageResult::Yes : MessageResult::No;
    });
}

} // namespace vesmera
