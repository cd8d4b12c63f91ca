#include "app/qt_message_box.h"

#include <QApplication>
#include <QMessageBox>

#include "common/message_box.h"

namespace vesmera {

void InstallQtMessageBoxes() {
    SetMessageBoxHandler([](const MessageBoxRequest& request) {
        const QString caption = request.caption.empty() ? QApplication::applicationDisplayName()
                                                        : QString::fromStdString(request.caption);
        const QString text = QString::fromStdString(request.text);
        if (request.buttons == MessageButtons::Ok) {
            QMessageBox::information(QApplication::activeWindow(), caption, text);
            return MessageResult::Ok;
        }
        const auto defaultButton =
            request.defaultResult == MessageResult::No ? QMessageBox::No : QMessageBox::Yes;
        const auto answer =
            QMessageBox::question(QApplication::activeWindow(), caption, text,
                                  QMessageBox::Yes | QMessageBox::No, defaultButton);
        return answer == QMessageBox::Yes ? MessageResult::Yes : MessageResult::No;
    });
}

} // namespace vesmera
