#include "libraries/window/KivGuiProgress.h"

#include <algorithm>

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QVBoxLayout>
#include <QWidget>

#include "libraries/window/KivGuiSkin.h"
#include "platform/window/QtConversions.h"
#include "platform/window/WindowSystem.h"

namespace {

constexpr int kMinimumWidth = 320;

// Paints what is pending now: the caller is about to block the user-interface thread. User input waits
// for the caller's own loop.
void FlushPainting(QWidget* window) {
    window->repaint();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

}  // namespace

CKivGuiProgressDlg::~CKivGuiProgressDlg() { Close(); }

BOOL CKivGuiProgressDlg::Create(LPCWSTR title, LPCWSTR text, int done, int total, int /*reserved*/, CWnd* parent) {
    if (m_hWnd != nullptr || !AfxEnsureWindowSystem()) return FALSE;
    auto* window = new QWidget;
    auto* label = new QLabel(QString::fromWCharArray(text ? text : L""), window);
    label->setObjectName("text");
    label->setWordWrap(true);
    auto* bar = new QProgressBar(window);
    bar->setObjectName("bar");
    bar->setFormat(QStringLiteral("%v / %m"));  // the counts themselves, the same in every language
    bar->setVisible(false);
    auto* layout = new QVBoxLayout(window);
    layout->addWidget(label);
    layout->addWidget(bar);
    window->setMinimumWidth(kMinimumWidth);
    window->setStyleSheet(QString::fromLatin1(CKivAquaAutoMaker::StyleSheet()));
    window->setProperty("kivSkinned", true);
    window->setAttribute(Qt::WA_StyledBackground, true);

    // A window of its own over the parent's: CreateFromWidget makes it a child, the flags a window again.
    // It only informs, so it takes no focus: the keys stay where the user works (a tree's arrows go on).
    if (!CreateFromWidget(window, 0, CRect(), parent, 0)) return FALSE;
    window->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowDoesNotAcceptFocus);
    window->setWindowTitle(QString::fromWCharArray(title ? title : L""));
    window->adjustSize();
    const QRect over = parent && parent->m_hWnd ? parent->m_hWnd->window()->geometry()
                                                : window->screen()->availableGeometry();
    window->move(over.center() - window->rect().center());
    SetProgress(done, total);
    window->show();
    FlushPainting(window);
    return TRUE;
}

void CKivGuiProgressDlg::SetProgress(int done, int total) {
    if (m_hWnd == nullptr) return;
    auto* bar = m_hWnd->findChild<QProgressBar*>("bar");
    bar->setVisible(total > 0);
    if (total > 0) {
        bar->setRange(0, total);
        bar->setValue(std::clamp(done, 0, total));
    }
    if (m_hWnd->isVisible()) FlushPainting(m_hWnd);
}

void CKivGuiProgressDlg::SetText(LPCWSTR text) {
    if (m_hWnd == nullptr) return;
    m_hWnd->findChild<QLabel*>("text")->setText(QString::fromWCharArray(text ? text : L""));
    FlushPainting(m_hWnd);
}

void CKivGuiProgressDlg::Close() {
    if (m_hWnd == nullptr) return;
    // A window system that activated it anyway gets the window below back, focus where it was.
    QWidget* over = m_hWnd->parentWidget();
    const bool active = m_hWnd->isActiveWindow();
    DestroyWindow();
    if (active && over != nullptr) over->activateWindow();
}
