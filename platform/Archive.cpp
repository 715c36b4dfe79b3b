#include "platform/Archive.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <string>

namespace {

constexpr WORD kNullTag = 0;
constexpr WORD kNewClassTag = 0xFFFF;
constexpr WORD kClassTag = 0x8000;
constexpr WORD kBigObjectTag = 0x7FFF;
constexpr DWORD kBigClassTag = 0x80000000;
constexpr DWORD kMaxMapCount = 0x3FFFFFFE;

constexpr BYTE kLengthEscape8 = 0xFF;
constexpr WORD kLengthEscape16 = 0xFFFF;
constexpr WORD kWideMarker = 0xFFFE;
constexpr DWORD kLengthEscape32 = 0xFFFFFFFF;

constexpr wchar_t kReplacement = 0xFFFD;

[[noreturn]] void Refuse(CArchiveException::Cause cause) {
    throw CArchiveException(cause);
}

struct Registry {
    std::mutex lock;
    std::map<std::string, const CRuntimeClass*, std::less<>> classes;
};

Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

// A file name's escaped byte (CString::FromFileSystem): a lone low surrogate that UTF-16 carries as it is,
// as the class library's own strings do. It never follows a high surrogate here, since those are written
// only in pairs.
bool IsEscapedByte(std::uint32_t unit) {
    return unit >= 0xDC80 && unit <= 0xDCFF;
}

// The text as UTF-16 code units; code points that UTF-16 cannot carry become U+FFFD.
std::u16string ToUtf16(const std::wstring& text) {
    std::u16string units;
    units.reserve(text.size());
    for (const wchar_t c : text) {
        const auto code = static_cast<std::uint32_t>(c);
        if (code >= 0x10000 && code <= 0x10FFFF) {
            units.push_back(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
            units.push_back(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
        } else {
            const bool lost = code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF && !IsEscapedByte(code));
            units.push_back(lost ? u'\uFFFD' : static_cast<char16_t>(code));
        }
    }
    return units;
}

// UTF-16LE bytes as wide text; a surrogate without its partner becomes U+FFFD, unless it is an escaped byte.
std::wstring FromUtf16(const BYTE* bytes, size_t units) {
    std::wstring text;
    text.reserve(units);
    const auto unit = [bytes](size_t i) {
        return static_cast<std::uint32_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
    };
    for (size_t i = 0; i < units; ++i) {
        const std::uint32_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units && unit(i + 1) >= 0xDC00 && unit(i + 1) <= 0xDFFF) {
            text.push_back(static_cast<wchar_t>(0x10000 + ((u - 0xD800) << 10) + (unit(i + 1) - 0xDC00)));
            ++i;
        } else {
            text.push_back(u >= 0xD800 && u <= 0xDFFF && !IsEscapedByte(u) ? kReplacement
                                                                           : static_cast<wchar_t>(u));
        }
    }
    return text;
}

}  // namespace

// ---- Run-time classes
// ---------------------------------------------------------------------------------------

const CRuntimeClass CObject::classCObject{"CObject", CRuntimeClass::kNotSerial, nullptr, nullptr};

const CRuntimeClass* CObject::GetRuntimeClass() const {
    return &classCObject;
}

bool CObject::IsKindOf(const CRuntimeClass* runtimeClass) const {
    return GetRuntimeClass()->IsDerivedFrom(runtimeClass);
}

CObject* CRuntimeClass::CreateObject() const {
    return m_pfnCreateObject ? m_pfnCreateObject() : nullptr;
}

bool CRuntimeClass::IsDerivedFrom(const CRuntimeClass* base) const {
    for (const CRuntimeClass* c = this; c; c = c->m_pBaseClass)
        if (c == base) return true;
    return false;
}

const CRuntimeClass* CRuntimeClass::FromName(std::string_view name) {
    Registry& registry = TheRegistry();
    const std::lock_guard<std::mutex> guard(registry.lock);
    const auto found = registry.classes.find(name);
    return found == registry.classes.end() ? nullptr : found->second;
}

CClassRegistration::CClassRegistration(const CRuntimeClass* runtimeClass) {
    Registry& registry = TheRegistry();
    const std::lock_guard<std::mutex> guard(registry.lock);
    registry.classes.emplace(runtimeClass->m_lpszClassName, runtimeClass);
}

// ---- Buffer
// --------------------------------------------------------------------------------------------------

CArchive::CArchive(CFile* file, UINT mode, int bufferSize)
    : file_(file), loading_(mode & load), bufferSize_(static_cast<UINT>(std::max(bufferSize, 16))) {
    buffer_ = std::make_unique<BYTE[]>(bufferSize_);
    if (loading_) {
        loaded_.push_back({nullptr, nullptr});
        const ULONGLONG length = file_->GetLength();
        const ULONGLONG position = file_->GetPosition();
        fileLeft_ = length > position ? length - position : 0;
    }
}

CArchive::~CArchive() = default;

void CArchive::RequireStoring() const {
    if (!file_) Refuse(CArchiveException::genericException);
    if (loading_) Refuse(CArchiveException::readOnly);
}

void CArchive::RequireLoading() const {
    if (!file_) Refuse(CArchiveException::genericException);
    if (!loading_) Refuse(CArchiveException::writeOnly);
}

void CArchive::FlushBuffer() {
    if (current_ == 0) return;
    const UINT count = current_;
    current_ = 0;
    file_->Write(buffer_.get(), count);
}

void CArchive::Flush() {
    if (file_ && !loading_) FlushBuffer();
}

void CArchive::Close() {
    Flush();
    file_ = nullptr;
}

void CArchive::Abort() {
    file_ = nullptr;
}

void CArchive::Write(const void* buffer, UINT count) {
    RequireStoring();
    const auto* bytes = static_cast<const BYTE*>(buffer);
    if (count > bufferSize_ - current_) {
        FlushBuffer();
        if (count >= bufferSize_) return file_->Write(bytes, count);
    }
    std::memcpy(buffer_.get() + current_, bytes, count);
    current_ += count;
}

void CArchive::Put(ULONGLONG bits, unsigned bytes) {
    RequireStoring();
    if (bytes > bufferSize_ - current_) FlushBuffer();
    for (unsigned i = 0; i < bytes; ++i) buffer_[current_++] = static_cast<BYTE>(bits >> (8 * i));
}

UINT CArchive::ReadFromFile(BYTE* target, UINT count) {
    const UINT wanted = static_cast<UINT>(std::min<ULONGLONG>(count, fileLeft_));
    const UINT got = wanted ? file_->Read(target, wanted) : 0;
    // A file that ends before its length said has nothing more to give.
    fileLeft_ = got < wanted ? 0 : fileLeft_ - got;
    return got;
}

void CArchive::Fill(UINT bytes) {
    if (end_ - current_ >= bytes) return;
    std::memmove(buffer_.get(), buffer_.get() + current_, end_ - current_);
    end_ -= current_;
    current_ = 0;
    while (end_ < bytes) {
        const UINT got = ReadFromFile(buffer_.get() + end_, bufferSize_ - end_);
        if (got == 0) Refuse(CArchiveException::endOfFile);
        end_ += got;
    }
}

ULONGLONG CArchive::Take(unsigned bytes) {
    RequireLoading();
    Fill(bytes);
    ULONGLONG bits = 0;
    for (unsigned i = 0; i < bytes; ++i) bits |= ULONGLONG{buffer_[current_++]} << (8 * i);
    return bits;
}

UINT CArchive::Read(void* buffer, UINT count) {
    RequireLoading();
    auto* bytes = static_cast<BYTE*>(buffer);
    const UINT buffered = std::min(count, end_ - current_);
    if (buffered) std::memcpy(bytes, buffer_.get() + current_, buffered);
    current_ += buffered;
    UINT done = buffered;
    while (done < count) {
        const UINT left = count - done;
        if (left >= bufferSize_) {
            const UINT got = ReadFromFile(bytes + done, left);
            if (got == 0) break;
            done += got;
        } else {
            current_ = end_ = ReadFromFile(buffer_.get(), bufferSize_);
            if (end_ == 0) break;
            const UINT n = std::min(left, end_);
            std::memcpy(bytes + done, buffer_.get(), n);
            current_ = n;
            done += n;
        }
    }
    return done;
}

BYTE* CArchive::ReadBlock(UINT count) {
    RequireLoading();
    RequireBytes(count);
    GlobalBlock<BYTE[]> block(static_cast<BYTE*>(blocks_.Alloc(GMEM_FIXED, count, GetRemainingBytes() - count)));
    if (!block) throw CMemoryException();
    if (Read(block.get(), count) != count) Refuse(CArchiveException::endOfFile);
    return block.release();
}

ULONGLONG CArchive::GetRemainingBytes() const {
    return loading_ ? (end_ - current_) + fileLeft_ : 0;
}

void CArchive::RequireBytes(ULONGLONG bytes) const {
    if (bytes > GetRemainingBytes()) Refuse(CArchiveException::endOfFile);
}

// ---- Counts and strings
// --------------------------------------------------------------------------------------

void CArchive::WriteCount(ULONGLONG count) {
    if (count < kLengthEscape16) {
        *this << static_cast<WORD>(count);
        return;
    }
    *this << kLengthEscape16;
    if (count < kLengthEscape32) {
        *this << static_cast<DWORD>(count);
        return;
    }
    *this << kLengthEscape32 << count;
}

ULONGLONG CArchive::ReadCount(ULONGLONG minBytesPerItem) {
    WORD word = 0;
    *this >> word;
    ULONGLONG count = word;
    if (word == kLengthEscape16) {
        DWORD dword = 0;
        *this >> dword;
        count = dword;
        if (dword == kLengthEscape32) *this >> count;
    }
    if (minBytesPerItem && count > GetRemainingBytes() / minBytesPerItem)
        Refuse(CArchiveException::endOfFile);
    return count;
}

void CArchive::WriteString(const CString& text) {
    const std::u16string units = ToUtf16(text.Text());
    const ULONGLONG length = units.size();
    *this << kLengthEscape8 << kWideMarker;
    if (length < kLengthEscape8) {
        *this << static_cast<BYTE>(length);
    } else {
        *this << kLengthEscape8;
        if (length < kWideMarker) {
            *this << static_cast<WORD>(length);
        } else {
            *this << kLengthEscape16;
            if (length < kLengthEscape32)
                *this << static_cast<DWORD>(length);
            else
                *this << kLengthEscape32 << length;
        }
    }
    for (const char16_t unit : units) *this << static_cast<WORD>(unit);
}

CString CArchive::ReadString() {
    // The length's escapes; the marker FF FE FF (after the first 0xFF) switches to two bytes a character.
    unsigned charSize = 1;
    BYTE byte = 0;
    WORD word = 0;
    ULONGLONG length = 0;
    *this >> byte;
    if (byte < kLengthEscape8) {
        length = byte;
    } else {
        *this >> word;
        if (word == kWideMarker) {
            charSize = 2;
            *this >> byte;
            if (byte < kLengthEscape8)
                length = byte;
            else
                *this >> word;
        }
        if (charSize == 1 || byte == kLengthEscape8) {
            if (word < kLengthEscape16) {
                length = word;
            } else {
                DWORD dword = 0;
                *this >> dword;
                length = dword;
                if (dword == kLengthEscape32) *this >> length;
            }
        }
    }
    if (length > GetRemainingBytes() / charSize) Refuse(CArchiveException::endOfFile);
    if (length > INT_MAX) Refuse(CArchiveException::genericException);

    std::vector<BYTE> bytes(length * charSize);
    if (Read(bytes.data(), static_cast<UINT>(bytes.size())) != bytes.size())
        Refuse(CArchiveException::endOfFile);
    if (charSize == 2) return CString(FromUtf16(bytes.data(), length));
    return CString(std::wstring(bytes.begin(), bytes.end()));
}

CArchive& operator<<(CArchive& archive, const CString& text) {
    archive.WriteString(text);
    return archive;
}

CArchive& operator>>(CArchive& archive, CString& text) {
    text = archive.ReadString();
    return archive;
}

// ---- Objects
// -------------------------------------------------------------------------------------------------

DWORD CArchive::NextIndex() {
    if (storedCount_ >= kMaxMapCount) Refuse(CArchiveException::badIndex);
    return storedCount_++;
}

void CArchive::WriteIndex(DWORD index, bool isClass) {
    if (index < kBigObjectTag) {
        *this << static_cast<WORD>(isClass ? index | kClassTag : index);
    } else {
        *this << kBigObjectTag << (isClass ? index | kBigClassTag : index);
    }
}

void CArchive::WriteClass(const CRuntimeClass* runtimeClass) {
    if (const auto found = stored_.find(runtimeClass); found != stored_.end())
        return WriteIndex(found->second, true);
    const std::string_view name(runtimeClass->m_lpszClassName);
    if (runtimeClass->m_wSchema >= CRuntimeClass::kNotSerial || !runtimeClass->m_pfnCreateObject ||
        name.size() > CRuntimeClass::kMaxNameLength)
        Refuse(CArchiveException::badClass);
    *this << kNewClassTag << static_cast<WORD>(runtimeClass->m_wSchema) << static_cast<WORD>(name.size());
    Write(name.data(), static_cast<UINT>(name.size()));
    stored_.emplace(runtimeClass, NextIndex());
}

void CArchive::WriteObject(const CObject* object) {
    RequireStoring();
    if (!object) {
        *this << kNullTag;
        return;
    }
    if (const auto found = stored_.find(object); found != stored_.end())
        return WriteIndex(found->second, false);
    WriteClass(object->GetRuntimeClass());
    // Entered before its data, so that an object that refers back to itself is written as a reference.
    stored_.emplace(object, NextIndex());
    const_cast<CObject*>(object)->Serialize(*this);
}

const CRuntimeClass* CArchive::ReadNewClass() {
    WORD schema = 0, length = 0;
    *this >> schema >> length;
    if (length > CRuntimeClass::kMaxNameLength) Refuse(CArchiveException::badClass);
    char name[CRuntimeClass::kMaxNameLength];
    if (Read(name, length) != length) Refuse(CArchiveException::endOfFile);
    const CRuntimeClass* runtimeClass = CRuntimeClass::FromName(std::string_view(name, length));
    if (!runtimeClass) Refuse(CArchiveException::badClass);
    if (runtimeClass->m_wSchema != schema) Refuse(CArchiveException::badSchema);
    if (loaded_.size() >= kMaxMapCount) Refuse(CArchiveException::badIndex);
    loaded_.push_back({runtimeClass, nullptr});
    return runtimeClass;
}

const CRuntimeClass* CArchive::ClassAt(DWORD index) const {
    if (index == 0 || index >= loaded_.size() || !loaded_[index].runtimeClass)
        Refuse(CArchiveException::badIndex);
    return loaded_[index].runtimeClass;
}

std::unique_ptr<CObject> CArchive::CreateAndLoad(const CRuntimeClass* runtimeClass) {
    if (depth_ >= kMaxLoadDepth) Refuse(CArchiveException::genericException);
    if (loaded_.size() >= kMaxMapCount) Refuse(CArchiveException::badIndex);
    std::unique_ptr<CObject> object;
    try {
        object.reset(runtimeClass->CreateObject());
    } catch (const std::bad_alloc&) {
        throw CMemoryException();
    }
    if (!object) Refuse(CArchiveException::badClass);
    // Entered before its data, so that references back to it resolve while it loads.
    loaded_.push_back({nullptr, object.get()});
    ++depth_;
    object->Serialize(*this);
    --depth_;
    return object;
}

CObject* CArchive::Load(const CRuntimeClass* requested, Accept accept) {
    RequireLoading();
    if (broken_) Refuse(CArchiveException::genericException);
    try {
        WORD word = 0;
        *this >> word;
        const CRuntimeClass* runtimeClass = nullptr;
        if (word == kNewClassTag) {
            runtimeClass = ReadNewClass();
        } else {
            DWORD tag = (word & kClassTag) ? kBigClassTag | (word & ~kClassTag) : word;
            if (word == kBigObjectTag) *this >> tag;
            if (tag & kBigClassTag) {
                runtimeClass = ClassAt(tag & ~kBigClassTag);
            } else {
                // A reference: null, or an object read before.
                if (tag >= loaded_.size() || (tag != 0 && !loaded_[tag].object))
                    Refuse(CArchiveException::badIndex);
                CObject* object = loaded_[tag].object;
                if (object && accept == Accept::newOnly) Refuse(CArchiveException::badIndex);
                if (object && requested && !object->IsKindOf(requested)) Refuse(CArchiveException::badClass);
                return object;
            }
        }
        if (requested && !runtimeClass->IsDerivedFrom(requested)) Refuse(CArchiveException::badClass);
        if (accept == Accept::referenceOnly) Refuse(CArchiveException::badIndex);
        return CreateAndLoad(runtimeClass).release();
    } catch (...) {
        // Objects entered in the table may have been destroyed on the way out.
        broken_ = true;
        throw;
    }
}

CObject* CArchive::ReadObject(const CRuntimeClass* requested) {
    return Load(requested, Accept::any);
}

std::unique_ptr<CObject> CArchive::ReadOwnedObject(const CRuntimeClass* requested) {
    return std::unique_ptr<CObject>(Load(requested, Accept::newOnly));
}

CObject* CArchive::ReadObjectReference(const CRuntimeClass* requested) {
    return Load(requested, Accept::referenceOnly);
}
