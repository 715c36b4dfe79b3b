// The class library's exceptions. They are thrown by value and caught by reference, so no handler has to
// remember to delete them.
#pragma once

#include <exception>

#include "platform/CString.h"

class KIV_RUNTIME_API CException : public std::exception {
public:
    const char* what() const noexcept override { return "class library exception"; }
};

class KIV_RUNTIME_API CMemoryException : public CException {
public:
    const char* what() const noexcept override { return "out of memory"; }
};

class KIV_RUNTIME_API CFileException : public CException {
public:
    enum Cause {
        none,
        genericException,
        fileNotFound,
        badPath,
        tooManyOpenFiles,
        accessDenied,
        invalidFile,
        removeCurrentDir,
        directoryFull,
        badSeek,
        hardIO,
        sharingViolation,
        lockViolation,
        diskFull,
        endOfFile,
    };

    CFileException(Cause cause = none, int osError = 0, CString fileName = CString())
        : m_cause(cause), m_lOsError(osError), m_strFileName(std::move(fileName)) {}
    const char* what() const noexcept override;

    // The cause that matches a Linux error number.
    static Cause CauseFromErrno(int error);

    Cause m_cause;
    int m_lOsError;
    CString m_strFileName;
};

class KIV_RUNTIME_API CArchiveException : public CException {
public:
    enum Cause { none, genericException, readOnly, endOfFile, writeOnly, badIndex, badClass, badSchema };

    explicit CArchiveException(Cause cause = none) : m_cause(cause) {}
    const char* what() const noexcept override { return "archive exception"; }

    Cause m_cause;
};
