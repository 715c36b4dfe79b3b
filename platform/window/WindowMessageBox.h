// The system's message box on the window layer. One hook answers every message box of the process: while
// a handler is installed with SetMessageBoxHandler (platform/MessageBox.h), a test or a host without
// windows, it gets the text and the type and its answer is returned; otherwise a real box shows, modal to
// its owner, or, where no display can be opened, the text goes to standard error as AfxMessageBox does.
#pragma once

#include "platform/MessageBox.h"
#include "platform/window/Window.h"

// type: MB_OK, MB_OKCANCEL, MB_YESNO or MB_YESNOCANCEL, with an MB_ICON... and an MB_DEFBUTTON...
// Returns the button chosen (IDOK, IDCANCEL, IDYES, IDNO); closing the box answers Cancel, or No when
// the box has no Cancel button.
KIV_RUNTIME_API int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);
