#include <QApplication>
#include <QEventLoop>
#include <QLabel>
#include <QTabBar>
#include <QTimer>

#include <gtest/gtest.h>

#include "app/about_window.h"
#include "app/qt_timer.h"
#include "app/tab_control.h"

namespace vesmera {
namespace {

TEST(AboutWindow, IsPlacedBesideTheMainWindowEachTimeItIsShown) {
    QWidget main;
    main.move(30, 40);
    TForm5 about;
    about.PlaceBeside(main);
    EXPECT_EQ(about.pos(), QPoint(130, 40));
    main.move(300, 7);
    about.PlaceBeside(main);
    EXPECT_EQ(about.pos(), QPoint(400, 7));
}

TEST(AboutWindow, HoldsThePictureTwoPixelsAboveAWhiteClientArea) {
    TForm5 about;
    EXPECT_EQ(about.windowTitle(), QString::fromUtf8("О Программе"));
    EXPECT_EQ(about.size(), QSize(461, 392));
    EXPECT_EQ(about.palette().color(QPalette::Window), QColor(Qt::white));
    EXPECT_EQ(about.Picture()->geometry(), QRect(0, -2, 457, 393));
    EXPECT_EQ(about.Picture()->pixmap().size(), QSize(457, 393));
}

TEST(TabControl, RebuildingTheTabsIsNoTabChangeButSelectingIs) {
    TSTabControl tabs;
    tabs.resize(403, 127);
    tabs.show();
    int changes = 0;
    tabs.SetOnChange([&] { ++changes; });
    tabs.AddTab("Весы 1");
    tabs.AddTab("Весы 2");
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(tabs.SelectedTabText(), "Весы 1");
    tabs.TabBar()->setCurrentIndex(1);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(tabs.SelectedTabText(), "Весы 2");
    tabs.ClearTabs();
    EXPECT_EQ(changes, 1);
    EXPECT_FALSE(tabs.SelectedTabText().has_value());
    EXPECT_EQ(tabs.TabBar()->geometry(), QRect(0, 0, 403, 20));
}

TEST(QtTimerSwitch, EnablingARunningTimerKeepsItsPeriod) {
    QObject owner;
    QtTimerSwitch timer("Timer1", 100, &owner);
    EXPECT_FALSE(timer.IsEnabled());
    timer.SetEnabled(true);
    const int timerId = timer.Timer()->timerId();
    timer.SetEnabled(true);
    EXPECT_EQ(timer.Timer()->timerId(), timerId); // not restarted
    timer.SetEnabled(false);
    EXPECT_FALSE(timer.IsEnabled());
    EXPECT_EQ(timer.Interval(), 100);
}

TEST(QtTimerSwitch, ATickDueInsideTheHandlersOwnEventLoopIsNotRun) {
    QObject owner;
    QtTimerSwitch timer("Timer5", 0, &owner);
    int outer = 0, total = 0;
    QEventLoop loop;
    timer.SetHandler([&] {
        ++total;
        if (++outer == 1) {
            // As a message box would: spin the event loop while the timer keeps falling due.
            for (int i = 0; i < 20; ++i) {
                QCoreApplication::processEvents();
            }
        } else if (outer == 3) {
            loop.quit();
        }
    });
    timer.SetEnabled(true);
    loop.exec();
    timer.SetEnabled(false);
    EXPECT_EQ(total, 3);
}

} // namespace
} // namespace vesmera
