// The class library's archive: numbers, counts, strings and object graphs in its binary form over a CFile,
// and the serialisable object (CObject) with its run-time class.
//
// Object form. Each object or class written takes the next index of one table shared by both, starting at
// 1 (0 is the null object). A class's first object is preceded by the new-class tag 0xFFFF, the class's
// 16-bit schema, the 16-bit length of its name and the name's bytes; later objects of the class by the
// class index with bit 0x8000. An object written before is written again as its index. Indexes from 0x7FFF
// on take the tag 0x7FFF followed by a 32-bit index (with bit 0x80000000 for a class).
//
// Loading trusts nothing: the bytes may come from a file any user of a shared folder can write. Counts,
// string lengths and class names that the bytes left in the file cannot hold are refused before anything
// is allocated for them, only registered serial classes are created (and only ones derived from the class
// the caller asks for), objects nest at most kMaxLoadDepth deep, and every refusal throws
// CArchiveException. After an exception the archive refuses further object loads. Storing passes on the
// CFileException of the file it writes to.
#pragma once

#include <bit>
#include <concepts>
#include <cstdint>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/CString.h"
#include "platform/Exceptions.h"
#include "platform/File.h"
#include "platform/GlobalMemory.h"
#include "platform/WinTypes.h"

class CArchive;
class CObject;

// A class's name, schema and how to create one; written by the macros below.
struct KIV_RUNTIME_API CRuntimeClass {
    static constexpr UINT kNotSerial = 0xFFFF;
    static constexpr size_t kMaxNameLength = 63;

    const char* m_lpszClassName;
    UINT m_wSchema;  // kNotSerial for classes that are never written (DECLARE_DYNAMIC)
    CObject* (*m_pfnCreateObject)();
    const CRuntimeClass* m_pBaseClass;

    // A new object (the caller's), or null for a class without creation.
    CObject* CreateObject() const;
    bool IsDerivedFrom(const CRuntimeClass* base) const;
    // The serial class registered under this name, or null.
    static const CRuntimeClass* FromName(std::string_view name);
};

// Registers a serial class for creation by name (IMPLEMENT_SERIAL makes one). The first registration of
// a name wins.
struct KIV_RUNTIME_API CClassRegistration {
    explicit CClassRegistration(const CRuntimeClass* runtimeClass);
};

class KIV_RUNTIME_API CObject {
  public:
    virtual ~CObject() = default;
    virtual const CRuntimeClass* GetRuntimeClass() const;
    virtual void Serialize(CArchive&) {}
    bool IsKindOf(const CRuntimeClass* runtimeClass) const;

    static const CRuntimeClass classCObject;

  protected:
    CObject() = default;
    CObject(const CObject&) = default;
    CObject& operator=(const CObject&) = default;
};

// clang-format off
#define RUNTIME_CLASS(name) (&name::class##name)

#define DECLARE_DYNAMIC(name)                                              \
  public:                                                                  \
    static const CRuntimeClass class##name;                                \
    static const CRuntimeClass* GetThisClass() { return &class##name; }   \
    const CRuntimeClass* GetRuntimeClass() const override;

#define DECLARE_SERIAL(name) \
    DECLARE_DYNAMIC(name)    \
    static CObject* CreateObject();

#define IMPLEMENT_DYNAMIC(name, base)                                                                      \
    const CRuntimeClass name::class##name{#name, CRuntimeClass::kNotSerial, nullptr, RUNTIME_CLASS(base)}; \
    const CRuntimeClass* name::GetRuntimeClass() const { return RUNTIME_CLASS(name); }

#define IMPLEMENT_SERIAL(name, base, schema)                                                        \
    CObject* name::CreateObject() { return new name; }                                              \
    const CRuntimeClass name::class##name{#name, schema, &name::CreateObject, RUNTIME_CLASS(base)}; \
    const CRuntimeClass* name::GetRuntimeClass() const { return RUNTIME_CLASS(name); }              \
    static const CClassRegistration kSerialRegistration##name(RUNTIME_CLASS(name));
// clang-format on

// The numbers an archive holds, little-endian, each in its own width.
template <class T>
concept ArchiveNumber = std::same_as<T, BYTE> || std::same_as<T, WORD> || std::same_as<T, std::int16_t> ||
    std::same_as<T, LONG> || std::same_as<T, DWORD> || std::same_as<T, LONGLONG> ||
    std::same_as<T, ULONGLONG> || std::same_as<T, float> || std::same_as<T, double>;

class KIV_RUNTIME_API CArchive {
  public:
    enum Mode : UINT { store = 0, load = 1 };
    static constexpr int kDefaultBufferSize = 4096;
    static constexpr int kMaxLoadDepth = 256;

    // The file stays the caller's and stays open. Call Close when storing: the destructor drops bytes not
    // yet written, since it could not report a failed write.
    CArchive(CFile* file, UINT mode, int bufferSize = kDefaultBufferSize);
    CArchive(const CArchive&) = delete;
    CArchive& operator=(const CArchive&) = delete;
    ~CArchive();

    BOOL IsLoading() const { return loading_; }
    BOOL IsStoring() const { return !loading_; }
    CFile* GetFile() const { return file_; }

    // Raw bytes. Read returns fewer than count only at the end of the data.
    UINT Read(void* buffer, UINT count);
    void Write(const void* buffer, UINT count);
    // Loading: the next count bytes in a new global block, the caller's (released with GlobalFree); throws
    // endOfFile when fewer are left. The blocks of one load share huge-page slabs (GlobalSlab) sized by
    // the bytes left, so that a cache's thousand thumbnails cost a few page faults rather than thousands.
    BYTE* ReadBlock(UINT count);
    // Writes the buffered bytes to the file (storing only).
    void Flush();
    // Flushes when storing and lets go of the file.
    void Close();
    // Lets go of the file without writing.
    void Abort();

    template <ArchiveNumber T>
    CArchive& operator<<(T value) {
        Put(std::bit_cast<Bits<T>>(value), sizeof(T));
        return *this;
    }
    template <ArchiveNumber T>
    CArchive& operator>>(T& value) {
        value = std::bit_cast<T>(static_cast<Bits<T>>(Take(sizeof(T))));
        return *this;
    }

    // A count: 16 bits below 0xFFFF, else 0xFFFF and 32 bits below 0xFFFFFFFF, else 0xFFFFFFFF and 64 bits.
    void WriteCount(ULONGLONG count);
    // Refuses (endOfFile) a count whose items, each at least minBytesPerItem long, cannot fit in the bytes
    // left.
    ULONGLONG ReadCount(ULONGLONG minBytesPerItem = 1);

    // Always the UTF-16 form (marker FF FE FF, then the length in characters, then the characters). A file
    // name's escaped bytes (U+DC80..U+DCFF) are kept as lone surrogates, so a path reads back to the same bytes.
    void WriteString(const CString& text);
    // Either form: one byte per character (read as Latin-1) or UTF-16. Refuses a length the bytes left
    // cannot hold (endOfFile).
    CString ReadString();

    // Writes an object, its class tag or its reference (see above); null is written as the null tag.
    void WriteObject(const CObject* object);
    // The class library's read: a new object (then the caller's), an object read before, or null. For an
    // owner, ReadOwnedObject; for a pointer to an object someone else owns, ReadObjectReference.
    CObject* ReadObject(const CRuntimeClass* requested);
    // A new object or null; a reference to an object read before is refused (badIndex), so that no object
    // is owned twice.
    std::unique_ptr<CObject> ReadOwnedObject(const CRuntimeClass* requested);
    // An object read before, or null; a new object is refused (badIndex), so that nothing is left unowned.
    CObject* ReadObjectReference(const CRuntimeClass* requested);

    template <class T>
    std::unique_ptr<T> ReadOwned() {
        return std::unique_ptr<T>(static_cast<T*>(ReadOwnedObject(T::GetThisClass()).release()));
    }

    CArchive& operator<<(const CObject* object) {
        WriteObject(object);
        return *this;
    }
    CArchive& operator>>(CObject*& object) {
        object = ReadObject(nullptr);
        return *this;
    }

    // Loading: how many bytes are left to read; RequireBytes throws endOfFile when fewer than bytes are.
    ULONGLONG GetRemainingBytes() const;
    void RequireBytes(ULONGLONG bytes) const;

  private:
    template <class T>
    using Bits = std::conditional_t<
        sizeof(T) == 1, std::uint8_t,
        std::conditional_t<sizeof(T) == 2, std::uint16_t,
                           std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>>>;
    enum class Accept { any, newOnly, referenceOnly };
    struct Loaded {
        const CRuntimeClass* runtimeClass;
        CObject* object;
    };

    void Put(ULONGLONG bits, unsigned bytes);
    ULONGLONG Take(unsigned bytes);
    void FlushBuffer();
    void Fill(UINT bytes);
    UINT ReadFromFile(BYTE* target, UINT count);
    void RequireStoring() const;
    void RequireLoading() const;

    DWORD NextIndex();
    void WriteIndex(DWORD index, bool isClass);
    void WriteClass(const CRuntimeClass* runtimeClass);
    const CRuntimeClass* ReadNewClass();
    const CRuntimeClass* ClassAt(DWORD index) const;
    CObject* Load(const CRuntimeClass* requested, Accept accept);
    std::unique_ptr<CObject> CreateAndLoad(const CRuntimeClass* runtimeClass);

    CFile* file_;
    bool loading_;
    std::unique_ptr<BYTE[]> buffer_;
    UINT bufferSize_;
    UINT current_ = 0;        // storing: bytes waiting; loading: next byte to hand out
    UINT end_ = 0;            // loading: end of the buffered bytes
    ULONGLONG fileLeft_ = 0;  // loading: bytes of the file not yet buffered

    std::unordered_map<const void*, DWORD> stored_;
    DWORD storedCount_ = 1;
    std::vector<Loaded> loaded_;
    int depth_ = 0;
    bool broken_ = false;
    GlobalSlab blocks_;  // loading: where ReadBlock's blocks come from
};

KIV_RUNTIME_API CArchive& operator<<(CArchive& archive, const CString& text);
KIV_RUNTIME_API CArchive& operator>>(CArchive& archive, CString& text);
