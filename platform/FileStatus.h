// A file's status as the class library reports it: CFile::GetStatus and CFile::SetStatus (File.h) read and
// write it. Only the read-only attribute is ever written back; the other attributes and the times are
// facts of the file that SetStatus leaves alone.
#pragma once

#include <ctime>

#include "platform/CString.h"
#include "platform/WinTypes.h"

// A point in time in whole seconds since 1970-01-01 UTC.
class KIV_RUNTIME_API CTime {
  public:
    CTime(std::time_t time = 0) : time_(time) {}  // NOLINT(google-explicit-constructor)
    std::time_t GetTime() const { return time_; }
    friend bool operator==(CTime a, CTime b) { return a.time_ == b.time_; }

  private:
    std::time_t time_;
};

struct CFileStatus {
    CTime m_ctime;  // creation (birth) time, or the last-write time where the file system keeps none
    CTime m_mtime;  // last write
    CTime m_atime;  // last access
    ULONGLONG m_size = 0;
    BYTE m_attribute = 0;  // CFile::Attribute bits
    CString m_szFullName;  // absolute path; links are not resolved
};
