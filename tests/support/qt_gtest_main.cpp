#include <QApplication>
#include <gtest/gtest.h>

// Widget suites need one application object for the whole run; the offscreen platform is
// chosen by the test environment, and forced here for runs started by hand.
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen")
                                                                  : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
