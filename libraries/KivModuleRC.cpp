// The module's strings, the XML document object over pugixml, its typed value holder, and the archives'
// version hook.
//
// What this library decides for its callers:
// - A string table is one RT_STRING resource (name 1) per language: the UTF-8 text of
//   resources/window/strings.<language>.txt as it stands, one "ID<TAB>text" per line, '#' lines and blank
//   lines ignored, "\t", "\n" and "\\" in a text standing for a tab, a line break and a backslash. The
//   text is searched on each load: a table holds a few dozen lines and the dialogs load a few strings when
//   they open, so an index would cost more than it saves.
// - Attribute values as text:
//     0 (text)           the text itself, UTF-8 in the document (characters that are not code points
//                        become U+FFFD, as everywhere the module meets UTF-8). A text holding a file
//                        name's escaped bytes (CString::FromFileSystem), which XML cannot carry, shows
//                        them as U+FFFD and gets a companion attribute "<name>.bytes" with its exact
//                        bytes percent-encoded; a read takes the companion only while the text is still
//                        its display form, so a text edited by hand wins over a stale companion;
//     4, 6 (16-bit)      decimal, 0..65535;
//     7 (signed 32-bit)  decimal, -2147483648..2147483647, '-' for negatives;
//     11 (unsigned)      decimal, 0..4294967295;
//     17 (byte block)    base64 (RFC 4648 alphabet, '=' padding); an empty block is an empty attribute.
//   Numbers are read strictly: only digits (and '-' for type 7), nothing before or after, no '+', no
//   blanks, and a value outside the type's range does not convert. Base64 is read strictly too: a length
//   that is not a multiple of 4, a character outside the alphabet, padding anywhere but the end, or
//   padding bits that are not zero do not convert.
// - The create calls' flag: 0 puts the new element before its siblings, any other value (the callers
//   pass 1) after them.
// - Names of elements and attributes must be XML 1.0 names (fifth edition: a letter, '_' or ':' first, then
//   also digits, '-', '.' and the combining ranges), so every document written can be read back.
// - KivVersionConvert reads every version from 0 to the current one with the current layout.

#include "libraries/KivModuleRC.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include <pugixml.hpp>

#include "libraries/KivPublic.h"
#include "platform/File.h"
#include "platform/GlobalMemory.h"
#include "platform/ModuleResources.h"
#include "platform/ReplacementFile.h"

namespace {

// A document file or text larger than this is refused before it is read, and a document whose text would be
// larger is not saved: pugixml's tree costs a few times the text, so this bounds what a host document can
// make the module allocate. Saving observes the same bound so that every file written can be read back.
constexpr size_t kMaxDocumentBytes = size_t{256} << 20;
constexpr size_t kReadChunkBytes = size_t{1} << 20;
constexpr LPCWSTR kDefaultRootName = L"KivDocument";
// Files carry their encoding in the declaration; text handed over as a CString has none, since whoever
// stores it decides its encoding.
constexpr char kFileDeclaration[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
// No indentation: its size grows with the square of the depth, and a host document may nest deeply.
constexpr unsigned kFormat = pugi::format_raw | pugi::format_no_declaration;

// ---- Names ------------------------------------------------------------------------------------------------

bool IsNameStartChar(wchar_t c) {
    const auto u = static_cast<char32_t>(c);
    return (u >= U'a' && u <= U'z') || (u >= U'A' && u <= U'Z') || u == U'_' || u == U':' ||
           (u >= 0xC0 && u <= 0xD6) || (u >= 0xD8 && u <= 0xF6) || (u >= 0xF8 && u <= 0x2FF) ||
           (u >= 0x370 && u <= 0x37D) || (u >= 0x37F && u <= 0x1FFF) || (u >= 0x200C && u <= 0x200D) ||
           (u >= 0x2070 && u <= 0x218F) || (u >= 0x2C00 && u <= 0x2FEF) || (u >= 0x3001 && u <= 0xD7FF) ||
           (u >= 0xF900 && u <= 0xFDCF) || (u >= 0xFDF0 && u <= 0xFFFD) || (u >= 0x10000 && u <= 0xEFFFF);
}

bool IsNameChar(wchar_t c) {
    const auto u = static_cast<char32_t>(c);
    return IsNameStartChar(c) || u == U'-' || u == U'.' || (u >= U'0' && u <= U'9') || u == 0xB7 ||
           (u >= 0x300 && u <= 0x36F) || (u >= 0x203F && u <= 0x2040);
}

bool IsXmlName(LPCWSTR name) {
    if (!name || !IsNameStartChar(name[0])) return false;
    for (LPCWSTR p = name + 1; *p; ++p)
        if (!IsNameChar(*p)) return false;
    return true;
}

std::string Utf8(LPCWSTR text) {
    return CString(text).ToUtf8();
}

// ---- Node pointers ----------------------------------------------------------------------------------------

// The opaque node pointer is pugixml's own node record; a null node is a null pointer.
IXMLDOMNode* ToPointer(pugi::xml_node node) {
    return reinterpret_cast<IXMLDOMNode*>(node.internal_object());
}
pugi::xml_node FromPointer(IXMLDOMNode* node) {
    return pugi::xml_node(reinterpret_cast<pugi::xml_node_struct*>(node));
}

// ---- Attribute text ---------------------------------------------------------------------------------------

constexpr char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

size_t Base64Length(size_t bytes) {
    return (bytes + 2) / 3 * 4;
}

std::string EncodeBase64(const BYTE* data, size_t size) {
    std::string out;
    out.reserve(Base64Length(size));
    size_t i = 0;
    for (; i + 3 <= size; i += 3) {
        const unsigned group = (unsigned{data[i]} << 16) | (unsigned{data[i + 1]} << 8) | data[i + 2];
        out += kBase64Alphabet[(group >> 18) & 0x3F];
        out += kBase64Alphabet[(group >> 12) & 0x3F];
        out += kBase64Alphabet[(group >> 6) & 0x3F];
        out += kBase64Alphabet[group & 0x3F];
    }
    if (size - i == 1) {
        const unsigned group = unsigned{data[i]} << 16;
        out += kBase64Alphabet[(group >> 18) & 0x3F];
        out += kBase64Alphabet[(group >> 12) & 0x3F];
        out += "==";
    } else if (size - i == 2) {
        const unsigned group = (unsigned{data[i]} << 16) | (unsigned{data[i + 1]} << 8);
        out += kBase64Alphabet[(group >> 18) & 0x3F];
        out += kBase64Alphabet[(group >> 12) & 0x3F];
        out += kBase64Alphabet[(group >> 6) & 0x3F];
        out += '=';
    }
    return out;
}

int Base64Digit(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

// Strict decoding: false for a length that is not a multiple of 4, a character outside the alphabet,
// padding other than one or two '=' at the very end, or nonzero bits under the padding.
bool DecodeBase64(std::string_view text, std::vector<BYTE>& out) {
    out.clear();
    if (text.size() % 4 != 0) return false;
    size_t padding = 0;
    if (!text.empty() && text.back() == '=')
        padding = text.size() >= 2 && text[text.size() - 2] == '=' ? 2 : 1;
    out.reserve(text.size() / 4 * 3);
    for (size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        const size_t digits = last ? 4 - padding : 4;
        unsigned group = 0;
        for (size_t k = 0; k < 4; ++k) {
            int digit = 0;
            if (k < digits) {
                digit = Base64Digit(text[i + k]);
                if (digit < 0) return false;
            }
            group = (group << 6) | static_cast<unsigned>(digit);
        }
        if (digits == 2 && (group & 0xFFFF) != 0) return false;
        if (digits == 3 && (group & 0xFF) != 0) return false;
        out.push_back(static_cast<BYTE>(group >> 16));
        if (digits >= 3) out.push_back(static_cast<BYTE>(group >> 8));
        if (digits == 4) out.push_back(static_cast<BYTE>(group));
    }
    return true;
}

// The whole text as a decimal number of type T; false when anything else is there or it does not fit.
template <typename T>
bool ParseDecimal(std::string_view text, T& value) {
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value, 10);
    return error == std::errc() && stop == end && !text.empty();
}

// The holder's value as attribute text; false for an unknown type or a block that cannot be written.
bool FormatValue(const SKivXMLDataType& value, std::string& text) {
    switch (value.m_nType) {
        case SKivXMLDataType::kText:
            text = value.m_value.pText ? Utf8(value.m_value.pText) : std::string();
            return true;
        case SKivXMLDataType::kWord:
        case SKivXMLDataType::kVersion:
            text = std::to_string(value.m_value.wValue);
            return true;
        case SKivXMLDataType::kLong:
            text = std::to_string(value.m_value.lValue);
            return true;
        case SKivXMLDataType::kDword:
            text = std::to_string(value.m_value.dwValue);
            return true;
        case SKivXMLDataType::kByteBlock:
            if (value.dwExtra == 0) {
                text.clear();
                return true;
            }
            if (!value.m_value.hBlock || Base64Length(value.dwExtra) > kMaxDocumentBytes) return false;
            text = EncodeBase64(static_cast<const BYTE*>(value.m_value.hBlock), value.dwExtra);
            return true;
        default:
            return false;
    }
}

// A copy of the text that a holder owns (released by its Clear).
wchar_t* OwnedCopy(const CString& text) {
    auto* copy = new wchar_t[static_cast<size_t>(text.GetLength()) + 1];
    std::memcpy(copy, text.GetString(), (static_cast<size_t>(text.GetLength()) + 1) * sizeof(wchar_t));
    return copy;
}

// Fills a cleared holder of a preset type from attribute text; false when the text does not convert.
bool ParseValue(std::string_view text, SKivXMLDataType& value) {
    switch (value.m_nType) {
        case SKivXMLDataType::kText:
            value.m_value.pText = OwnedCopy(CString::FromUtf8(text));
            return true;
        case SKivXMLDataType::kWord:
        case SKivXMLDataType::kVersion: {
            DWORD number = 0;
            if (!ParseDecimal(text, number) || number > 0xFFFF) return false;
            value.m_value.wValue = static_cast<WORD>(number);
            return true;
        }
        case SKivXMLDataType::kLong: {
            LONG number = 0;
            if (!ParseDecimal(text, number)) return false;
            value.m_value.lValue = number;
            return true;
        }
        case SKivXMLDataType::kDword: {
            DWORD number = 0;
            if (!ParseDecimal(text, number)) return false;
            value.m_value.dwValue = number;
            return true;
        }
        case SKivXMLDataType::kByteBlock: {
            std::vector<BYTE> bytes;
            if (!DecodeBase64(text, bytes)) return false;
            HGLOBAL block = GlobalAlloc(GMEM_FIXED, bytes.size());
            if (!block) return false;
            if (!bytes.empty()) std::memcpy(block, bytes.data(), bytes.size());
            value.m_value.hBlock = block;
            value.dwExtra = static_cast<DWORD>(bytes.size());  // below kMaxDocumentBytes
            return true;
        }
        default:
            return false;
    }
}

// The companion of a text attribute that carries the bytes its display form cannot (see the top).
std::string BytesAttributeName(const std::string& name) {
    return name + ".bytes";
}

void RestoreEscapedBytes(const pugi::xml_node element, const std::string& name, SKivXMLDataType& value) {
    const pugi::xml_attribute companion = element.attribute(BytesAttributeName(name).c_str());
    if (!companion) return;
    const std::optional<std::string> bytes = PercentDecode(companion.value());
    if (!bytes) return;
    const CString exact = CString::FromFileSystem(*bytes);
    if (!(exact.DisplayText() == CString(value.m_value.pText))) return;
    wchar_t* copy = OwnedCopy(exact);
    delete[] value.m_value.pText;
    value.m_value.pText = copy;
}

// ---- Strings ----------------------------------------------------------------------------------------------

// The text of a string table line with its escapes replaced; a backslash before any other character
// stays as it is.
std::string Unescape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char next = i + 1 < text.size() ? text[i + 1] : '\0';
        if (text[i] == '\\' && (next == 't' || next == 'n' || next == '\\')) {
            out += next == 't' ? '\t' : next == 'n' ? '\n' : '\\';
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

// The raw text of string id in a table, or nothing.
std::optional<std::string_view> FindStringLine(std::string_view table, UINT id) {
    while (!table.empty()) {
        const size_t end = table.find('\n');
        std::string_view line = table.substr(0, end);
        table.remove_prefix(end == std::string_view::npos ? table.size() : end + 1);
        if (line.ends_with('\r')) line.remove_suffix(1);
        const size_t tab = line.find('\t');
        UINT lineId = 0;
        if (tab == std::string_view::npos || !ParseDecimal(line.substr(0, tab), lineId) || lineId != id)
            continue;
        return line.substr(tab + 1);
    }
    return std::nullopt;
}

// ---- Text out ---------------------------------------------------------------------------------------------

struct TooLarge {};

// Collects the text and stops the save (by throwing through pugixml, which holds nothing to release) once
// it is larger than a document may be.
class StringWriter : public pugi::xml_writer {
  public:
    explicit StringWriter(std::string& out) : out_(out) {}
    void write(const void* data, size_t size) override {
        if (size > kMaxDocumentBytes - std::min(out_.size(), kMaxDocumentBytes)) throw TooLarge();
        out_.append(static_cast<const char*>(data), size);
    }

  private:
    std::string& out_;
};

}  // namespace

// ---- The value holder -------------------------------------------------------------------------------------

void SKivXMLDataType::Reset() {
    m_nType = kNone;
    m_value.raw = 0;
    dwExtra = 0;
}

void SKivXMLDataType::Clear() {
    if (m_nType == kText && m_value.pText) delete[] m_value.pText;
    if (m_nType == kByteBlock && m_value.hBlock) GlobalFree(m_value.hBlock);
    Reset();
}

// ---- The document -----------------------------------------------------------------------------------------

struct CKivXMLDOMDocObj::Document {
    pugi::xml_document xml;
    std::string rootName;  // UTF-8; the root of a fresh document

    // Empties the document and gives it a fresh root element. Only out of memory makes it fail, and then the
    // root is missing; GetRootNode gives null rather than a dangling pointer.
    void Fresh() {
        xml.reset();
        xml.append_child(rootName.c_str());
    }

    // The node when it is an element of this document, else a null node. A node of another document would
    // let a caller change that document through this one.
    pugi::xml_node Element(IXMLDOMNode* pointer) const {
        const pugi::xml_node node = FromPointer(pointer);
        if (!node || node.type() != pugi::node_element || node.root() != xml) return pugi::xml_node();
        return node;
    }

    // Parses UTF-8 text, or for files text in any encoding pugixml recognises by its start. A document is
    // accepted only with exactly one element at the top (pugixml itself accepts several). Text outside the
    // element is not well-formed either, but pugixml drops it without a trace, so it is ignored.
    bool Parse(const void* data, size_t size, pugi::xml_encoding encoding) {
        const pugi::xml_parse_result result = xml.load_buffer(data, size, pugi::parse_default, encoding);
        if (!result) return false;
        int elements = 0;
        for (const pugi::xml_node child : xml.children()) {
            if (child.type() == pugi::node_element) ++elements;
        }
        return elements == 1;
    }

    // The document's text; false when it would be larger than a document may be or memory ran out.
    bool Print(std::string& out, const char* declaration) const {
        try {
            out = declaration;
            StringWriter writer(out);
            xml.save(writer, "\t", kFormat, pugi::encoding_utf8);
        } catch (const TooLarge&) {
            return false;
        } catch (const std::bad_alloc&) {
            return false;
        }
        return true;
    }
};

CKivXMLDOMDocObj::CKivXMLDOMDocObj(LPCWSTR rootName) : document_(std::make_unique<Document>()) {
    // A root name that is not an XML name would make a document that cannot be read back.
    document_->rootName = Utf8(IsXmlName(rootName) ? rootName : kDefaultRootName);
    document_->Fresh();
}

CKivXMLDOMDocObj::~CKivXMLDOMDocObj() = default;

BOOL CKivXMLDOMDocObj::IsStoring() const {
    return storing_ ? TRUE : FALSE;
}

void CKivXMLDOMDocObj::SetStoring(BOOL storing) {
    storing_ = storing != FALSE;
}

IXMLDOMNode* CKivXMLDOMDocObj::GetRootNode() const {
    return ToPointer(document_->xml.document_element());
}

BOOL CKivXMLDOMDocObj::LoadFromFile(const CString& path) {
    // Only a regular file: a folder, a device or a pipe is no document (and a pipe would block the open).
    bool loaded = false;
    if (!path.IsEmpty() && KivPublicDoesFileExist(path)) {
        try {
            CFile file;
            if (file.Open(path, CFile::modeRead | CFile::shareDenyWrite) &&
                file.GetLength() <= kMaxDocumentBytes) {
                // Read in chunks up to the limit, whatever the length said, since the file may grow
                // meanwhile.
                std::vector<char> bytes;
                bytes.reserve(static_cast<size_t>(file.GetLength()));
                bool tooLarge = false;
                for (;;) {
                    const size_t before = bytes.size();
                    bytes.resize(before + kReadChunkBytes);
                    const UINT got = file.Read(bytes.data() + before, static_cast<UINT>(kReadChunkBytes));
                    bytes.resize(before + got);
                    if (bytes.size() > kMaxDocumentBytes) tooLarge = true;
                    if (got == 0 || tooLarge) break;
                }
                loaded = !tooLarge && !bytes.empty() &&
                         document_->Parse(bytes.data(), bytes.size(), pugi::encoding_auto);
            }
        } catch (const CException&) {
            loaded = false;
        } catch (const std::bad_alloc&) {
            loaded = false;
        }
    }
    if (!loaded) document_->Fresh();
    storing_ = !loaded;
    return loaded ? TRUE : FALSE;
}

BOOL CKivXMLDOMDocObj::LoadFromText(const CString& text) {
    bool loaded = false;
    try {
        // A NUL is no XML character, and pugixml would take it for the end of the text.
        if (text.Text().find(L'\0') == std::wstring::npos) {
            const std::string utf8 = text.ToUtf8();
            loaded = utf8.size() <= kMaxDocumentBytes &&
                     document_->Parse(utf8.data(), utf8.size(), pugi::encoding_utf8);
        }
    } catch (const std::bad_alloc&) {
        loaded = false;
    }
    if (!loaded) document_->Fresh();
    storing_ = !loaded;
    return loaded ? TRUE : FALSE;
}

BOOL CKivXMLDOMDocObj::SaveToFile(const CString& path) const {
    if (path.IsEmpty()) return FALSE;
    std::string text;
    if (!document_->Print(text, kFileDeclaration)) return FALSE;
    ReplacementFile file;
    if (!file.Create(path)) return FALSE;
    try {
        for (size_t done = 0; done < text.size();) {
            const size_t chunk = std::min(text.size() - done, kReadChunkBytes);
            file.File().Write(text.data() + done, static_cast<UINT>(chunk));
            done += chunk;
        }
    } catch (const CException&) {
        return FALSE;  // the replacement file removes its temporary file; the old file stays
    }
    return file.Commit() ? TRUE : FALSE;
}

CString CKivXMLDOMDocObj::SaveToText() const {
    std::string text;
    if (!document_->Print(text, "")) return CString();
    return CString::FromUtf8(text);
}

IXMLDOMNode* CKivXMLDOMDocObj::CreateDOMNodeWithAttribute(IXMLDOMNode* parent, LPCWSTR name,
                                                          LPCWSTR attributeName, SKivXMLDataType value,
                                                          int flag) {
    if (!IsXmlName(attributeName)) return nullptr;
    IXMLDOMNode* created = CreateDOMNode(parent, name, flag);
    if (!created) return nullptr;
    if (!SetNodeAttribute(created, attributeName, value)) {
        document_->Element(parent).remove_child(FromPointer(created));
        return nullptr;
    }
    return created;
}

IXMLDOMNode* CKivXMLDOMDocObj::CreateDOMNode(IXMLDOMNode* parent, LPCWSTR name, int flag) {
    pugi::xml_node parentNode = document_->Element(parent);
    if (!parentNode || !IsXmlName(name)) return nullptr;
    const std::string utf8 = Utf8(name);
    return ToPointer(flag == 0 ? parentNode.prepend_child(utf8.c_str())
                               : parentNode.append_child(utf8.c_str()));
}

BOOL CKivXMLDOMDocObj::SetNodeAttribute(IXMLDOMNode* node, LPCWSTR name, SKivXMLDataType value) {
    pugi::xml_node element = document_->Element(node);
    if (!element || !IsXmlName(name)) return FALSE;
    try {
        std::string text;
        if (!FormatValue(value, text)) return FALSE;
        const std::string utf8 = Utf8(name);
        pugi::xml_attribute attribute = element.attribute(utf8.c_str());
        if (!attribute) attribute = element.append_attribute(utf8.c_str());
        if (!attribute || !attribute.set_value(text.c_str())) return FALSE;
        const std::string companion = BytesAttributeName(utf8);
        element.remove_attribute(companion.c_str());
        if (value.m_nType != SKivXMLDataType::kText || !value.m_value.pText) return TRUE;
        const CString exact(value.m_value.pText);
        if (!exact.HasUndecodableUnits()) return TRUE;
        return element.append_attribute(companion.c_str())
                       .set_value(PercentEncode(exact.ToFileSystem()).c_str())
                   ? TRUE
                   : FALSE;
    } catch (const std::bad_alloc&) {
        return FALSE;
    }
}

IXMLDOMNode* CKivXMLDOMDocObj::GetFirstNameMatchChildNode(IXMLDOMNode* parent, LPCWSTR name) const {
    const pugi::xml_node parentNode = document_->Element(parent);
    if (!parentNode || !name) return nullptr;
    const std::string utf8 = Utf8(name);
    for (pugi::xml_node child = parentNode.child(utf8.c_str()); child;
         child = child.next_sibling(utf8.c_str()))
        if (child.type() == pugi::node_element) return ToPointer(child);
    return nullptr;
}

IXMLDOMNode* CKivXMLDOMDocObj::GetNextNameMatchSiblingNode(IXMLDOMNode* node, LPCWSTR name) const {
    const pugi::xml_node start = document_->Element(node);
    if (!start || !name) return nullptr;
    const std::string utf8 = Utf8(name);
    for (pugi::xml_node sibling = start.next_sibling(utf8.c_str()); sibling;
         sibling = sibling.next_sibling(utf8.c_str()))
        if (sibling.type() == pugi::node_element) return ToPointer(sibling);
    return nullptr;
}

BOOL CKivXMLDOMDocObj::GetNodeAttribute(IXMLDOMNode* node, LPCWSTR name, SKivXMLDataType& value) const {
    // The holder gives up what it held (a text or block of an earlier get) and keeps only its preset type.
    const int type = value.m_nType;
    value.Clear();
    value.m_nType = type;
    const pugi::xml_node element = document_->Element(node);
    if (!element || !name) return FALSE;
    const std::string utf8 = Utf8(name);
    const pugi::xml_attribute attribute = element.attribute(utf8.c_str());
    if (!attribute) return FALSE;
    try {
        if (ParseValue(attribute.value(), value)) {
            if (type == SKivXMLDataType::kText) RestoreEscapedBytes(element, utf8, value);
            return TRUE;
        }
    } catch (const std::bad_alloc&) {
    }
    value.Clear();
    value.m_nType = type;
    return FALSE;
}

// The class name is taken because loaders pass their class for diagnostics (a library that logs or converts
// per class); this one treats every class alike and needs none.
int KivVersionConvert(int version, int current, int& result, const CString& /*className*/) {
    result = version;
    return version >= 0 && version <= current ? 1 : 0;
}

BOOL CKivModuleRC::LoadStringW(HINSTANCE resources, UINT id, CString& text) {
    text.Empty();
    HRSRC table = FindResourceW(resources, MAKEINTRESOURCEW(1), RT_STRING);
    if (!table) return FALSE;
    const auto* bytes = static_cast<const char*>(LockResource(LoadResource(resources, table)));
    if (!bytes) return FALSE;
    try {
        const std::optional<std::string_view> line =
            FindStringLine(std::string_view(bytes, SizeofResource(resources, table)), id);
        if (!line) return FALSE;
        text = CString::FromUtf8(Unescape(*line));
        return TRUE;
    } catch (const std::bad_alloc&) {
        return FALSE;
    }
}
