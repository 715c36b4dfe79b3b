#include "media/FileName.h"

#include "platform/DirectorySearch.h"
#include "platform/Shell.h"

using kivrt::_wsplitpath;

void CKivFileName::Split() {
    _wsplitpath(m_strPath, m_szDrive, m_szDir, m_szName, m_szExt);
}

CString CKivFileName::GetPureFileName() {
    Split();
    return CString(m_szName) + CString(m_szExt);
}

CString CKivFileName::GetFileTitle() {
    Split();
    return CString(m_szName);
}

CString CKivFileName::GetFileExtName() {
    Split();
    return CString(m_szExt);
}

CString CKivFileName::GetFileDir() {
    Split();
    return CString(m_szDrive) + CString(m_szDir);
}

CString CKivFileName::GetFileTypeName() const {
    SHFILEINFOW info{};
    if (!SHGetFileInfoW(m_strPath, 0, &info, sizeof info, SHGFI_TYPENAME)) return CString();
    return CString(info.szTypeName);
}

bool CKivFileName::IsFileExist() const {
    std::wstring path = m_strPath.Text();
    if (!path.empty() && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(path.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return true;
}
