// Message maps: a static table per dialog class that names the handler of each control notification,
// chained to the base class's table, as the class library declares them:
//
//     class CMyDlg : public CDialog { ... DECLARE_MESSAGE_MAP() };
//     BEGIN_MESSAGE_MAP(CMyDlg, CDialog)
//         ON_BN_CLICKED(4004, &CMyDlg::OnBtnView)
//         ON_NOTIFY(TVN_SELCHANGEDW, 1003, &CMyDlg::OnSelChangedTree)
//     END_MESSAGE_MAP()
//
// CDialog::OnCommand and OnNotify walk the tables from the most derived class up and call the first
// handler that matches. Window messages (paint, size) reach the virtual handlers of CWnd without an entry;
// ON_WM_PAINT and ON_WM_SIZE are accepted so that maps read as the system's and expand to nothing.
#pragma once

#include "platform/window/Window.h"

// Notification codes of the controls, carried in the high word of a WM_COMMAND's wParam.
constexpr UINT BN_CLICKED = 0;
constexpr UINT CBN_SELCHANGE = 1;
constexpr UINT EN_CHANGE = 0x0300;

struct AFX_MSGMAP_ENTRY {
    UINT message;  // WM_COMMAND or WM_NOTIFY; 0 ends the table
    UINT code;     // the notification code
    UINT id;       // the control's ID
    void (*command)(CWnd* target);                                   // for WM_COMMAND
    void (*notify)(CWnd* target, NMHDR* header, LRESULT* result);    // for WM_NOTIFY
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*baseMap)();  // null for the root of the chain
    const AFX_MSGMAP_ENTRY* entries;
};

// The first entry for the message, code and ID in the chain that starts at map, or null.
KIV_RUNTIME_API const AFX_MSGMAP_ENTRY* AfxFindMessageEntry(const AFX_MSGMAP* map, UINT message, UINT code,
                                                             UINT id);

// The calls a table entry makes: a handler of T, which the entry's target is.
template <class T, auto handler>
void AfxCommandThunk(CWnd* target) {
    (static_cast<T*>(target)->*handler)();
}
template <class T, auto handler>
void AfxNotifyThunk(CWnd* target, NMHDR* header, LRESULT* result) {
    (static_cast<T*>(target)->*handler)(header, result);
}

#define DECLARE_MESSAGE_MAP()                        \
  protected:                                         \
    static const AFX_MSGMAP* GetThisMessageMap();    \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                     \
    const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
    const AFX_MSGMAP* theClass::GetThisMessageMap() {                              \
        using ThisClass = theClass;                                                \
        using TheBaseClass = baseClass;                                            \
        static const AFX_MSGMAP_ENTRY entries[] = {

#define END_MESSAGE_MAP()                                                \
    {0, 0, 0, nullptr, nullptr}};                                        \
        static const AFX_MSGMAP map = {&TheBaseClass::GetThisMessageMap, entries}; \
        return &map;                                                     \
    }

#define ON_CONTROL(code, id, memberFxn) \
    {WM_COMMAND, UINT(code), UINT(id), &AfxCommandThunk<ThisClass, memberFxn>, nullptr},
#define ON_COMMAND(id, memberFxn) ON_CONTROL(BN_CLICKED, id, memberFxn)
#define ON_BN_CLICKED(id, memberFxn) ON_CONTROL(BN_CLICKED, id, memberFxn)
#define ON_CBN_SELCHANGE(id, memberFxn) ON_CONTROL(CBN_SELCHANGE, id, memberFxn)
#define ON_EN_CHANGE(id, memberFxn) ON_CONTROL(EN_CHANGE, id, memberFxn)
#define ON_NOTIFY(code, id, memberFxn) \
    {WM_NOTIFY, UINT(code), UINT(id), nullptr, &AfxNotifyThunk<ThisClass, memberFxn>},

#define ON_WM_PAINT()
#define ON_WM_SIZE()
#define ON_WM_GETMINMAXINFO()
