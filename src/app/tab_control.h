#pragma once

#include <functional>
#include <optional>
#include <string>

#include <QWidget>

#include "app/main_window_views.h"

class QTabBar;

namespace vesmera {

// sTabControl1: a plain container for the display widgets with a tab strip of fixed 20-pixel
// height along its top. The children are placed by the apply step and the resize rules, not by
// a layout. The strip does not lie above them: the main window stacks the backdrop screen
// beneath it and the other display widgets over it. It is visible and clickable in network
// mode because the widgets are then placed below its 20 pixels.
class TSTabControl final : public QWidget, public ITabControlView {
public:
    explicit TSTabControl(QWidget* parent = nullptr);

    int Top() const override { return y(); }
    int Width() const override { return width(); }
    int Height() const override { return height(); }
    void ClearTabs() override;
    void AddTab(const std::string& caption) override;

    // The caption of the selected tab; none when there are no tabs.
    std::optional<std::string> SelectedTabText() const;
    int TabCount() const;
    std::string TabText(int index) const;
    QTabBar* TabBar() const { return tabs_; }

    // OnChange: runs when the user (or the program) selects another tab, not while the apply
    // step rebuilds the tabs.
    void SetOnChange(std::function<void()> handler) { onChange_ = std::move(handler); }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QTabBar* tabs_;
    std::function<void()> onChange_;
    bool rebuilding_ = false;
};

} // namespace vesmera
