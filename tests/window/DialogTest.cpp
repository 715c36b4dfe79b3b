// Dialogs on real widgets: a template becomes controls at the rectangles the dialog font gives, data
// exchange both ways, message-map dispatch, modal runs ended from the keyboard, and the one message-box
// hook.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <functional>
#include <memory>
#include <vector>

#include "libraries/window/KivGuiDialogs.h"
#include "libraries/window/KivModuleRCWindow.h"
#include "platform/window/Controls.h"
#include "platform/window/Dialog.h"
#include "platform/window/WindowMessageBox.h"

#include "MessageBoxAnswers.h"
#include "WidgetPixels.h"

extern const ModuleResourceTable kKivPictureUiResources;

namespace {

// A dialog in the module's font with one control of each kind the module's templates use.
DialogTemplate TestTemplate(DWORD style) {
    DialogTemplate t{style | DS_SETFONT, L"Open Image File", L"Times New Roman", 9, {0, 0, 200, 120}, {}};
    constexpr DWORD shown = WS_VISIBLE | WS_TABSTOP;
    t.items = {
        {4002, L"EDIT", L"", shown | WS_BORDER | ES_AUTOHSCROLL, 0, CRect(3, 3, 70, 15)},
        {4011, L"EDIT", L"", shown | WS_BORDER, 0, CRect(75, 3, 100, 15)},
        {1006, L"COMBOBOX", L"", shown | CBS_DROPDOWNLIST | WS_VSCROLL, 0, CRect(3, 20, 100, 108)},
        {4005, L"BUTTON", L"Use Simple Image File Dialog@c", shown | BS_AUTOCHECKBOX, 0,
         CRect(3, 40, 139, 50)},
        {1010, L"STATIC", L"Static", WS_VISIBLE | SS_SUNKEN | SS_CENTERIMAGE, 0, CRect(3, 55, 100, 67)},
        {4003, L"STATIC", L"", SS_BLACKFRAME, 0, CRect(105, 3, 185, 73)},
        {1003, L"SysTreeView32", L"Tree1", shown | TVS_HASBUTTONS | TVS_LINESATROOT, 0,
         CRect(3, 72, 100, 98)},
        {4010, L"STATIC", L"\u6253\u5f00\u56fe\u50cf\u6587\u4ef6", WS_VISIBLE, 0, CRect(105, 75, 190, 95)},
        {4004, L"BUTTON", L"View@p", shown, 0, CRect(10, 100, 45, 114)},
        {4007, L"BUTTON", L"Close@p", shown, 0, CRect(50, 100, 85, 114)},
        {IDOK, L"BUTTON", L"OK@p", shown | BS_DEFPUSHBUTTON, 0, CRect(110, 100, 149, 114)},
        {IDCANCEL, L"BUTTON", L"Cancel@p", shown, 0, CRect(153, 100, 192, 114)},
    };
    return t;
}

class ExchangeDlg : public CDialog {
  public:
    CString name = L"holiday.tga";
    int count = 42;
    int check = 1;
    int index = 2;
    CEdit edit;
    CComboBox combo;
    void DoDataExchange(CDataExchange* pDX) override {
        DDX_Control(pDX, 4002, edit);
        DDX_Control(pDX, 1006, combo);
        DDX_Text(pDX, 4002, name);
        DDX_Text(pDX, 4011, count);
        DDX_Check(pDX, 4005, check);
        DDX_CBIndex(pDX, 1006, index);
    }
};

class MapDlg : public CDialog {
  public:
    std::vector<CString> events;
    CString name;
    void DoDataExchange(CDataExchange* pDX) override { DDX_Text(pDX, 4002, name); }
    void OnBtnView() { events.push_back(L"view"); }
    void OnSelchangeType() { events.push_back(L"type"); }
    void OnChangeName() { events.push_back(L"name"); }
    void OnSelchangeList() { events.push_back(L"list"); }
    void OnSelChangedTree(NMHDR* header, LRESULT* result) {
        events.push_back(L"tree " + std::to_wstring(header->code));
        *result = 5;
    }
    void OnBtnClose() {
        events.push_back(L"close");
        DestroyWindow();  // inside the button's own click
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(MapDlg, CDialog)
    ON_BN_CLICKED(4004, &MapDlg::OnBtnView)
    ON_BN_CLICKED(4007, &MapDlg::OnBtnClose)
    ON_CBN_SELCHANGE(1006, &MapDlg::OnSelchangeType)
    ON_EN_CHANGE(4002, &MapDlg::OnChangeName)
    ON_CONTROL(1, 4001, &MapDlg::OnSelchangeList)
    ON_NOTIFY(0xFFFFFE3Du, 1003, &MapDlg::OnSelChangedTree)
END_MESSAGE_MAP()

}  // namespace

TEST(Dialog, TemplateBecomesControlsAtTheFontsDialogUnits) {
    auto host = HostWindow(400, 260);
    CDialog dialog;
    ASSERT_TRUE(dialog.CreateIndirect(TestTemplate(WS_CHILD | WS_VISIBLE), CWnd::FromHandle(host.get())));
    // Times New Roman 9 on a 96-dpi screen, as the system measures it (Liberation Serif has its metrics):
    // 353 pixels for the alphabet give (353 / 26 + 1) / 2 = 7, and the cell is 11 + 3 pixels high.
    EXPECT_EQ(dialog.GetDialogBaseUnits(), CSize(7, 14));
    EXPECT_EQ(dialog.m_hWnd->size(), QSize(350, 210));
    EXPECT_EQ(dialog.m_hWnd->parentWidget(), host.get());

    struct Expected {
        int id;
        const char* qtClass;
        QString text;
        bool visible;
        QRect rect;  // empty: not checked
    } const expected[] = {
        {IDOK, "QPushButton", "OK", true, QRect(193, 175, 68, 25)},  // 192.5 and 199.5 round up, as MulDiv
        {4002, "QLineEdit", "", true, QRect(5, 5, 118, 21)},
        {4005, "QCheckBox", "Use Simple Image File Dialog", true, {}},
        {1010, "QLabel", "Static", true, {}},
        {4003, "QLabel", "", false, {}},  // not WS_VISIBLE: hidden
        {1003, "QTreeWidget", "", true, {}},
        {1006, "QComboBox", "", true, {}},
    };
    for (const Expected& e : expected) {
        CWnd* item = dialog.GetDlgItem(e.id);
        ASSERT_NE(item, nullptr) << e.id;
        EXPECT_STREQ(item->m_hWnd->metaObject()->className(), e.qtClass) << e.id;
        CString text;
        dialog.GetDlgItemTextW(e.id, text);
        if (e.id != 1003) {
            EXPECT_EQ(QString::fromStdWString(text.GetString()), e.text) << e.id;
        }
        EXPECT_EQ(item->IsWindowVisible(), e.visible) << e.id;
        if (!e.rect.isEmpty()) {
            EXPECT_EQ(item->m_hWnd->geometry(), e.rect) << e.id;
        }
    }
    EXPECT_EQ(Control<QLabel>(dialog, 1010)->alignment() & Qt::AlignVertical_Mask, Qt::AlignVCenter);
    EXPECT_EQ(Control<QLabel>(dialog, 1010)->frameShadow(), QFrame::Sunken);
    const QRect combo = dialog.GetDlgItem(1006)->m_hWnd->geometry();
    EXPECT_EQ(combo.topLeft(), QPoint(5, 35));
    EXPECT_LT(combo.height(), 40) << "closed, a combo box is one line high, not its list's 189 pixels";

    // The Chinese label draws with an installed CJK face: ink where Liberation Serif has no glyphs.
    const QImage chinese = dialog.GetDlgItem(4010)->m_hWnd->grab().toImage();
    int ink = 0;
    for (int y = 0; y < chinese.height(); ++y)
        for (int x = 0; x < chinese.width(); ++x) ink += qGray(chinese.pixel(x, y)) < 100;
    EXPECT_GT(ink, 30);
}

TEST(Dialog, DataExchangeMovesValuesBothWaysAndStopsAtAnInvalidOne) {
    auto host = HostWindow(400, 260);
    ExchangeDlg dialog;
    ASSERT_TRUE(dialog.CreateIndirect(TestTemplate(WS_CHILD), CWnd::FromHandle(host.get())));
    EXPECT_EQ(dialog.GetDlgItem(4002), &dialog.edit) << "the member took the control over";
    EXPECT_EQ(Control<QLineEdit>(dialog, 4002)->text(), "holiday.tga") << "OnInitDialog shows the members";
    EXPECT_EQ(Control<QLineEdit>(dialog, 4011)->text(), "42");
    EXPECT_EQ(dialog.IsDlgButtonChecked(4005), 1u);
    for (LPCWSTR entry : {L"TGA File", L"BMP File", L"PCX File"}) dialog.combo.AddString(entry);
    ASSERT_TRUE(dialog.UpdateData(FALSE));
    EXPECT_EQ(dialog.combo.GetCurSel(), 2);

    dialog.SetDlgItemTextW(4002, L"beach.bmp");
    Control<QLineEdit>(dialog, 4011)->setText(" 7 ");
    dialog.CheckDlgButton(4005, 0);
    dialog.combo.SetCurSel(0);
    ASSERT_TRUE(dialog.UpdateData(TRUE));
    EXPECT_EQ(dialog.name, CString(L"beach.bmp"));
    EXPECT_EQ(dialog.count, 7);
    EXPECT_EQ(dialog.check, 0);
    EXPECT_EQ(dialog.index, 0);

    MessageBoxAnswers boxes(IDOK);
    Control<QLineEdit>(dialog, 4011)->setText("seven");
    dialog.SetDlgItemTextW(4002, L"dune.pcx");
    dialog.CheckDlgButton(4005, 1);
    EXPECT_FALSE(dialog.UpdateData(TRUE));
    EXPECT_EQ(dialog.name, CString(L"dune.pcx")) << "exchanged before the invalid value";
    EXPECT_EQ(dialog.count, 7);
    EXPECT_EQ(dialog.check, 0) << "not exchanged after it";
    EXPECT_EQ(boxes.shown, std::vector<CString>{L"Please enter an integer."});
}

TEST(Dialog, MessageMapDispatchesNotificationsAndSurvivesAHandlerThatDestroys) {
    auto host = HostWindow(400, 260);
    MapDlg dialog;
    ASSERT_TRUE(dialog.CreateIndirect(TestTemplate(WS_CHILD | WS_VISIBLE), CWnd::FromHandle(host.get())));
    CWnd list;  // a control of the dialog's own making that notifies as the list control does
    ASSERT_TRUE(list.Create(nullptr, L"", WS_VISIBLE, CRect(0, 0, 10, 10), &dialog, 4001));
    auto* combo = Control<QComboBox>(dialog, 1006);
    combo->addItems({"A", "B", "C"});
    dialog.events.clear();

    QTest::mouseClick(Control<QPushButton>(dialog, 4004), Qt::LeftButton);
    combo->setCurrentIndex(1);  // the program's choice notifies nothing
    QTest::keyClick(combo, Qt::Key_Down);
    QTest::keyClicks(Control<QLineEdit>(dialog, 4002), "ab");
    dialog.name = L"set by the exchange";
    dialog.UpdateData(FALSE);  // locked out: no "name"
    EXPECT_EQ(list.GetParent()->SendMessage(WM_COMMAND, MAKEWPARAM(4001, 1), LPARAM(list.m_hWnd)), 1);
    EXPECT_EQ(dialog.SendMessage(WM_COMMAND, MAKEWPARAM(4001, 2), 0), 0) << "no entry for that code";
    NMHDR header{dialog.GetDlgItem(1003)->m_hWnd, 1003, 0xFFFFFE3Du};
    EXPECT_EQ(dialog.SendMessage(WM_NOTIFY, 1003, LPARAM(&header)), 5);
    EXPECT_EQ(dialog.events, (std::vector<CString>{L"view", L"type", L"name", L"name", L"list",
                                                   L"tree " + std::to_wstring(0xFFFFFE3Du)}));

    QTest::mouseClick(Control<QPushButton>(dialog, 4007), Qt::LeftButton);
    EXPECT_EQ(dialog.events.back(), CString(L"close"));
    EXPECT_EQ(dialog.m_hWnd, nullptr);
    EXPECT_NE(list.m_hWnd, nullptr) << "the button whose click runs must outlive its signal";
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(list.m_hWnd, nullptr) << "the dialog's widgets went once the handler had returned";
}

TEST(Dialog, ModalRunEndsFromTheKeyboardWithOnOKsExchange) {
    const auto typeThen = [](Qt::Key key) {
        return [key](ExchangeDlg& d) {
            Control<QLineEdit>(d, 4002)->setText("new.tga");
            QTest::keyClick(Control<QLineEdit>(d, 4002), key);
        };
    };
    struct Case {
        const char* what;
        std::function<void(ExchangeDlg&)> act;
        INT_PTR result;
        CString name;
    } const cases[] = {
        {"Enter in an edit presses the default button", typeThen(Qt::Key_Return), IDOK, L"new.tga"},
        {"Escape cancels without exchanging", typeThen(Qt::Key_Escape), IDCANCEL, L"holiday.tga"},
        {"Enter on a focused push button presses that one",
         [](ExchangeDlg& d) {
             auto* cancel = Control<QPushButton>(d, IDCANCEL);
             d.m_hWnd->activateWindow();
             ASSERT_TRUE(QTest::qWaitForWindowActive(d.m_hWnd));
             cancel->setFocus();
             QTest::keyClick(cancel, Qt::Key_Return);
         },
         IDCANCEL, L"holiday.tga"},
        {"Enter in a dialog inside the dialog presses the outer one's default button",
         [](ExchangeDlg& d) {
             CDialog panel;
             ASSERT_TRUE(panel.CreateIndirect(TestTemplate(WS_CHILD | WS_VISIBLE), &d));
             QTest::keyClick(Control<QLineEdit>(panel, 4002), Qt::Key_Return);
             EXPECT_FALSE(panel.m_hWnd->isHidden()) << "the panel itself did not end";
         },
         IDOK, L"holiday.tga"},
        {"the window's close button cancels", [](ExchangeDlg& d) { d.m_hWnd->close(); }, IDCANCEL,
         L"holiday.tga"},
    };
    for (const Case& c : cases) {
        ExchangeDlg dialog;
        dialog.InitModalIndirect(TestTemplate(WS_POPUP | WS_CAPTION));
        QTimer::singleShot(0, [&] {
            ASSERT_NE(dialog.m_hWnd, nullptr);
            c.act(dialog);
            if (dialog.m_hWnd && dialog.m_hWnd->isVisible()) dialog.EndDialog(-2);  // never hang the test
        });
        EXPECT_EQ(dialog.DoModal(), c.result) << c.what;
        EXPECT_EQ(dialog.name, c.name) << c.what;
        EXPECT_EQ(dialog.m_hWnd, nullptr) << c.what;
    }
}

TEST(KivGui, TheModulesTemplatesMakeAHiddenPanelAndAModalDialog) {
    auto host = HostWindow(400, 260);
    CKivAquaBaseDlg panel(226);
    ASSERT_TRUE(panel.DlgCreate(&kKivPictureUiResources, CWnd::FromHandle(host.get()), 226));
    EXPECT_FALSE(panel.IsWindowVisible());
    EXPECT_EQ(panel.GetParent()->m_hWnd, host.get());
    EXPECT_EQ(panel.m_hWnd->size(), QSize(700, 508));
    EXPECT_EQ(Control<QPushButton>(panel, 4004)->text(), "View");
    EXPECT_TRUE(panel.GetDlgItem(4003)->m_hWnd->isHidden()) << "the preview place is never shown";
    EXPECT_NE(Control<QTreeWidget>(panel, 1003), nullptr);
    CKivAquaComboBox types;
    ASSERT_TRUE(types.SubclassDlgItem(1006, &panel));
    EXPECT_EQ(types.AddString(L"TGA File(*.tga)"), 0);
    EXPECT_EQ(types.FindStringExact(-1, L"tga file(*.TGA)"), 0);

    CKivAquaBaseDlg detailed(224);
    QTimer::singleShot(0, [&] {
        EXPECT_EQ(Control<QCheckBox>(detailed, 4005)->text(), "Use Simple Image File Dialog");
        QTest::keyClick(detailed.m_hWnd, Qt::Key_Return);
    });
    EXPECT_EQ(detailed.DlgDoModal(&kKivPictureUiResources), IDOK);
}

// The one hook answers the window layer's boxes, the module's own strings among them, with text and type.
TEST(KivModuleRC, MessageBoxShowsTheModulesStringAndBitmapsLoad) {
    constexpr UINT kQuestion = MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2;  // the overwrite question
    for (const int answer : {IDNO, IDYES}) {
        MessageBoxAnswers boxes(answer);
        EXPECT_EQ(CKivModuleRC::MessageBoxW(&kKivPictureUiResources, 505, kQuestion), answer);
        EXPECT_EQ(MessageBoxW(nullptr, L"Overwrite?", L"Save Image File", MB_OK), answer);
        EXPECT_EQ(boxes.shown,
                  (std::vector<CString>{L"Current Selected File Has Already Existed, Whether To Override?",
                                        L"Overwrite?"}));
        EXPECT_EQ(boxes.types, (std::vector<UINT>{kQuestion, MB_OK}));
    }
    EXPECT_FALSE(HasMessageBoxHandler()) << "the handler was put back";

    CBitmap bitmap;
    ASSERT_TRUE(CKivModuleRC::LoadBitmapW(&kKivPictureUiResources, 130, bitmap));
    BITMAP info;
    ASSERT_NE(bitmap.GetBitmap(&info), 0);
    EXPECT_EQ(info.bmWidth, 16);
    EXPECT_EQ(info.bmHeight, 16);
    EXPECT_EQ(bitmap.GetQImage()->pixelColor(0, 0), QColor(Qt::white)) << "drawn on white";
    EXPECT_FALSE(CKivModuleRC::LoadBitmapW(&kKivPictureUiResources, 999, bitmap));
}
