// The public library's serialisable objects: the base object, the owning list and the thumbnail icon.
#include <cstring>
#include <memory>

#include "platform/GlobalMemory.h"
#include "libraries/KivModuleRC.h"
#include "libraries/KivPublic.h"

namespace {

constexpr WORD kObjectVersion = 0;
constexpr WORD kIconVersion = 0;
// An archive object takes at least its 2-byte tag, so a count above half the bytes left is a lie.
constexpr ULONGLONG kMinArchivedObjectBytes = 2;

SKivXMLDataType XmlValue(int type) {
    SKivXMLDataType value;
    value.m_nType = type;
    return value;
}

SKivXMLDataType XmlLong(LONG number) {
    SKivXMLDataType value = XmlValue(SKivXMLDataType::kLong);
    value.m_value.lValue = number;
    return value;
}

// Owns what a get call leaves in a holder.
struct XmlHolder {
    SKivXMLDataType value;
    explicit XmlHolder(int type) { value.m_nType = type; }
    XmlHolder(const XmlHolder&) = delete;
    XmlHolder& operator=(const XmlHolder&) = delete;
    ~XmlHolder() { value.Clear(); }
};

size_t IconBytes(CSize size) {
    return static_cast<size_t>(size.cx) * static_cast<size_t>(size.cy) * 3;
}

bool IsIconSide(LONG side) {
    return side >= 1 && side <= CKivIconObj::kMaxSide;
}

}  // namespace

// ---- CKivObject
// ----------------------------------------------------------------------------------------------

IMPLEMENT_DYNAMIC(CKivObject, CObject)

CKivObject& CKivObject::operator=(const CKivObject&) {
    return *this;
}

int CKivObject::Compare(const CKivObject* other) const {
    return other == this ? 0 : 1;
}

CKivObject* CKivObject::MakeCopy() const {
    return nullptr;
}

void CKivObject::Serialize(CArchive& archive) {
    if (archive.IsStoring()) {
        archive << kObjectVersion;
    } else {
        WORD version = 0;
        archive >> version;  // every version so far has this one layout
    }
}

void CKivObject::SerializeXML(CKivXMLDOMDocObj* document, IXMLDOMNode* parent) {
    if (!document || !parent) return;
    if (document->IsStoring()) {
        SKivXMLDataType version = XmlValue(SKivXMLDataType::kVersion);
        version.m_value.wValue = kObjectVersion;
        document->SetNodeAttribute(parent, L"Version", version);
    }
}

// ---- CKivObList
// ------------------------------------------------------------------------------------------------

IMPLEMENT_DYNAMIC(CKivObList, CObList)

CKivObList::~CKivObList() {
    DeleteAll();
}

void CKivObList::DeleteAll() {
    while (!IsEmpty()) delete RemoveHead();
}

void CKivObList::DeleteAt(POSITION position) {
    CObject* object = GetAt(position);
    RemoveAt(position);
    delete object;
}

void CKivObList::Copy(const CKivObList& other) {
    if (&other == this) return;
    DeleteAll();
    for (POSITION position = other.GetHeadPosition(); position;) {
        const CObject* object = other.GetNext(position);
        if (!object) {
            AddTail(static_cast<CObject*>(nullptr));
            continue;
        }
        const auto* kivObject = dynamic_cast<const CKivObject*>(object);
        std::unique_ptr<CKivObject> copy(kivObject ? kivObject->MakeCopy() : nullptr);
        if (!copy) throw CMemoryException();
        AddTail(copy.get());
        copy.release();
    }
}

void CKivObList::Serialize(CArchive& archive) {
    if (archive.IsStoring()) {
        archive.WriteCount(static_cast<ULONGLONG>(GetCount()));
        for (POSITION position = GetHeadPosition(); position;) archive.WriteObject(GetNext(position));
        return;
    }
    DeleteAll();
    const ULONGLONG count = archive.ReadCount(kMinArchivedObjectBytes);
    for (ULONGLONG i = 0; i < count; ++i) {
        // Loaded objects are owned by the list at once, so an exception part-way leaks nothing.
        std::unique_ptr<CObject> object = archive.ReadOwnedObject(RUNTIME_CLASS(CKivObject));
        AddTail(object.get());
        object.release();
    }
}

void CKivObList::SerializeXML(CKivXMLDOMDocObj* document, IXMLDOMNode* parent) {
    if (!document || !parent) return;
    if (document->IsStoring()) {
        for (POSITION position = GetHeadPosition(); position;) {
            auto* object = dynamic_cast<CKivObject*>(GetNext(position));
            if (!object) continue;  // only the library's objects have an XML form
            const CString className = KivPublicToUnicode(object->GetRuntimeClass()->m_lpszClassName);
            SKivXMLDataType name = XmlValue(SKivXMLDataType::kText);
            name.m_value.pText = const_cast<wchar_t*>(className.GetString());
            IXMLDOMNode* item = document->CreateDOMNodeWithAttribute(parent, L"Item", L"Class", name, 1);
            if (!item) return;
            object->SerializeXML(document, item);
        }
        return;
    }
    DeleteAll();
    for (IXMLDOMNode* item = document->GetFirstNameMatchChildNode(parent, L"Item"); item;
         item = document->GetNextNameMatchSiblingNode(item, L"Item")) {
        XmlHolder name(SKivXMLDataType::kText);
        if (!document->GetNodeAttribute(item, L"Class", name.value) || !name.value.m_value.pText) continue;
        // Only registered classes of the library are made, whatever the document names.
        const CRuntimeClass* runtimeClass =
            CRuntimeClass::FromName(CString(name.value.m_value.pText).ToUtf8());
        if (!runtimeClass || !runtimeClass->IsDerivedFrom(RUNTIME_CLASS(CKivObject))) continue;
        std::unique_ptr<CObject> object(runtimeClass->CreateObject());
        if (!object) continue;
        static_cast<CKivObject*>(object.get())->SerializeXML(document, item);
        AddTail(object.get());
        object.release();
    }
}

// ---- CKivIconObj
// -----------------------------------------------------------------------------------------------

IMPLEMENT_DYNAMIC(CKivIconObj, CKivObject)

CKivIconObj::~CKivIconObj() {
    Clear();
}

void CKivIconObj::Clear() {
    GlobalFree(bits_);
    bits_ = nullptr;
    size_ = CSize();
    drawCache_.reset();
}

BYTE* CKivIconObj::Detach() {
    BYTE* bits = bits_;
    bits_ = nullptr;
    size_ = CSize();
    drawCache_.reset();
    return bits;
}

void CKivIconObj::SetIcon(BYTE* bits, CSize size) {
    if (bits == bits_) return;
    Clear();
    if (!bits) return;
    // Sides the loads would refuse are refused here too, so that every icon stored reads back.
    if (!IsIconSide(size.cx) || !IsIconSide(size.cy)) {
        GlobalFree(bits);  // adopted all the same: the caller let go of it
        return;
    }
    bits_ = bits;
    size_ = size;
}

CKivIconObj& CKivIconObj::operator=(const CKivIconObj& other) {
    if (&other == this) return *this;
    CKivObject::operator=(other);
    if (other.IsEmpty()) {
        Clear();
        return *this;
    }
    const size_t bytes = IconBytes(other.size_);
    auto* copy = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, bytes));
    if (!copy) throw CMemoryException();
    std::memcpy(copy, other.bits_, bytes);
    SetIcon(copy, other.size_);
    return *this;
}

CKivObject& CKivIconObj::operator=(const CKivObject& other) {
    if (const auto* icon = dynamic_cast<const CKivIconObj*>(&other)) return *this = *icon;
    return CKivObject::operator=(other);
}

void CKivIconObj::Serialize(CArchive& archive) {
    CKivObject::Serialize(archive);
    if (archive.IsStoring()) {
        archive << kIconVersion << static_cast<LONG>(size_.cx) << static_cast<LONG>(size_.cy);
        if (bits_) archive.Write(bits_, static_cast<UINT>(IconBytes(size_)));
        return;
    }
    WORD version = 0;
    LONG cx = 0;
    LONG cy = 0;
    archive >> version >> cx >> cy;
    Clear();
    if (cx == 0 && cy == 0) return;
    // The forms that follow carry no lengths, so a size that cannot be read back ends the load.
    if (!IsIconSide(cx) || !IsIconSide(cy)) throw CArchiveException(CArchiveException::badSchema);
    const CSize size(cx, cy);
    const size_t bytes = IconBytes(size);
    SetIcon(archive.ReadBlock(static_cast<UINT>(bytes)), size);
}

void CKivIconObj::SerializeXML(CKivXMLDOMDocObj* document, IXMLDOMNode* parent) {
    if (!document || !parent) return;
    CKivObject::SerializeXML(document, parent);
    if (document->IsStoring()) {
        document->SetNodeAttribute(parent, L"Width", XmlLong(size_.cx));
        document->SetNodeAttribute(parent, L"Height", XmlLong(size_.cy));
        if (bits_) {
            SKivXMLDataType bits = XmlValue(SKivXMLDataType::kByteBlock);
            bits.m_value.hBlock = bits_;  // lent for the call; the holder is never cleared
            bits.dwExtra = static_cast<DWORD>(IconBytes(size_));
            document->SetNodeAttribute(parent, L"Bits", bits);
        }
        return;
    }
    XmlHolder width(SKivXMLDataType::kLong);
    XmlHolder height(SKivXMLDataType::kLong);
    XmlHolder bits(SKivXMLDataType::kByteBlock);
    document->GetNodeAttribute(parent, L"Width", width.value);
    document->GetNodeAttribute(parent, L"Height", height.value);
    document->GetNodeAttribute(parent, L"Bits", bits.value);
    Clear();
    const CSize size(width.value.m_value.lValue, height.value.m_value.lValue);
    if (!IsIconSide(size.cx) || !IsIconSide(size.cy) || !bits.value.m_value.hBlock ||
        bits.value.dwExtra != IconBytes(size)) {
        return;  // a document's icon that does not add up is dropped, not guessed at
    }
    SetIcon(static_cast<BYTE*>(bits.value.m_value.hBlock), size);
    bits.value.Reset();
}
