// The module-resource library's XML document: values as attribute text and back, hostile text, files.

#include <gtest/gtest.h>

#include <cstring>
#include <optional>

#include "TestFiles.h"
#include "libraries/KivModuleRC.h"

namespace {

using V = SKivXMLDataType;

// A holder of the given type (a number when raw is given) that releases what it carries at the end.
struct Held {
    V value;
    explicit Held(int type, ULONGLONG raw = 0) { value.m_nType = type, value.m_value.raw = raw; }
    ~Held() { value.Clear(); }
};

// The document text with element "Item" under the root holding attribute v set to value.
std::string Saved(const V& value) {
    CKivXMLDOMDocObj doc;
    IXMLDOMNode* item = doc.CreateDOMNode(doc.GetRootNode(), L"Item", 1);
    EXPECT_TRUE(item && doc.SetNodeAttribute(item, L"v", value));
    return doc.SaveToText().ToUtf8();
}

// Reads attribute v of element Item of "<KivDocument><Item v="raw"/></KivDocument>" into held.
BOOL Read(const std::string& raw, Held& held) {
    CKivXMLDOMDocObj doc;
    EXPECT_TRUE(doc.LoadFromText(Wide("<KivDocument><Item v=\"" + raw + "\"/></KivDocument>"))) << raw;
    return doc.GetNodeAttribute(doc.GetFirstNameMatchChildNode(doc.GetRootNode(), L"Item"), L"v", held.value);
}

// The attribute text of a saved value.
std::string Raw(const std::string& saved) {
    const size_t start = saved.find("v=\"") + 3;
    return saved.substr(start, saved.find('"', start) - start);
}

// Whether the root of a document is named root and it holds no element "Old".
bool FreshAs(const CKivXMLDOMDocObj& doc, const std::string& root) {
    const std::string text = doc.SaveToText().ToUtf8();
    return text.find("<" + root) != std::string::npos && text.find("<Old") == std::string::npos;
}

}  // namespace

// Numbers in decimal, text escaped (blanks included), byte blocks in base64 (RFC 4648's vectors).
TEST(KivModuleRC, ValuesRoundTripAsAttributeText) {
    // clang-format off
    const std::tuple<int, ULONGLONG, const char*> numbers[] = {
        {V::kWord, 65535, "65535"}, {V::kVersion, 0, "0"}, {V::kLong, 0x80000000, "-2147483648"},
        {V::kLong, INT32_MAX, "2147483647"}, {V::kDword, 0xFFFFFFFF, "4294967295"}};
    // clang-format on
    for (const auto& [type, raw, number] : numbers) {
        Held value(type, raw), read(type);
        EXPECT_EQ(Raw(Saved(value.value)), number);
        ASSERT_TRUE(Read(number, read)) << number;
        EXPECT_EQ(read.value.m_value.raw, raw) << number;
    }
    for (const LPCWSTR text :
         {L"<&>\"'", L"a&amp;b", L"\u00e9 e\u0301 \u65e5 \U0001F600", L"a\nb\tc\rd", L"  kept  "}) {
        Held value(V::kText), read(V::kText);
        value.value.m_value.pText = new wchar_t[std::wcslen(text) + 1];
        std::wcscpy(value.value.m_value.pText, text);
        ASSERT_TRUE(Read(Raw(Saved(value.value)), read)) << CString(text).ToUtf8();
        EXPECT_EQ(std::wstring(read.value.m_value.pText), text);
    }
    const std::pair<std::string, std::string> blocks[] = {
        {"", ""},        {"f", "Zg=="},         {"fo", "Zm8="},
        {"foo", "Zm9v"}, {"fooba", "Zm9vYmE="}, {std::string("\xFF\0\xFE", 3), "/wD+"}};
    for (const auto& [bytes, base64] : blocks) {
        Held block(V::kByteBlock), read(V::kByteBlock);
        block.value.m_value.hBlock = GlobalAlloc(GMEM_FIXED, bytes.size() + 1);
        std::memcpy(block.value.m_value.hBlock, bytes.data(), bytes.size());
        block.value.dwExtra = static_cast<DWORD>(bytes.size());
        EXPECT_EQ(Raw(Saved(block.value)), base64);
        ASSERT_TRUE(Read(base64, read)) << base64;
        const auto* data = static_cast<const char*>(read.value.m_value.hBlock);
        EXPECT_EQ(std::string(data ? data : "", read.value.dwExtra), bytes) << base64;
    }
}

// Attribute text that is no value of the type asked for: the get fails, keeps the type and clears the value.
TEST(KivModuleRC, ConversionsOfHostileText) {
    // clang-format off
    const std::tuple<int, const char*, std::optional<ULONGLONG>> cases[] = {  // nothing: refused
        {V::kWord, "65536", {}}, {V::kVersion, "70000", {}}, {V::kWord, "-1", {}}, {V::kDword, "-1", {}},
        {V::kDword, "4294967296", {}}, {V::kLong, "2147483648", {}}, {V::kLong, "-2147483649", {}},
        {V::kLong, "12x", {}}, {V::kLong, "", {}}, {V::kDword, " 12", {}}, {V::kDword, "+12", {}},
        {V::kLong, "0x10", {}}, {V::kByteBlock, "Zg=", {}}, {V::kByteBlock, "Zm9v!A==", {}},
        {V::kByteBlock, "Zm 9", {}}, {V::kByteBlock, "Zg==Zm9v", {}}, {V::kByteBlock, "====", {}},
        {V::kByteBlock, "Zh==", {}},  // bits under the padding
        {V::kNone, "1", {}}, {99, "1", {}}, {V::kWord, "007", 7}, {V::kLong, "-0", 0},
        {V::kLong, "-1", 0xFFFFFFFF}, {V::kDword, "00000000004294967295", 0xFFFFFFFF}};
    // clang-format on
    for (const auto& [type, raw, value] : cases) {
        Held read(type, type == V::kByteBlock ? 0 : 1234);  // stale contents must go
        EXPECT_EQ(Read(raw, read), value.has_value()) << raw;
        EXPECT_EQ(read.value.m_nType, type) << raw;
        EXPECT_EQ(read.value.m_value.raw, value.value_or(0)) << raw;
    }
}

// Names that are no XML names and values that cannot be set are refused and leave nothing behind.
TEST(KivModuleRC, ElementsAndNames) {
    CKivXMLDOMDocObj doc;
    IXMLDOMNode* root = doc.GetRootNode();
    Held five(V::kWord, 5), bad(V::kByteBlock);
    bad.value.dwExtra = 4;  // a length without a block
    const CString before = doc.SaveToText();
    for (const LPCWSTR name : {L"", L"1abc", L"-abc", L"a b", L"a<b", L"a&b", L"a\"b", L"a=b", L"\u00d7x"}) {
        EXPECT_EQ(doc.CreateDOMNode(root, name, 1), nullptr) << CString(name).ToUtf8();
        EXPECT_FALSE(doc.SetNodeAttribute(root, name, five.value)) << CString(name).ToUtf8();
    }
    for (const int type : {int(V::kNone), 1, 99})
        EXPECT_FALSE(doc.SetNodeAttribute(root, L"w", Held(type).value)) << type;
    EXPECT_EQ(doc.CreateDOMNodeWithAttribute(root, L"Item", L"v", bad.value, 1), nullptr);
    EXPECT_TRUE(doc.SaveToText() == before) << "nothing was left behind";
    EXPECT_NE(doc.CreateDOMNode(root, L"\u00e9l\u00e9ment-1.b_c:d", 1), nullptr);
}

// A refused text leaves an empty document; deep nesting must not exhaust the stack on load, save or delete.
TEST(KivModuleRC, HostileTextIsRefusedAndLeavesAnEmptyDocument) {
    std::wstring deep;
    for (int i = 0; i < 200000; ++i) deep += L"<a>";
    for (int i = 0; i < 200000; ++i) deep += L"</a>";
    // clang-format off
    const std::wstring cases[] = {L"", L"   \n", L"not xml", L"<a>", L"<a></b>", L"<a v=\"1></a>",
                                  L"<a/><b/>",
                                  L"<?xml version=\"1.0\"?>", L"<!-- c -->", std::wstring(L"<a/>\0<b>", 8),
                                  deep.substr(0, deep.size() - 4)};
    // clang-format on
    for (const std::wstring& text : cases) {
        CKivXMLDOMDocObj doc(L"Fresh");
        ASSERT_NE(doc.CreateDOMNode(doc.GetRootNode(), L"Old", 1), nullptr);
        doc.SetStoring(FALSE);
        EXPECT_FALSE(doc.LoadFromText(CString(text))) << CString(text.substr(0, 40)).ToUtf8();
        EXPECT_TRUE(doc.IsStoring() && FreshAs(doc, "Fresh")) << CString(text.substr(0, 40)).ToUtf8();
    }
    CKivXMLDOMDocObj doc(L"Mine");
    ASSERT_TRUE(doc.LoadFromText(CString(deep)));
    EXPECT_FALSE(doc.SaveToText().IsEmpty());
    ASSERT_TRUE(
        doc.LoadFromText(L"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<!-- c -->\n<Theirs v=\"3\"/>"));
    EXPECT_TRUE(!doc.IsStoring() && FreshAs(doc, "Theirs")) << "the root is the loaded document element";
}

// Files: a saved one loads back; one larger than any document may be, a folder or a missing file leave an
// empty document; a folder is never replaced.
TEST(KivModuleRC, Files) {
    ScratchFolder folder;
    WriteFileBytes(folder.File("huge.xml"), Bytes{'<'});  // sparse
    std::filesystem::resize_file(folder.File("huge.xml"), (std::uintmax_t{256} << 20) + 1);
    std::filesystem::create_directory(folder.File("dir"));
    CKivXMLDOMDocObj doc(L"Clips"), loaded;
    ASSERT_TRUE(doc.CreateDOMNode(doc.GetRootNode(), L"\u00e9t\u00e9", 1) &&
                doc.SaveToFile(Wide(folder.File("d.xml"))));
    EXPECT_TRUE(loaded.LoadFromFile(Wide(folder.File("d.xml"))) && loaded.SaveToText() == doc.SaveToText());
    for (const char* name : {"huge.xml", "dir", "missing.xml"}) {
        ASSERT_NE(loaded.CreateDOMNode(loaded.GetRootNode(), L"Old", 1), nullptr);
        EXPECT_FALSE(loaded.LoadFromFile(Wide(folder.File(name)))) << name;
        EXPECT_TRUE(FreshAs(loaded, "KivDocument")) << name;
    }
    EXPECT_FALSE(doc.SaveToFile(Wide(folder.File("dir"))));
    EXPECT_TRUE(std::filesystem::is_directory(folder.File("dir")));
}
