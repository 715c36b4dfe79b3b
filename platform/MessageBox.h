// The class library's message box, without a window system: the text goes to a handler that a host (or
// the dialogs) installs; by default it is written to standard error and the answer is OK.
#pragma once

#include <functional>

#include "platform/CString.h"
#include "platform/Exceptions.h"
#include "platform/WinTypes.h"

constexpr UINT MB_OK = 0x0;
constexpr int IDOK = 1;

// Shows a text with the buttons of type and returns the button chosen (IDOK, ...).
using MessageBoxHandler = std::function<int(const CString& text, UINT type)>;

// Installs a handler (an empty one restores the default) and returns the one it replaces.
KIV_RUNTIME_API MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

KIV_RUNTIME_API int AfxMessageBox(LPCWSTR text, UINT type = MB_OK, UINT helpId = 0);

// The text the class library shows for an exception: for a file exception, what went wrong with which file.
KIV_RUNTIME_API CString ExceptionMessage(const CException& exception);
// An exception's standard report: its message in a message box.
KIV_RUNTIME_API int ReportError(const CException& exception, UINT type = MB_OK);
