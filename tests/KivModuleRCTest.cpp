// The module-resource library's XML document: values as attribute text and back, element names and order,
// hostile documents and files, and the version hook.

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <optional>

#include "TestFiles.h"
#include "libraries/KivModuleRC.h"

namespace {

using V = SKivXMLDataType;

// A holder that releases what it carries at the end of the scope.
struct Held {
    V value;
    explicit Held(int type) { value.m_nType = type; }
    ~Held() { value.Clear(); }
};

V Number(int type, ULONGLONG raw) {
    V v;
    v.m_nType = type;
    v.m_value.raw = raw;
    return v;
}

V Text(LPCWSTR text) {
    V v;
    v.m_nType = V::kText;
    v.m_value.pText = const_cast<wchar_t*>(text);  // the set call only reads it
    return v;
}

// A byte block over a new GlobalAlloc block, released by the holder.
void MakeBlock(Held& held, const std::string& bytes) {
    held.value.m_value.hBlock = GlobalAlloc(GMEM_FIXED, bytes.size() + 1);
    std::memcpy(held.value.m_value.hBlock, bytes.data(), bytes.size());
    held.value.dwExtra = static_cast<DWORD>(bytes.size());
}

// The document text with element "Item" under the root holding attribute v set to value.
std::string Saved(const V& value) {
    CKivXMLDOMDocObj doc;
    IXMLDOMNode* item = doc.CreateDOMNode(doc.GetRootNode(), L"Item", 1);
    EXPECT_TRUE(item && doc.SetNodeAttribute(item, L"v", value));
    return doc.SaveToText().ToUtf8();
}

// Reads attribute v of the root's child "Item" of a document text into held, whose type is preset.
BOOL Read(const std::string& text, Held& held) {
    CKivXMLDOMDocObj doc;
    EXPECT_TRUE(doc.LoadFromText(Wide(text))) << text;
    return doc.GetNodeAttribute(doc.GetFirstNameMatchChildNode(doc.GetRootNode(), L"Item"), L"v", held.value);
}

std::string WithRaw(const std::string& raw) {
    return "<KivDocument><Item v=\"" + raw + "\"/></KivDocument>";
}

// Whether the root of a document is named root and it holds no element "Old".
bool FreshAs(const CKivXMLDOMDocObj& doc, const std::string& root) {
    const std::string text = doc.SaveToText().ToUtf8();
    return text.find("<" + root) != std::string::npos && text.find("<Old") == std::string::npos;
}

}  // namespace

TEST(KivModuleRC, ValuesRoundTripAsAttributeText) {
    // clang-format off
    const std::tuple<int, ULONGLONG, const char*> numbers[] = {
        {V::kWord, 65535, "65535"}, {V::kVersion, 0, "0"}, {V::kLong, 0x80000000, "-2147483648"},
        {V::kLong, INT32_MAX, "2147483647"}, {V::kDword, 0xFFFFFFFF, "4294967295"}};
    // clang-format on
    for (const auto& [type, raw, number] : numbers) {
        const std::string text = Saved(Number(type, raw));
        EXPECT_NE(text.find(std::string("v=\"") + number + "\""), std::string::npos) << text;
        Held read(type);
        ASSERT_TRUE(Read(text, read)) << number;
        EXPECT_EQ(read.value.m_value.raw, raw) << number;
    }
    for (const LPCWSTR text : {L"", L"<&>\"'", L"a&amp;b", L"\u00e9t\u00e9 \u65e5 \U0001F600",
                               L"line\nnext\ttab\rreturn", L"  spaces kept  "}) {
        Held read(V::kText);
        ASSERT_TRUE(Read(Saved(Text(text)), read)) << CString(text).ToUtf8();
        EXPECT_EQ(std::wstring(read.value.m_value.pText), text);
    }
    Held empty(V::kText);
    ASSERT_TRUE(Read(Saved(Text(nullptr)), empty));
    EXPECT_EQ(std::wstring(empty.value.m_value.pText), L"") << "a null text is written as an empty one";
    // Byte blocks as base64, with RFC 4648's test vectors.
    const std::pair<std::string, std::string> blocks[] = {
        {"", ""},        {"f", "Zg=="},         {"fo", "Zm8="},
        {"foo", "Zm9v"}, {"fooba", "Zm9vYmE="}, {std::string("\xFF\0\xFE", 3), "/wD+"}};
    for (const auto& [bytes, base64] : blocks) {
        Held block(V::kByteBlock), read(V::kByteBlock);
        MakeBlock(block, bytes);
        EXPECT_NE(Saved(block.value).find("v=\"" + base64 + "\""), std::string::npos) << base64;
        ASSERT_TRUE(Read(WithRaw(base64), read)) << base64;
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
        {V::kLong, "12x", {}}, {V::kLong, "", {}}, {V::kDword, " 12", {}}, {V::kDword, "12 ", {}},
        {V::kDword, "+12", {}}, {V::kLong, "0x10", {}}, {V::kLong, "1.5", {}},
        {V::kByteBlock, "Zg=", {}}, {V::kByteBlock, "Zg", {}}, {V::kByteBlock, "Zm9v!A==", {}},
        {V::kByteBlock, "Zm 9", {}}, {V::kByteBlock, "Zg==Zm9v", {}}, {V::kByteBlock, "====", {}},
        {V::kByteBlock, "Zh==", {}},  // bits under the padding
        {V::kNone, "1", {}}, {99, "1", {}},
        {V::kWord, "007", 7}, {V::kLong, "-0", 0}, {V::kLong, "-1", 0xFFFFFFFF}, {V::kDword, "00000000004294967295", 0xFFFFFFFF}};
    // clang-format on
    for (const auto& [type, raw, value] : cases) {
        Held read(type);
        if (type != V::kByteBlock) read.value.m_value.dwValue = 1234;  // stale contents must go
        EXPECT_EQ(Read(WithRaw(raw), read), value.has_value()) << raw;
        EXPECT_EQ(read.value.m_nType, type) << raw;
        EXPECT_EQ(read.value.m_value.raw, value.value_or(0)) << raw;
    }
}

TEST(KivModuleRC, ElementsAttributesAndNames) {
    CKivXMLDOMDocObj doc;
    IXMLDOMNode* root = doc.GetRootNode();
    // Flag 1 appends a child, flag 0 puts it first.
    const std::pair<LPCWSTR, int> children[] = {{L"B", 1},   {L"C", 1},   {L"A", 0},
                                                {L"Rec", 1}, {L"rec", 1}, {L"Rec", 1}};
    for (const auto& [name, flag] : children)
        ASSERT_NE(doc.CreateDOMNodeWithAttribute(root, name, L"v", Number(V::kWord, 5), flag), nullptr);
    ASSERT_TRUE(doc.SetNodeAttribute(root, L"v", Number(V::kDword, 1)));
    ASSERT_TRUE(doc.SetNodeAttribute(root, L"v", Number(V::kDword, 2)));
    ASSERT_NE(doc.CreateDOMNode(doc.GetFirstNameMatchChildNode(root, L"B"), L"Rec", 1),
              nullptr);  // no sibling
    EXPECT_NE(
        doc.SaveToText().ToUtf8().find("<KivDocument v=\"2\"><A v=\"5\"/><B v=\"5\"><Rec/></B><C v=\"5\"/>"
                                       "<Rec v=\"5\"/><rec v=\"5\"/><Rec v=\"5\"/></KivDocument>"),
        std::string::npos)
        << doc.SaveToText().ToUtf8();
    int recs = 0;
    for (IXMLDOMNode* n = doc.GetFirstNameMatchChildNode(root, L"Rec"); n;
         n = doc.GetNextNameMatchSiblingNode(n, L"Rec"))
        ++recs;
    EXPECT_EQ(recs, 2) << "names match exactly, case included, among siblings only";

    // Names that are no XML names, and values that cannot be set, leave nothing behind.
    const CString before = doc.SaveToText();
    for (const LPCWSTR name : {L"", L"1abc", L"-abc", L"a b", L"a<b", L"a&b", L"a\"b", L"a=b", L"\u00d7x"}) {
        EXPECT_EQ(doc.CreateDOMNode(root, name, 1), nullptr) << CString(name).ToUtf8();
        EXPECT_EQ(doc.CreateDOMNodeWithAttribute(root, L"Item", name, Number(V::kWord, 1), 1), nullptr);
        EXPECT_FALSE(doc.SetNodeAttribute(root, name, Number(V::kWord, 1)));
    }
    Held lostBlock(V::kByteBlock);
    lostBlock.value.dwExtra = 4;
    for (const V& bad : {Number(V::kNone, 0), Number(1, 0), Number(99, 0), lostBlock.value}) {
        EXPECT_FALSE(doc.SetNodeAttribute(root, L"w", bad)) << bad.m_nType;
        EXPECT_EQ(doc.CreateDOMNodeWithAttribute(root, L"Item", L"v", bad, 1), nullptr) << bad.m_nType;
    }
    EXPECT_TRUE(doc.SaveToText() == before) << "nothing was left behind";
    for (const LPCWSTR name : {L"a-b.c_d:e9", L"\u00e9l\u00e9ment"})
        EXPECT_NE(doc.CreateDOMNode(root, name, 1), nullptr) << CString(name).ToUtf8();
    CKivXMLDOMDocObj other;
    EXPECT_EQ(other.CreateDOMNode(root, L"Child", 1), nullptr) << "a node of another document";
    EXPECT_TRUE(FreshAs(CKivXMLDOMDocObj(L"1 bad"), "KivDocument"))
        << "a bad root name falls back to the default";
}

TEST(KivModuleRC, HostileTextIsRefusedAndLeavesAnEmptyDocument) {
    std::wstring deep;  // deep nesting must not exhaust the stack on load, save or destruction
    for (int i = 0; i < 200000; ++i) deep += L"<a>";
    for (int i = 0; i < 200000; ++i) deep += L"</a>";
    // clang-format off
    const std::wstring cases[] = {L"", L"   \n", L"not xml", L"<a>", L"<a></b>", L"<a v=\"1></a>", L"<a/><b/>",
                                  L"<?xml version=\"1.0\"?>", L"<!-- c -->", std::wstring(L"<a/>\0<b>", 8),
                                  deep.substr(0, deep.size() - 4)};
    // clang-format on
    for (const std::wstring& text : cases) {
        CKivXMLDOMDocObj doc(L"Fresh");
        ASSERT_NE(doc.CreateDOMNode(doc.GetRootNode(), L"Old", 1), nullptr);
        doc.SetStoring(FALSE);
        EXPECT_FALSE(doc.LoadFromText(CString(text))) << CString(text.substr(0, 40)).ToUtf8();
        EXPECT_TRUE(doc.IsStoring());
        EXPECT_TRUE(FreshAs(doc, "Fresh")) << CString(text.substr(0, 40)).ToUtf8();
    }
    CKivXMLDOMDocObj doc(L"Mine");
    ASSERT_TRUE(doc.LoadFromText(CString(deep)));
    EXPECT_FALSE(doc.SaveToText().IsEmpty());
    ASSERT_TRUE(
        doc.LoadFromText(L"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<!-- c -->\n<Theirs v=\"3\"/>"));
    EXPECT_FALSE(doc.IsStoring());
    EXPECT_TRUE(FreshAs(doc, "Theirs")) << "the root is the loaded document element";
}

TEST(KivModuleRC, Files) {
    ScratchFolder folder;
    const CString path = Wide(folder.File("doc \u00e9.xml"));
    {
        CKivXMLDOMDocObj doc(L"Clips");
        ASSERT_TRUE(
            doc.SetNodeAttribute(doc.GetRootNode(), L"MediaFile", Text(L"/pictures/\u00e9t\u00e9 <1>.bmp")));
        ASSERT_TRUE(doc.SaveToFile(path));
    }
    const Bytes bytes = ReadFileBytes(folder.File("doc \u00e9.xml"));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()).rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", 0),
              0u);
    EXPECT_NE(std::string(bytes.begin(), bytes.end()).find("\xc3\xa9t\xc3\xa9"), std::string::npos);
    CKivXMLDOMDocObj doc;
    ASSERT_TRUE(doc.LoadFromFile(path));
    Held text(V::kText);
    ASSERT_TRUE(doc.GetNodeAttribute(doc.GetRootNode(), L"MediaFile", text.value));
    EXPECT_EQ(std::wstring(text.value.m_value.pText), L"/pictures/\u00e9t\u00e9 <1>.bmp");
    Bytes utf16 = {0xFF, 0xFE};
    for (const char c : std::string("<R v=\"42\"/>")) utf16.insert(utf16.end(), {static_cast<BYTE>(c), 0});
    Held number(V::kLong);
    ASSERT_TRUE(doc.LoadFromFile(folder.Write("utf16.xml", utf16))) << "UTF-16 with a byte-order mark";
    ASSERT_TRUE(doc.GetNodeAttribute(doc.GetRootNode(), L"v", number.value));
    EXPECT_EQ(number.value.m_value.lValue, 42);

    WriteFileBytes(folder.File("huge.xml"), Bytes{'<'});  // sparse: larger than any document may be
    std::filesystem::resize_file(folder.File("huge.xml"), (std::uintmax_t{256} << 20) + 1);
    std::filesystem::create_directory(folder.File("dir"));
    for (const char* name : {"huge.xml", "dir", "missing.xml"}) {
        CKivXMLDOMDocObj refused(L"Fresh");
        ASSERT_NE(refused.CreateDOMNode(refused.GetRootNode(), L"Old", 1), nullptr);
        EXPECT_FALSE(refused.LoadFromFile(Wide(folder.File(name)))) << name;
        EXPECT_TRUE(FreshAs(refused, "Fresh")) << name;
    }
    EXPECT_FALSE(doc.SaveToFile(Wide(folder.File("dir")))) << "a folder is never replaced";
    EXPECT_FALSE(doc.SaveToFile(Wide(folder.File("no-such-folder/doc.xml"))));
    EXPECT_TRUE(std::filesystem::is_directory(folder.File("dir")));
}

TEST(KivModuleRC, VersionConvertAcceptsUpToTheCurrentVersion) {
    const int cases[][3] = {{0, 0, 1}, {1, 0, 0}, {-1, 0, 0},           {0, 3, 1},
                            {3, 3, 1}, {4, 3, 0}, {INT_MIN, INT_MAX, 0}};
    for (const auto& [version, current, expected] : cases) {
        int result = -12345;
        EXPECT_EQ(KivVersionConvert(version, current, result, L"CKivClipMediaObj"), expected) << version;
        EXPECT_EQ(result, version) << "the version is read as it is";
    }
}
