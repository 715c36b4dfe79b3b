// The widgets behind the window layer's own windows, for the layer and the libraries that build widgets
// of their own on it (derive from WindowWidget to keep the CWnd handlers).
#pragma once

#include <QImage>
#include <QWidget>

#include "platform/WinTypes.h"

class CWnd;

// What CWnd's text and control-ID calls and the buttons' check calls do, for code that holds a widget
// without a CWnd (a dialog making its controls and exchanging their data). The text is that of a label,
// button, line edit or editable combo box, and the caption of any other widget.
KIV_RUNTIME_API QString WidgetText(const QWidget* widget);
KIV_RUNTIME_API void SetWidgetText(QWidget* widget, const QString& text);
KIV_RUNTIME_API void SetWidgetControlId(QWidget* widget, int id);
// A button's check state as the system counts it: 0 unchecked, 1 checked, 2 indeterminate.
KIV_RUNTIME_API int WidgetCheck(const QWidget* widget);
KIV_RUNTIME_API void SetWidgetCheck(QWidget* widget, int check);
// A control taking over a template's placeholder: widget goes where place is in its parent's stacking and
// focus order (whatever place's own focus policy: a static placeholder takes no focus), and place goes.
KIV_RUNTIME_API void TakePlaceOf(QWidget* place, QWidget* widget);

// The widget of a window that CWnd::Create made: its events reach the CWnd's handlers.
class KIV_RUNTIME_API WindowWidget : public QWidget {
  public:
    explicit WindowWidget(CWnd* owner);
    ~WindowWidget() override;
    CWnd* Owner() const { return owner_; }
    // The CWnd is going away first: events stop reaching it.
    void Disown() { owner_ = nullptr; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    CWnd* owner_;
};

// What GetDC draws into: a transparent child covering its window, above the window's own painting and
// below its child windows, that keeps the drawing through exposes and grows with the window.
class KIV_RUNTIME_API BackingImage : public QWidget {
  public:
    // The window's backing image; made on first use when create is set, else null when there is none.
    static BackingImage* Of(QWidget* window, bool create);
    QImage& Image() { return image_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    explicit BackingImage(QWidget* parent);
    void Fit();
    QImage image_;
};
