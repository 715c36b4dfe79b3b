#include "libraries/window/KivGuiSkin.h"

#include <QCoreApplication>
#include <QPointer>
#include <QWidget>

#include "platform/window/QtConversions.h"
#include "platform/window/WindowWidgets.h"

namespace {

// Holds the shared font as a child of the application object, so the font goes before the window
// system it belongs to.
class SharedFontHolder : public QObject {
  public:
    explicit SharedFontHolder(QObject* application) : QObject(application) {
        LOGFONTW face;
        face.lfHeight = -12;  // pixels, not points: the cells are laid out in pixels
        const wchar_t name[] = L"Arial";
        std::copy(std::begin(name), std::end(name), face.lfFaceName);
        font.CreateFontIndirect(&face);
    }
    CFont font;
};

}  // namespace

CFont* CKivGuiFont::GetFont() {
    static QPointer<SharedFontHolder> holder;
    if (holder.isNull()) {
        QObject* application = QCoreApplication::instance();
        if (application == nullptr) return nullptr;
        holder = new SharedFontHolder(application);
    }
    return &holder->font;
}

void KivGuiExcludeChildWndFromDC(CWnd* window, CDC* dc) {
    if (window == nullptr || window->m_hWnd == nullptr || dc == nullptr) return;
    for (QWidget* child : window->m_hWnd->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        // The backing image of GetDC covers the whole window but is the window's own drawing.
        if (child->isHidden() || child->isWindow() || dynamic_cast<BackingImage*>(child) != nullptr) continue;
        const CRect rect = FromQRect(child->geometry());
        dc->ExcludeClipRect(&rect);
    }
}

const char* CKivAquaAutoMaker::StyleSheet() {
    // Scoped to the skinned dialog and the standard controls, so owner-drawn windows keep their painting.
    return "*[kivSkinned=\"true\"] { background-color: #a19e9c; color: #101010; }\n"
           "QLabel { color: #101010; background: transparent; }\n"
           "QPushButton { background-color: #787a7e; color: #ffffff; border: 1px solid #5c5a5a;"
           " padding: 2px 8px; }\n"
           "QPushButton:hover { background-color: #868a8e; }\n"
           "QPushButton:pressed { background-color: #5c5a5a; }\n"
           "QPushButton:disabled { color: #b8b8b8; }\n"
           "QPushButton:focus { border: 1px solid #ffffff; }\n"
           "QLabel[kivSunken=\"true\"] { border: 1px solid; border-color: #5c5a5a #e4e2e0 #e4e2e0 #5c5a5a;"
           " padding-left: 2px; }\n"
           "QCheckBox, QRadioButton { color: #101010; background: transparent; }\n"
           // The style's own indicator vanishes under a style sheet: a field that fills when checked.
           "QCheckBox::indicator { width: 9px; height: 9px; border: 1px solid #3c3a3a;"
           " background-color: #d8d6d4; }\n"
           "QCheckBox::indicator:checked { background-color: #2f3a48; border: 1px solid #3c3a3a; }\n"
           "QCheckBox::indicator:disabled { background-color: #a19e9c; }\n"
           "QLineEdit, QComboBox, QTreeView, QListView { background-color: #b8b8b8; color: #101010;"
           " border: 1px solid #5c5a5a; selection-background-color: #5c6c80; selection-color: #ffffff; }\n"
           "QComboBox QAbstractItemView { background-color: #b8b8b8; }\n";
}

void CKivAquaAutoMaker::Attach(CWnd* dialog) {
    if (dialog == nullptr || dialog->m_hWnd == nullptr) return;
    QWidget* widget = dialog->m_hWnd;
    widget->setProperty("kivSkinned", true);
    widget->setAttribute(Qt::WA_StyledBackground, true);
    widget->setStyleSheet(QString::fromLatin1(StyleSheet()));
}
