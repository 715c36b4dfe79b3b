#include "platform/window/WindowMessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include <algorithm>
#include <vector>

#include "platform/window/QtConversions.h"
#include "platform/window/WindowSystem.h"

namespace {

struct BoxButton {
    QMessageBox::StandardButton button;
    int answer;
};

std::vector<BoxButton> ButtonsOf(UINT type) {
    switch (type & MB_TYPEMASK) {
        case MB_OKCANCEL: return {{QMessageBox::Ok, IDOK}, {QMessageBox::Cancel, IDCANCEL}};
        case MB_YESNOCANCEL:
            return {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}, {QMessageBox::Cancel, IDCANCEL}};
        case MB_YESNO: return {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}};
        default: return {{QMessageBox::Ok, IDOK}};
    }
}

QMessageBox::Icon IconOf(UINT type) {
    switch (type & MB_ICONMASK) {
        case MB_ICONERROR: return QMessageBox::Critical;
        case MB_ICONQUESTION: return QMessageBox::Question;
        case MB_ICONEXCLAMATION: return QMessageBox::Warning;
        case MB_ICONINFORMATION: return QMessageBox::Information;
        default: return QMessageBox::NoIcon;
    }
}

}  // namespace

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
    if (HasMessageBoxHandler() || !AfxEnsureWindowSystem()) return AfxMessageBox(text, type);

    const std::vector<BoxButton> buttons = ButtonsOf(type);
    QMessageBox box(IconOf(type), caption ? ToQString(CString(caption)) : QApplication::applicationDisplayName(),
                    ToQString(CString(text)), QMessageBox::NoButton, owner ? owner->window() : nullptr);
    box.setWindowModality(owner ? Qt::WindowModal : Qt::ApplicationModal);
    for (const BoxButton& b : buttons) box.addButton(b.button);
    const size_t defaultIndex = std::min<size_t>((type & MB_DEFMASK) >> 8, buttons.size() - 1);
    box.setDefaultButton(buttons[defaultIndex].button);
    // Closing the box is Cancel where there is one; a Yes/No box closes as No, an OK box as OK.
    box.setEscapeButton(box.button(buttons.size() == 2 && buttons[1].answer == IDNO ? QMessageBox::No
                                                                                    : buttons.back().button));
    box.exec();
    const auto chosen = box.standardButton(box.clickedButton());
    for (const BoxButton& b : buttons)
        if (b.button == chosen) return b.answer;
    return buttons.back().answer;
}
