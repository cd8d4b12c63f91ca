#pragma once

#include <functional>
#include <string>

namespace vesmera {

enum class MessageButtons { Ok, YesNo };
enum class MessageResult { Ok, Yes, No };
// Standard: information for an Ok box, a question mark for Yes/No.
enum class MessageIcon { Standard, Warning, Error };

struct MessageBoxRequest {
    std::string caption;
    std::string text;
    MessageButtons buttons = MessageButtons::Ok;
    MessageResult defaultResult = MessageResult::Ok;
    MessageIcon icon = MessageIcon::Standard;
};

using MessageBoxHandler = std::function<MessageResult(const MessageBoxRequest&)>;

// Every message box of the program goes through here. The program installs a Qt box; tests
// install a recorder, so no test and no headless run can hang on a modal box. Without a
// handler the text goes to standard error and the default answer is returned.
MessageResult ShowMessageBox(const MessageBoxRequest& request);
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

// The windowing framework's standard error box for a failure that reaches the user: the error
// icon and the text with a full stop appended (see WithFullStop).
void ShowErrorBox(const std::string& caption, const std::string& text);

// The text with a full stop appended unless it already ends in one or in a character that
// sorts before it, as the standard error box does.
std::string WithFullStop(std::string text);

} // namespace vesmera
