#include "platform/MessageBox.h"

#include <cstdio>
#include <mutex>
#include <utility>

namespace {

std::mutex handlerLock;
MessageBoxHandler handler;

int ShowOnStandardError(const CString& text, UINT) {
    std::fprintf(stderr, "%s\n", text.ToUtf8().c_str());
    return IDOK;
}

CString FileExceptionMessage(const CFileException& e) {
    const CString name = e.m_strFileName.IsEmpty() ? CString(L"an unnamed file") : e.m_strFileName;
    switch (e.m_cause) {
        case CFileException::fileNotFound:
            return name + CString(L" was not found.");
        case CFileException::badPath:
            return CString(L"All or part of the path ") + name + L" is not valid.";
        case CFileException::accessDenied:
            return CString(L"Access to ") + name + L" was denied.";
        case CFileException::diskFull:
            return CString(L"There is no space left on the disk for ") + name + L".";
        case CFileException::hardIO:
            return CString(L"A hardware error occurred while accessing ") + name + L".";
        default:
            return CString(L"An unexpected error occurred while accessing ") + name + L".";
    }
}

}  // namespace

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler next) {
    const std::lock_guard<std::mutex> guard(handlerLock);
    return std::exchange(handler, std::move(next));
}

BOOL HasMessageBoxHandler() {
    const std::lock_guard<std::mutex> guard(handlerLock);
    return handler ? TRUE : FALSE;
}

int AfxMessageBox(LPCWSTR text, UINT type, UINT) {
    MessageBoxHandler current;
    {
        const std::lock_guard<std::mutex> guard(handlerLock);
        current = handler;
    }
    const CString shown(text);
    return current ? current(shown, type) : ShowOnStandardError(shown, type);
}

CString ExceptionMessage(const CException& exception) {
    if (const auto* file = dynamic_cast<const CFileException*>(&exception))
        return FileExceptionMessage(*file);
    return CString::FromUtf8(exception.what());
}

int ReportError(const CException& exception, UINT type) {
    return AfxMessageBox(ExceptionMessage(exception), type);
}
