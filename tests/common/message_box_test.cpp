#include <gtest/gtest.h>

#include "common/message_box.h"

using namespace vesmera;

TEST(MessageBox, TheInstalledHandlerAnswersAndIsRestored) {
    std::vector<MessageBoxRequest> seen;
    auto previous = SetMessageBoxHandler([&](const MessageBoxRequest& r) {
        seen.push_back(r);
        return MessageResult::Yes;
    });
    EXPECT_EQ(ShowMessageBox({"COM Server Warning", "text", MessageButtons::YesNo,
                              MessageResult::No}),
              MessageResult::Yes);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].caption, "COM Server Warning");
    SetMessageBoxHandler(previous);
    // Without a handler the default answer comes back and nothing waits for a user.
    EXPECT_EQ(ShowMessageBox({"c", "t", MessageButtons::YesNo, MessageResult::No}),
              MessageResult::No);
}
