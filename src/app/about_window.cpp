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

// The lines of text in the picture and where they stand in it, so that assistive technology
// reads the window as a sighted user does.
struct PictureLine {
    const char* text;
    int top, height;
};
constexpr PictureLine kPictureLines[] = {
    {"Vesmera v.3.1", 8, 54},
    {"Весовой индикатор", 203, 24},
    {"Ворлен · 6.43 · сетевой режим", 233, 20},
    {"Vesmera Scale Software (demo build)", 303, 20},
    {"support@vesmera.example  ·  +0 000 000-00-00", 325, 20},
    {"© Vesmera", 357, 18},
};

// A label over its line of the picture that draws nothing: its text is for assistive
// technology, the picture stays exactly as it is.
void AddReadableLine(QWidget* window, const PictureLine& line) {
    auto* label = new QLabel(QString::fromUtf8(line.text), window);
    QPalette clear = label->palette();
    clear.setColor(QPalette::WindowText, Qt::transparent);
    label->setPalette(clear);
    label->setAlignment(Qt::AlignCenter);
    label->setGeometry(0, kPictureTop + line.top, kAboutPictureWidth, line.height);
}

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
    for (const PictureLine& line : kPictureLines)
        AddReadableLine(this, line);
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
