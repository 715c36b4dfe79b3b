// The widgets behind the window layer's own windows, for the layer and the libraries that build widgets
// of their own on it (derive from WindowWidget to keep the CWnd handlers).
#pragma once

#include <QImage>
#include <QWidget>

#include "platform/WinTypes.h"

class CWnd;

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
