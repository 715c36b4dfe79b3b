// Showing and reading widgets: a plain host window, a dialog's control by ID, what a widget shows after
// pending events, and one pixel as a COLORREF.
#pragma once

#include <QApplication>
#include <QImage>
#include <QWidget>

#include <memory>

#include "platform/window/DeviceContext.h"
#include "platform/window/Window.h"

// A shown window filled with one colour, top-level unless a parent is given.
inline std::unique_ptr<QWidget> HostWindow(int width, int height, QWidget* parent = nullptr,
                                           QColor colour = Qt::white) {
    auto widget = std::make_unique<QWidget>(parent);
    widget->setAutoFillBackground(true);
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->resize(width, height);
    widget->show();
    return widget;
}

template <class T>
T* Control(CWnd& dialog, int id) {
    CWnd* item = dialog.GetDlgItem(id);
    return item ? qobject_cast<T*>(item->m_hWnd) : nullptr;
}

inline QImage Grab(QWidget* widget) {
    QApplication::processEvents();
    return widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

inline QImage Grab(CWnd& window) {
    return Grab(window.m_hWnd);
}

inline COLORREF At(const QImage& image, int x, int y) {
    const QRgb pixel = image.pixel(x, y);
    return RGB(BYTE(qRed(pixel)), BYTE(qGreen(pixel)), BYTE(qBlue(pixel)));
}
