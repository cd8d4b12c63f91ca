#pragma once

#include <QDialog>

class QLabel;

namespace vesmera {

// TForm5, "О Программе": the About picture on a white client area of 461 by 392, with only a
// close button.
class TForm5 final : public QDialog {
public:
    explicit TForm5(QWidget* parent = nullptr);

    // Places the window at the main window's left edge + 100 and its top, every time.
    void PlaceBeside(const QWidget& mainWindow);
    // PlaceBeside, then modal.
    void ShowModalBeside(const QWidget& mainWindow);

    const QLabel* Picture() const { return picture_; }

private:
    QLabel* picture_;
};

} // namespace vesmera
