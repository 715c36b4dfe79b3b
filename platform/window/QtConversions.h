// Conversions between the window layer's types and Qt's, for the layer's own code and the libraries
// built on it.
#pragma once

#include <QColor>
#include <QRect>
#include <QString>

#include "platform/CString.h"
#include "platform/Geometry.h"
#include "platform/window/DeviceContext.h"

// Text for the screen: names that are not valid text show their undecodable bytes escaped, never lost
// silently.
inline QString ToQString(const CString& text) { return QString::fromStdWString(text.DisplayText().Text()); }
inline CString FromQString(const QString& text) { return CString(text.toStdWString()); }

inline QRect ToQRect(const RECT& rect) { return QRect(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top); }
inline CRect FromQRect(const QRect& rect) {
    return CRect(rect.left(), rect.top(), rect.left() + rect.width(), rect.top() + rect.height());
}

inline QColor ToQColor(COLORREF colour) { return QColor(GetRValue(colour), GetGValue(colour), GetBValue(colour)); }
inline COLORREF FromQColor(const QColor& colour) {
    return RGB(BYTE(colour.red()), BYTE(colour.green()), BYTE(colour.blue()));
}
