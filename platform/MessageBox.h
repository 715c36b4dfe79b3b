// The class library's message box, without a window system: the text goes to a handler that a host (or
// a test) installs; by default it is written to standard error and the answer is OK. Hosts with windows
// show message boxes through the window layer (platform/window/WindowMessageBox.h), which honours the
// same handler.
#pragma once

#include <functional>

#include "platform/CString.h"
#include "platform/Exceptions.h"
#include "platform/WinTypes.h"

// Buttons (the low four bits), icon and default button of a message box's type.
constexpr UINT MB_OK = 0x0;
constexpr UINT MB_OKCANCEL = 0x1;
constexpr UINT MB_YESNOCANCEL = 0x3;
constexpr UINT MB_YESNO = 0x4;
constexpr UINT MB_TYPEMASK = 0xF;
constexpr UINT MB_ICONERROR = 0x10;
constexpr UINT MB_ICONQUESTION = 0x20;
constexpr UINT MB_ICONEXCLAMATION = 0x30;
constexpr UINT MB_ICONINFORMATION = 0x40;
constexpr UINT MB_ICONMASK = 0xF0;
constexpr UINT MB_DEFBUTTON1 = 0x000;
constexpr UINT MB_DEFBUTTON2 = 0x100;
constexpr UINT MB_DEFBUTTON3 = 0x200;
constexpr UINT MB_DEFMASK = 0xF00;

// The answers, which are also the IDs of a dialog's OK and Cancel buttons.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// Shows a text with the buttons of type and returns the button chosen (IDOK, ...). Called on the thread that
// reports, which is not always the window thread: the file panel's searches run on threads of their own.
using MessageBoxHandler = std::function<int(const CString& text, UINT type)>;

// Installs a handler (an empty one restores the default) and returns the one it replaces.
KIV_RUNTIME_API MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);
// Nonzero while a handler is installed: the window layer's message boxes then go to it too, so one hook
// answers every message box of the process.
KIV_RUNTIME_API BOOL HasMessageBoxHandler();

KIV_RUNTIME_API int AfxMessageBox(LPCWSTR text, UINT type = MB_OK, UINT helpId = 0);

// The text the class library shows for an exception: for a file exception, what went wrong with which file.
KIV_RUNTIME_API CString ExceptionMessage(const CException& exception);
// An exception's standard report: its message in a message box.
KIV_RUNTIME_API int ReportError(const CException& exception, UINT type = MB_OK);
