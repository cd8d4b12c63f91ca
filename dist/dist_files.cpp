// Writes the installed files that come from the program's own code, so that they cannot drift
// from it: the icon at each size of the icon theme, drawn as the window draws it, and the bus
// activation and interface files that registration writes, for the installed executable.
//
//   dist-files OUTPUT_DIR EXECUTABLE
//
// gives OUTPUT_DIR/icons/hicolor/<n>x<n>/apps/vesmera.png and OUTPUT_DIR/dbus-1/....

#include <QDir>
#include <QGuiApplication>
#include <cstdio>

#include "app/app_icon.h"
#include "automation/bus_registration.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: dist-files OUTPUT_DIR EXECUTABLE\n");
        return 1;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    // Drawing text needs the font database, not a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    for (int size : vesmera::kIconSizes) {
        const QString dir = out + QString("/icons/hicolor/%1x%1/apps").arg(size);
        if (!QDir().mkpath(dir) || !vesmera::VesmeraIconPixmap(size).save(dir + "/vesmera.png")) {
            std::fprintf(stderr, "dist-files: cannot write the %d px icon in %s\n", size,
                         qPrintable(dir));
            return 1;
        }
    }
    try {
        vesmera::RegisterServerFiles(argv[1], argv[2]);
    } catch (const vesmera::Exception& e) {
        std::fprintf(stderr, "dist-files: %s\n", e.Message().c_str());
        return 1;
    }
    return 0;
}
