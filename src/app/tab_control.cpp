#include "app/tab_control.h"

#include <QResizeEvent>
#include <QSignalBlocker>
#include <QTabBar>

namespace vesmera {

TSTabControl::TSTabControl(QWidget* parent) : QWidget(parent), tabs_(new QTabBar(this)) {
    setObjectName("sTabControl1");
    tabs_->setObjectName("sTabControl1Tabs");
    tabs_->setExpanding(false);
    tabs_->setDrawBase(false);
    tabs_->setGeometry(0, 0, width(), kTabStripHeight);
    connect(tabs_, &QTabBar::currentChanged, this, [this](int) {
        if (!rebuilding_ && onChange_) {
            onChange_();
        }
    });
}

void TSTabControl::ClearTabs() {
    rebuilding_ = true;
    while (tabs_->count() > 0) {
        tabs_->removeTab(tabs_->count() - 1);
    }
    rebuilding_ = false;
}

void TSTabControl::AddTab(const std::string& caption) {
    rebuilding_ = true;
    tabs_->addTab(QString::fromStdString(caption));
    rebuilding_ = false;
}

std::optional<std::string> TSTabControl::SelectedTabText() const {
    const int index = tabs_->currentIndex();
    if (index < 0) {
        return std::nullopt;
    }
    return TabText(index);
}

int TSTabControl::TabCount() const {
    return tabs_->count();
}

std::string TSTabControl::TabText(int index) const {
    return tabs_->tabText(index).toStdString();
}

void TSTabControl::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    tabs_->setGeometry(0, 0, width(), kTabStripHeight);
}

} // namespace vesmera
