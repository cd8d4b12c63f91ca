#include "app/about_window.h"

#include <QImage>
#include <QLabel>
#include <QPixmap>

#include "app/about_picture.h"
#include "app/about_placement.h"
#include "app/jpeg_image.h"

namespace vesmera {

namespace {

constexpr int kClientWidth = 461;
constexpr int kClientHeight = 392;
// The picture sits 2 pixels above the client area's top edge.
constexpr int kPictureTop = -2;

QPixmap AboutPixmap() {
    const RgbImage image = DecodeJpeg(AboutPictureJpeg());
    const QImage view(image.rgb.data(), image.width, image.height, image.width * 3,
                      QImage::Format_RGB888);
    return QPixmap::fromImage(view.copy()); // copy: the bytes go away with `image`
}

} // namespace

TForm5::TForm5(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint),
      picture_(new QLabel(this)) {
    setObjectName("Form5");
    setWindowTitle(QString::fromUtf8("О Программе"));
    setFixedSize(kClientWidth, kClientHeight);
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    picture_->setObjectName("Image1");
    picture_->setPixmap(AboutPixmap());
    picture_->setGeometry(0, kPictureTop, kAboutPictureWidth, kAboutPictureHeight);
}

void TForm5::PlaceBeside(const QWidget& mainWindow) {
    const QPoint main = mainWindow.pos(); // the outer frame's top left, like Left and Top
    const WindowPosition at = AboutWindowPosition({main.x(), main.y()});
    move(at.left, at.top);
}

void TForm5::ShowModalBeside(const QWidget& mainWindow) {
    PlaceBeside(mainWindow);
    exec();
}

} // namespace vesmera
