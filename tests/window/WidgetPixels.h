// Reading what a widget shows: its picture after pending events, and one pixel as a COLORREF.
#pragma once

#include <QApplication>
#include <QImage>
#include <QWidget>

#include "platform/window/DeviceContext.h"

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
