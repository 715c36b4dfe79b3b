// The class library's file dialog on the window layer: Qt's own (non-native) file dialog, which can take a
// child panel, driven by the system's file-dialog structure and reporting its notifications to virtual
// handlers.
//
// The CFileDialog object is the child panel's dialog, as on the system with a template: its window is the
// panel (created from m_ofn's template when OFN_ENABLETEMPLATE is set, else an empty one), GetParent() is
// the file dialog's window, data exchange and message maps work on the panel's controls.
//
// Accepting a name runs, in order: the overwrite question (save, OFN_OVERWRITEPROMPT), OnFileNameOK, then
// the existence checks of OFN_PATHMUSTEXIST and (open) OFN_FILEMUSTEXIST. The derived class's check thus
// comes before the layer's, so a module's own message, in the module's language, is what the user sees.
// Every question goes through MessageBoxW, so the message-box hook answers it.
#pragma once

#include <vector>

#include "platform/window/Dialog.h"

// The class library's position, as platform/ObList.h declares it (without pulling the archive and file
// headers into every window header).
struct ObListNode;
using POSITION = ObListNode*;

class QFileDialog;
class FileDialogWidget;

// Flags of the file-dialog structure.
constexpr DWORD OFN_READONLY = 0x1;
constexpr DWORD OFN_OVERWRITEPROMPT = 0x2;
constexpr DWORD OFN_HIDEREADONLY = 0x4;
constexpr DWORD OFN_ENABLETEMPLATE = 0x40;
constexpr DWORD OFN_ALLOWMULTISELECT = 0x200;
constexpr DWORD OFN_PATHMUSTEXIST = 0x800;
constexpr DWORD OFN_FILEMUSTEXIST = 0x1000;
constexpr DWORD OFN_EXPLORER = 0x80000;

// The part of the system's file-dialog structure the layer reads. Strings are borrowed: they must live
// until DoModal returns.
struct OPENFILENAMEW {
    DWORD Flags = 0;
    HINSTANCE hInstance = nullptr;     // the module of the template
    LPCWSTR lpTemplateName = nullptr;  // MAKEINTRESOURCEW(id) of the child panel's template
    LPCWSTR lpstrTitle = nullptr;      // null: "Open" or "Save As" in the window system's words
    LPCWSTR lpstrInitialDir = nullptr;
};

class KIV_RUNTIME_API CFileDialog : public CDialog {
  public:
    // filter: pairs of a display name and its patterns (";" between them), each part ended by "|", the
    // whole by another "|" ("TGA File(*.tga)|*.tga||"). fileName may hold a folder.
    CFileDialog(BOOL openFileDialog, LPCWSTR defaultExtension = nullptr, LPCWSTR fileName = nullptr,
                DWORD flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, LPCWSTR filter = nullptr,
                CWnd* parentWnd = nullptr);
    ~CFileDialog() override;

    // IDOK when a name was accepted, else IDCANCEL; -1 when no window can be opened.
    INT_PTR DoModal() override;

    // While the dialog runs: the name now typed or selected; after IDOK: the first name chosen.
    CString GetPathName() const;
    // The names one by one, from the first (null when there is none); each call moves position on, to
    // null after the last. A position here counts names; it names no list node.
    POSITION GetStartPosition() const;
    CString GetNextPathName(POSITION& position) const;

    OPENFILENAMEW m_ofn;

  protected:
    // Notifications of the running dialog. OnFileNameOK answers nonzero to keep the dialog open.
    virtual BOOL OnFileNameOK() { return FALSE; }
    virtual void OnInitDone() {}
    virtual void OnFileNameChange() {}  // the current name changed: selection or typing
    virtual void OnFolderChange() {}
    virtual void OnTypeChange() {}
    // Sent only by old-style dialogs, which this layer does not make; kept for derived classes' overrides.
    virtual void OnLBSelChangedNotify(UINT /*box*/, UINT /*current*/, UINT /*code*/) {}
    // A file in use by another program: this layer never sees one, as Linux has no sharing locks.
    virtual UINT OnShareViolation(LPCWSTR /*path*/) { return 0; }

    // Centres the file dialog's window on its owner, or on the screen without one.
    void CenterFileDialog();
    BOOL IsOpenDialog() const { return openFileDialog_; }

    // Enter and Escape on the panel's controls accept or cancel the file dialog.
    void OnOK() override;
    void OnCancel() override;

  private:
    friend class FileDialogWidget;
    // The accept sequence of the header's comment; true when the dialog may close.
    bool AcceptNames();
    std::vector<CString> CurrentNames() const;

    BOOL openFileDialog_;
    CString defaultExtension_;
    CString fileName_;
    CString filter_;
    QFileDialog* running_ = nullptr;  // the file dialog while DoModal runs
    std::vector<CString> chosen_;     // the names accepted
};
