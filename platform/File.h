// Binary files in the class library's shape: CFile over a Linux file descriptor and CMemFile over a
// caller's bytes. Failures of reads, writes and seeks throw CFileException (CMemoryException when a
// memory file cannot grow); Open reports failure by its result.
#pragma once

#include "platform/CString.h"
#include "platform/Exceptions.h"
#include "platform/FileStatus.h"
#include "platform/WinTypes.h"

class KIV_RUNTIME_API CFile {
  public:
    enum OpenFlags : UINT {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareCompat = 0x0000,
        shareExclusive = 0x0010,
        shareDenyWrite = 0x0020,
        shareDenyRead = 0x0030,
        shareDenyNone = 0x0040,
        modeNoInherit = 0x0080,
        modeCreate = 0x1000,
        modeNoTruncate = 0x2000,
        typeText = 0x4000,
        typeBinary = 0x8000,
    };
    enum SeekPosition : UINT { begin = 0, current = 1, end = 2 };
    enum Attribute : BYTE { normal = 0x00, readOnly = 0x01, hidden = 0x02, directory = 0x10 };

    CFile() = default;
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;
    virtual ~CFile();

    // Opens a file. The share flags are accepted and not enforced: Linux has no mandatory sharing modes.
    virtual BOOL Open(LPCWSTR fileName, UINT openFlags, CFileException* error = nullptr);
    // Takes over an open descriptor (closed by Close or the destructor).
    void Attach(int descriptor, CString filePath);

    // Reads up to count bytes; returns how many were read (fewer only at the end of the file).
    virtual UINT Read(void* buffer, UINT count);
    // Writes all count bytes or throws (a full disk gives CFileException::diskFull).
    virtual void Write(const void* buffer, UINT count);
    virtual ULONGLONG Seek(LONGLONG offset, UINT from);
    ULONGLONG SeekToBegin() { return Seek(0, begin); }
    virtual ULONGLONG GetLength() const;
    virtual ULONGLONG GetPosition() const;
    // Closes the file; throws when the system reports a failure of the close (a lost write).
    virtual void Close();
    // Closes the file and ignores every failure.
    virtual void Abort();
    bool IsOpen() const { return descriptor_ >= 0; }
    const CString& GetFilePath() const { return filePath_; }

    // Removes a name; a symbolic link is removed, never the file it points to.
    static void Remove(LPCWSTR fileName);
    static void Rename(LPCWSTR oldName, LPCWSTR newName);
    // Whether the name is there at all: a symbolic link counts as itself, also when it leads nowhere.
    static BOOL NameExists(LPCWSTR fileName);
    // Whether both names lead to one existing file (symbolic links followed): the same device and inode.
    static BOOL IsSameFile(LPCWSTR a, LPCWSTR b);
    // The status of a file or folder, symbolic links followed; FALSE when there is none.
    static BOOL GetStatus(LPCWSTR fileName, CFileStatus& status);
    // Writes the read-only attribute as the owner's write permission (set: all write permissions removed;
    // clear: the owner's added). A symbolic link is left alone: Linux cannot change a link's permissions,
    // and following it would change a file elsewhere. Throws CFileException when the name is missing or
    // the permissions cannot be changed.
    static void SetStatus(LPCWSTR fileName, const CFileStatus& status);

  protected:
    [[noreturn]] void ThrowLastError() const;

  private:
    int descriptor_ = -1;
    CString filePath_;
};

// A file over a block of memory that the caller keeps. A memory file with no growth step never
// reallocates: writing past its end throws CMemoryException.
class KIV_RUNTIME_API CMemFile : public CFile {
  public:
    explicit CMemFile(UINT growBytes = 1024) : growBytes_(growBytes) {}
    CMemFile(BYTE* buffer, UINT size, UINT growBytes = 0) { Attach(buffer, size, growBytes); }
    ~CMemFile() override;

    void Attach(BYTE* buffer, UINT size, UINT growBytes = 0);
    // Gives the memory back to the caller and leaves the file empty.
    BYTE* Detach();

    BOOL Open(LPCWSTR, UINT, CFileException* = nullptr) override { return FALSE; }
    UINT Read(void* buffer, UINT count) override;
    void Write(const void* buffer, UINT count) override;
    ULONGLONG Seek(LONGLONG offset, UINT from) override;
    ULONGLONG GetLength() const override { return size_; }
    ULONGLONG GetPosition() const override { return position_; }
    void Close() override;
    void Abort() override { Close(); }

  private:
    void Grow(ULONGLONG needed);

    BYTE* buffer_ = nullptr;
    ULONGLONG size_ = 0;
    ULONGLONG capacity_ = 0;
    ULONGLONG position_ = 0;
    UINT growBytes_ = 0;
    bool ownsBuffer_ = false;
};
