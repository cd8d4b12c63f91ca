#include "app/qt_message_box.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

#include "common/message_box.h"

namespace vesmera {
namespace {

struct HeadlessBoxRow {
    MessageButtons buttons;
    MessageResult defaultResult;
};

class HeadlessBoxes : public ::testing::TestWithParam<HeadlessBoxRow> {};

// On the windowless platform of the tests no one could answer a box: it must not open one,
// and the box's default answer stands.
TEST_P(HeadlessBoxes, TakeTheDefaultAnswerAndSayTheTextOnStandardError) {
    const HeadlessBoxRow& row = GetParam();
    const MessageBoxHandler previous = SetMessageBoxHandler(nullptr);
    InstallQtMessageBoxes();
    bool opened = false;
    // Closes a box that should not be there, so that a fault fails the test instead of
    // hanging it.
    QTimer::singleShot(0, [&opened] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            opened = true;
            box->close();
        }
    });
    ::testing::internal::CaptureStderr();
    const MessageResult result = ShowMessageBox({"COM Server Warning", "Are you sure?", row.buttons,
                                                 row.defaultResult, MessageIcon::Warning});
    const std::string errors = ::testing::internal::GetCapturedStderr();
    SetMessageBoxHandler(previous);
    QApplication::processEvents();
    EXPECT_FALSE(opened);
    EXPECT_EQ(result, row.defaultResult);
    EXPECT_NE(errors.find("COM Server Warning: Are you sure?"), std::string::npos) << errors;
}

INSTANTIATE_TEST_SUITE_P(Rows, HeadlessBoxes,
                         ::testing::Values(HeadlessBoxRow{MessageButtons::YesNo, MessageResult::No},
                                           HeadlessBoxRow{MessageButtons::YesNo,
                                                          MessageResult::Yes},
                                           HeadlessBoxRow{MessageButtons::Ok, MessageResult::Ok}));

} // namespace
} // namespace vesmera
