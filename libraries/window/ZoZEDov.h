// The skinned-window library: a dialog and a file dialog with a skinned frame, and the static and edit controls that its
// dialogs bind by data exchange. The skin itself (colours, frame drawing) is applied by the GUI library's
// maker object; these classes are what it styles.
#pragma once

#include "platform/window/Controls.h"
#include "platform/window/Dialog.h"
#include "platform/window/FileDialog.h"

// The mark of a window whose frame the skin draws. It carries no state of its own.
class KIV_RUNTIME_API CKvFrameSkin {};

// A class-library dialog with a skinned frame.
class KIV_RUNTIME_API CKvDialog : public CDialog, public CKvFrameSkin {
  public:
    explicit CKvDialog(UINT templateId, CWnd* parent = nullptr) : CDialog(templateId, parent) {}
    BOOL OnInitDialog() override;
    // The caption, shown without a template's "@p" or "@c" mark.
    void SetWindowTextW(LPCWSTR text) override;
};

// The system's file dialog with a skinned frame; the skin styles its child panel.
class KIV_RUNTIME_API CKvFileDialog : public CFileDialog, public CKvFrameSkin {
  public:
    CKvFileDialog(BOOL openFileDialog, LPCWSTR defaultExtension = nullptr, LPCWSTR fileName = nullptr,
                  DWORD flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, LPCWSTR filter = nullptr,
                  CWnd* parentWnd = nullptr)
        : CFileDialog(openFileDialog, defaultExtension, fileName, flags, filter, parentWnd) {}
};

class KIV_RUNTIME_API CKvStatic : public CStatic {};
class KIV_RUNTIME_API CKvEdit : public CEdit {};
