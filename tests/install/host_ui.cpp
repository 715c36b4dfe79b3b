// A Qt host of the installed window half: its own window, wrapped for the module, filled with a colour and
// with a picture the core library saved.
#include <KivPictureUi.h>
#include <platform/window/Window.h>

#include <QApplication>
#include <QImage>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QWidget window;
    window.resize(44, 24);
    window.show();
    CWnd* wrapped = CWnd::FromHandle(&window);

    tagCOLOR32 colour{10, 20, 30, 255};
    const bool filled = KivPictureColorFillWnd(wrapped, &colour) == 1;
    QApplication::processEvents();
    const QImage shown = window.grab().toImage();
    const bool coloured = shown.pixel(5, 5) == qRgb(30, 20, 10);

    char folder[] = "/tmp/kivpicture-ui-host-XXXXXX";
    if (!mkdtemp(folder)) return 1;
    const std::string path = std::string(folder) + "/host.bmp";
    DWORD pixels[4] = {0xFF0000FFu, 0xFF00FF00u, 0xFFFF0000u, 0xFFFFFFFFu};
    KivPictureSaveBMPFile(CString::FromUtf8(path), pixels, CSize(2, 2), CRect(0, 0, 2, 2));
    const bool drawn = KivPictureFileFillWnd(wrapped, CString::FromUtf8(path), 0) == 1;
    std::remove(path.c_str());
    std::remove(folder);

    std::puts(filled && coloured && drawn ? "ui host: window filled and picture drawn" : "ui host: fills failed");
    return filled && coloured && drawn ? 0 : 2;
}
