// The module-resource library: a module's strings, the XML document object that serialisable objects
// write themselves into and read themselves from, its typed value holder, and the version hook archives
// call on load.
#pragma once

#include <memory>

#include "platform/CString.h"
#include "platform/WinTypes.h"

// Access to a module's own resources.
class KIV_RUNTIME_API CKivModuleRC {
  public:
    // String id of the module's string table in the thread's user-interface language (the table of the
    // nearest language when that one is missing, as FindResourceW chooses). Returns nonzero when the
    // string exists; text is emptied otherwise.
    static BOOL LoadStringW(HINSTANCE resources, UINT id, CString& text);
};

// A node of an XML document. Pointers to it never own: the node lives as long as its document, and a load
// (which replaces the whole document) leaves earlier node pointers dangling.
class IXMLDOMNode;

// A typed value for one attribute. The set call takes it by value and reads it; the get call fills it
// with the attribute converted to the preset type.
struct KIV_RUNTIME_API SKivXMLDataType {
    enum Type : int {
        kNone = -1,
        kText = 0,       // pText: a zero-terminated wide string
        kWord = 4,       // wValue
        kVersion = 6,    // wValue
        kLong = 7,       // lValue
        kDword = 11,     // dwValue
        kByteBlock = 17  // hBlock: a GlobalAlloc block of dwExtra bytes
    };

    int m_nType = kNone;
    union {
        WORD wValue;
        LONG lValue;
        DWORD dwValue;
        wchar_t* pText;
        HGLOBAL hBlock;
        ULONGLONG raw;
    } m_value{.raw = 0};
    DWORD dwExtra = 0;  // the block's length in bytes for kByteBlock, else 0

    // Type kNone and everything 0; releases nothing.
    void Reset();
    // Releases a text (array delete) or a block (GlobalFree) the holder carries, then resets.
    void Clear();
};

// An XML document that is either being written (storing) or read (loading).
class KIV_RUNTIME_API CKivXMLDOMDocObj {
  public:
    // An empty document with a root element named rootName, for storing.
    explicit CKivXMLDOMDocObj(LPCWSTR rootName = L"KivDocument");
    CKivXMLDOMDocObj(const CKivXMLDOMDocObj&) = delete;
    CKivXMLDOMDocObj& operator=(const CKivXMLDOMDocObj&) = delete;
    ~CKivXMLDOMDocObj();

    BOOL IsStoring() const;
    void SetStoring(BOOL storing);
    // The document's root element (never null).
    IXMLDOMNode* GetRootNode() const;

    // Loading switches the document to loading; the document is left empty and storing when the text is
    // not well-formed XML. Returns nonzero on success.
    BOOL LoadFromFile(const CString& path);
    BOOL LoadFromText(const CString& text);
    // Saving writes UTF-8 XML, through a temporary file renamed over the target when complete.
    BOOL SaveToFile(const CString& path) const;
    CString SaveToText() const;

    // A new child element of parent, carrying the attribute; null when parent is null or a name is not a
    // valid XML name. flag 1 appends the child after its siblings, 0 puts it first.
    IXMLDOMNode* CreateDOMNodeWithAttribute(IXMLDOMNode* parent, LPCWSTR name, LPCWSTR attributeName,
                                            SKivXMLDataType value, int flag);
    IXMLDOMNode* CreateDOMNode(IXMLDOMNode* parent, LPCWSTR name, int flag);
    // Writes the attribute (replacing one of that name); nonzero on success.
    BOOL SetNodeAttribute(IXMLDOMNode* node, LPCWSTR name, SKivXMLDataType value);
    // The first child element of that name, or null.
    IXMLDOMNode* GetFirstNameMatchChildNode(IXMLDOMNode* parent, LPCWSTR name) const;
    // The next sibling element after node with that name, or null.
    IXMLDOMNode* GetNextNameMatchSiblingNode(IXMLDOMNode* node, LPCWSTR name) const;
    // The attribute converted to value's preset type. Nonzero when the attribute exists and converts; else
    // value keeps its type and holds 0 (or no text). A number outside the type's range does not convert.
    // A text or block the holder carried is released first, so a holder must own what it points at (or be
    // reset) before the call.
    BOOL GetNodeAttribute(IXMLDOMNode* node, LPCWSTR name, SKivXMLDataType& value) const;

  private:
    struct Document;
    std::unique_ptr<Document> document_;
    bool storing_ = true;
};

// Called by archive loaders with the version they read, the version they write and their class name. result
// receives the version to read with; returns nonzero when the loader knows that version (at most current).
KIV_RUNTIME_API int KivVersionConvert(int version, int current, int& result, const CString& className);

// The host's video standard, as far as the module needs it: high definition or not. The background fills
// pick their high-definition tiles by it. The host sets it when its project's standard changes; it starts
// as standard definition.
class KIV_RUNTIME_API CKivVideoStd {
  public:
    // Nonzero when the host's video standard is high definition.
    static BOOL IsVideoStdHD();
    static void SetVideoStdHD(BOOL hd);
};
