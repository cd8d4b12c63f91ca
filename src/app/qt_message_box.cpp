#include "app/qt_message_box.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>

#include "common/display_platform.h"
#include "common/message_box.h"

namespace vesmera {

void InstallQtMessageBoxes() {
    if (IsWindowlessPlatform(QGuiApplication::platformName().toStdString())) {
        SetMessageBoxHandler([](const MessageBoxRequest& request) {
            std::fprintf(stderr, "vesmera: %s: %s\n", request.caption.c_str(),
                         request.text.c_str());
            return request.buttons == MessageButtons::YesNo ? request.defaultResult
                                                            : MessageResult::Ok;
        });
        return;
    }
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
