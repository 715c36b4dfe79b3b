// The media record's two stored forms: the binary form of the folder cache and the XML form of host
// documents. Both begin with the version 0 and carry the same nine values, the thumbnail and the base part.
#include "libraries/KivModuleRC.h"
#include "media/ClipMediaObj.h"

namespace {

constexpr WORD kRecordVersion = 0;

SKivXMLDataType XmlText(const CString& text) {
    SKivXMLDataType value;
    value.m_nType = SKivXMLDataType::kText;
    // Lent for the call only: the holder is reset, never cleared, so the record keeps its string.
    value.m_value.pText = const_cast<wchar_t*>(text.GetString());
    return value;
}

template <class Number>
SKivXMLDataType XmlNumber(int type, Number number) {
    SKivXMLDataType value;
    value.m_nType = type;
    switch (type) {
        case SKivXMLDataType::kWord:
        case SKivXMLDataType::kVersion:
            value.m_value.wValue = static_cast<WORD>(number);
            break;
        case SKivXMLDataType::kLong:
            value.m_value.lValue = static_cast<LONG>(number);
            break;
        default:
            value.m_value.dwValue = static_cast<DWORD>(number);
            break;
    }
    return value;
}

// A holder whose text is released however the load ends.
struct ClearingHolder : SKivXMLDataType {
    ClearingHolder() = default;
    ClearingHolder(const ClearingHolder&) = delete;
    ClearingHolder& operator=(const ClearingHolder&) = delete;
    ~ClearingHolder() { Clear(); }
};

}  // namespace

void CKivClipMediaObj::Serialize(CArchive& archive) {
    CKivObject::Serialize(archive);
    if (archive.IsStoring()) {
        archive << kRecordVersion;
        archive << m_strMediaFile << m_strShowName;
        archive << static_cast<LONG>(m_szMedia.cx) << static_cast<LONG>(m_szMedia.cy);
        archive << m_wBitCount << m_dwFileSizeHigh << m_dwFileSizeLow;
        // The time goes high word first, although the record holds it low word first.
        archive << m_ftLastWrite.dwHighDateTime << m_ftLastWrite.dwLowDateTime;
    } else {
        WORD version = 0;
        archive >> version;
        int convertedVersion = 0;
        // Every version is read with this layout; the hook only hears of it.
        KivVersionConvert(version, kRecordVersion, convertedVersion,
                          KivPublicToUnicode(GetRuntimeClass()->m_lpszClassName));
        LONG cx = 0;
        LONG cy = 0;
        archive >> m_strMediaFile >> m_strShowName >> cx >> cy;
        m_szMedia = CSize(cx, cy);
        archive >> m_wBitCount >> m_dwFileSizeHigh >> m_dwFileSizeLow;
        archive >> m_ftLastWrite.dwHighDateTime >> m_ftLastWrite.dwLowDateTime;
    }
    m_Icon.Serialize(archive);
}

void CKivClipMediaObj::SerializeXML(CKivXMLDOMDocObj* document, IXMLDOMNode* parent) {
    if (!document || !parent) return;
    if (document->IsStoring()) {
        IXMLDOMNode* element = document->CreateDOMNodeWithAttribute(
            parent, L"CKivClipMediaObj", L"Version", XmlNumber(SKivXMLDataType::kVersion, kRecordVersion), 1);
        if (!element) return;
        IXMLDOMNode* data = document->CreateDOMNode(element, L"DataMember", 1);
        if (!data) return;
        document->SetNodeAttribute(data, L"MediaFile", XmlText(m_strMediaFile));
        document->SetNodeAttribute(data, L"ShowName", XmlText(m_strShowName));
        document->SetNodeAttribute(data, L"SZMediaCx", XmlNumber(SKivXMLDataType::kLong, m_szMedia.cx));
        document->SetNodeAttribute(data, L"SZMediaCy", XmlNumber(SKivXMLDataType::kLong, m_szMedia.cy));
        document->SetNodeAttribute(data, L"BitCount", XmlNumber(SKivXMLDataType::kWord, m_wBitCount));
        document->SetNodeAttribute(data, L"FileSizeHigh",
                                   XmlNumber(SKivXMLDataType::kDword, m_dwFileSizeHigh));
        document->SetNodeAttribute(data, L"FileSizeLow", XmlNumber(SKivXMLDataType::kDword, m_dwFileSizeLow));
        document->SetNodeAttribute(data, L"HighDateTime",
                                   XmlNumber(SKivXMLDataType::kDword, m_ftLastWrite.dwHighDateTime));
        document->SetNodeAttribute(data, L"LowDateTime",
                                   XmlNumber(SKivXMLDataType::kDword, m_ftLastWrite.dwLowDateTime));
        IXMLDOMNode* icon = document->CreateDOMNode(element, L"Icon", 1);
        if (!icon) return;
        m_Icon.SerializeXML(document, icon);
        IXMLDOMNode* base = document->CreateDOMNode(element, L"BaseObject", 1);
        if (!base) return;
        CKivObject::SerializeXML(document, base);
        return;
    }

    IXMLDOMNode* element = document->GetFirstNameMatchChildNode(parent, L"CKivClipMediaObj");
    if (!element) return;
    ClearingHolder value;
    value.m_nType = SKivXMLDataType::kVersion;
    document->GetNodeAttribute(element, L"Version", value);  // not used: every version has this layout

    if (IXMLDOMNode* data = document->GetFirstNameMatchChildNode(element, L"DataMember")) {
        // An attribute that is missing or does not convert reads as 0 or an empty text.
        const auto read = [&](LPCWSTR name, int type) -> SKivXMLDataType& {
            value.Clear();
            value.m_nType = type;
            document->GetNodeAttribute(data, name, value);
            return value;
        };
        const auto text = [](const SKivXMLDataType& holder) {
            return CString(holder.m_value.pText ? holder.m_value.pText : L"");
        };
        m_strMediaFile = text(read(L"MediaFile", SKivXMLDataType::kText));
        m_strShowName = text(read(L"ShowName", SKivXMLDataType::kText));
        m_szMedia.cx = read(L"SZMediaCx", SKivXMLDataType::kLong).m_value.lValue;
        m_szMedia.cy = read(L"SZMediaCy", SKivXMLDataType::kLong).m_value.lValue;
        m_wBitCount = read(L"BitCount", SKivXMLDataType::kWord).m_value.wValue;
        m_dwFileSizeHigh = read(L"FileSizeHigh", SKivXMLDataType::kDword).m_value.dwValue;
        m_dwFileSizeLow = read(L"FileSizeLow", SKivXMLDataType::kDword).m_value.dwValue;
        m_ftLastWrite.dwHighDateTime = read(L"HighDateTime", SKivXMLDataType::kDword).m_value.dwValue;
        m_ftLastWrite.dwLowDateTime = read(L"LowDateTime", SKivXMLDataType::kDword).m_value.dwValue;
    }
    if (IXMLDOMNode* icon = document->GetFirstNameMatchChildNode(element, L"Icon")) {
        m_Icon.SerializeXML(document, icon);
    }
    if (IXMLDOMNode* base = document->GetFirstNameMatchChildNode(element, L"BaseObject")) {
        CKivObject::SerializeXML(document, base);
    }
}
