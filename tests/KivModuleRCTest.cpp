// The module-resource library's XML document object, its value holder and the version hook.

#include <climits>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestFiles.h"
#include "libraries/KivModuleRC.h"
#include "platform/GlobalMemory.h"

namespace {

// A holder that releases what it carries at the end of the scope.
struct Held {
    SKivXMLDataType value;
    Held() = default;
    explicit Held(int type) { value.m_nType = type; }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    ~Held() { value.Clear(); }
};

SKivXMLDataType Text(LPCWSTR text) {
    SKivXMLDataType v;
    v.m_nType = SKivXMLDataType::kText;
    v.m_value.pText = const_cast<wchar_t*>(text);  // the set call only reads it
    return v;
}

SKivXMLDataType Number(int type, ULONGLONG number) {
    SKivXMLDataType v;
    v.m_nType = type;
    switch (type) {
        case SKivXMLDataType::kLong:
            v.m_value.lValue = static_cast<LONG>(static_cast<LONGLONG>(number));
            break;
        case SKivXMLDataType::kDword:
            v.m_value.dwValue = static_cast<DWORD>(number);
            break;
        default:
            v.m_value.wValue = static_cast<WORD>(number);
            break;
    }
    return v;
}

// A byte-block holder over a fresh GlobalAlloc block with the bytes.
void MakeBlock(Held& held, const std::vector<BYTE>& bytes) {
    held.value.m_nType = SKivXMLDataType::kByteBlock;
    held.value.m_value.hBlock = GlobalAlloc(GMEM_FIXED, bytes.size());
    if (!bytes.empty()) std::memcpy(held.value.m_value.hBlock, bytes.data(), bytes.size());
    held.value.dwExtra = static_cast<DWORD>(bytes.size());
}

std::vector<BYTE> BlockBytes(const SKivXMLDataType& v) {
    const auto* data = static_cast<const BYTE*>(v.m_value.hBlock);
    return data ? std::vector<BYTE>(data, data + v.dwExtra) : std::vector<BYTE>();
}

// A document holding one element "Item" under the root with attribute "v" set to value, saved to text.
CString SavedWithAttribute(const SKivXMLDataType& value) {
    CKivXMLDOMDocObj doc;
    IXMLDOMNode* item = doc.CreateDOMNode(doc.GetRootNode(), L"Item", 1);
    EXPECT_NE(item, nullptr);
    EXPECT_TRUE(doc.SetNodeAttribute(item, L"v", value));
    return doc.SaveToText();
}

// Loads text and reads attribute "v" of the root's child "Item" into held (whose type is preset).
BOOL ReadAttribute(const CString& text, Held& held) {
    CKivXMLDOMDocObj doc;
    EXPECT_TRUE(doc.LoadFromText(text)) << CString(text).ToUtf8();
    IXMLDOMNode* item = doc.GetFirstNameMatchChildNode(doc.GetRootNode(), L"Item");
    EXPECT_NE(item, nullptr);
    return doc.GetNodeAttribute(item, L"v", held.value);
}

CString ItemWithRawValue(const std::string& rawUtf8) {
    return Wide("<KivDocument><Item v=\"" + rawUtf8 + "\"/></KivDocument>");
}

TEST(KivModuleRC, ResetAndClear) {
    SKivXMLDataType v;
    EXPECT_EQ(v.m_nType, SKivXMLDataType::kNone);
    v.m_nType = SKivXMLDataType::kLong;
    v.m_value.lValue = -5;
    v.dwExtra = 9;
    v.Reset();
    EXPECT_EQ(v.m_nType, SKivXMLDataType::kNone);
    EXPECT_EQ(v.m_value.raw, 0u);
    EXPECT_EQ(v.dwExtra, 0u);

    // Clear releases an owned text and block (a leak shows under AddressSanitizer) and resets.
    v.m_nType = SKivXMLDataType::kText;
    v.m_value.pText = new wchar_t[4]{L'a', L'b', L'c', 0};
    v.Clear();
    EXPECT_EQ(v.m_nType, SKivXMLDataType::kNone);
    EXPECT_EQ(v.m_value.raw, 0u);
    v.m_nType = SKivXMLDataType::kByteBlock;
    v.m_value.hBlock = GlobalAlloc(GMEM_FIXED, 16);
    v.dwExtra = 16;
    v.Clear();
    EXPECT_EQ(v.m_value.raw, 0u);
    EXPECT_EQ(v.dwExtra, 0u);
    // Null values and other types release nothing.
    v.m_nType = SKivXMLDataType::kText;
    v.Clear();
    v.m_nType = SKivXMLDataType::kDword;
    v.m_value.dwValue = 7;
    v.Clear();
    EXPECT_EQ(v.m_value.raw, 0u);
}

TEST(KivModuleRC, NumbersRoundTrip) {
    const struct {
        int type;
        ULONGLONG number;
        const char* text;
        const char* reason;
    } cases[] = {
        {SKivXMLDataType::kWord, 0, "0", "16-bit low end"},
        {SKivXMLDataType::kWord, 65535, "65535", "16-bit high end"},
        {SKivXMLDataType::kVersion, 0, "0", "version 0"},
        {SKivXMLDataType::kVersion, 65535, "65535", "highest version"},
        {SKivXMLDataType::kLong, static_cast<ULONGLONG>(static_cast<LONGLONG>(INT32_MIN)), "-2147483648",
         "INT32_MIN"},
        {SKivXMLDataType::kLong, INT32_MAX, "2147483647", "INT32_MAX"},
        {SKivXMLDataType::kLong, 0, "0", "signed zero"},
        {SKivXMLDataType::kDword, 0, "0", "unsigned zero"},
        {SKivXMLDataType::kDword, 0xFFFFFFFF, "4294967295", "unsigned high end"},
    };
    for (const auto& c : cases) {
        const SKivXMLDataType value = Number(c.type, c.number);
        const CString text = SavedWithAttribute(value);
        EXPECT_NE(text.ToUtf8().find(std::string("v=\"") + c.text + "\""), std::string::npos) << c.reason;
        Held read(c.type);
        ASSERT_TRUE(ReadAttribute(text, read)) << c.reason;
        EXPECT_EQ(read.value.m_nType, c.type) << c.reason;
        EXPECT_EQ(read.value.m_value.raw, value.m_value.raw) << c.reason;
    }
}

TEST(KivModuleRC, TextRoundTrip) {
    const struct {
        LPCWSTR text;
        const char* reason;
    } cases[] = {
        {L"", "empty text"},
        {L"plain", "plain ASCII"},
        {L"<&>\"'", "XML specials"},
        {L"a&amp;b", "something that looks like an escape"},
        {L"\u00e9t\u00e9 \u65e5\u672c \u0416", "non-ASCII in the BMP"},
        {L"\U0001F600 \U00010348", "outside the BMP"},
        {L"line\nnext\ttab\rreturn", "blanks an attribute would otherwise normalise"},
        {L"  leading and trailing  ", "spaces kept"},
    };
    for (const auto& c : cases) {
        const CString text = SavedWithAttribute(Text(c.text));
        Held read(SKivXMLDataType::kText);
        ASSERT_TRUE(ReadAttribute(text, read)) << c.reason;
        ASSERT_NE(read.value.m_value.pText, nullptr) << c.reason;
        EXPECT_EQ(std::wstring(read.value.m_value.pText), std::wstring(c.text)) << c.reason;
    }
    // A null text is written as an empty one.
    const CString text = SavedWithAttribute(Text(nullptr));
    Held read(SKivXMLDataType::kText);
    ASSERT_TRUE(ReadAttribute(text, read));
    EXPECT_EQ(std::wstring(read.value.m_value.pText), L"");
}

TEST(KivModuleRC, ByteBlockRoundTrip) {
    for (const size_t length : {0u, 1u, 2u, 3u, 4u, 255u}) {
        std::vector<BYTE> bytes(length);
        for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<BYTE>(255 - i * 7);
        Held block;
        MakeBlock(block, bytes);
        const CString text = SavedWithAttribute(block.value);
        Held read(SKivXMLDataType::kByteBlock);
        ASSERT_TRUE(ReadAttribute(text, read)) << length << " bytes";
        EXPECT_EQ(read.value.dwExtra, length);
        EXPECT_EQ(BlockBytes(read.value), bytes) << length << " bytes";
    }
}

TEST(KivModuleRC, ByteBlockIsBase64) {
    // RFC 4648's test vectors, both ways.
    const struct {
        const char* bytes;
        const char* base64;
    } cases[] = {{"", ""},
                 {"f", "Zg=="},
                 {"fo", "Zm8="},
                 {"foo", "Zm9v"},
                 {"foob", "Zm9vYg=="},
                 {"fooba", "Zm9vYmE="},
                 {"foobar", "Zm9vYmFy"}};
    for (const auto& c : cases) {
        const std::vector<BYTE> bytes(c.bytes, c.bytes + std::strlen(c.bytes));
        Held block;
        MakeBlock(block, bytes);
        EXPECT_NE(SavedWithAttribute(block.value).ToUtf8().find(std::string("v=\"") + c.base64 + "\""),
                  std::string::npos)
            << c.bytes;
        Held read(SKivXMLDataType::kByteBlock);
        ASSERT_TRUE(ReadAttribute(ItemWithRawValue(c.base64), read)) << c.base64;
        EXPECT_EQ(BlockBytes(read.value), bytes) << c.base64;
    }
}

TEST(KivModuleRC, ConversionsThatFail) {
    const struct {
        int type;
        const char* raw;
        const char* reason;
    } cases[] = {
        {SKivXMLDataType::kWord, "65536", "past 16 bits"},
        {SKivXMLDataType::kVersion, "70000", "past 16 bits"},
        {SKivXMLDataType::kWord, "-1", "16-bit numbers are unsigned"},
        {SKivXMLDataType::kDword, "-1", "unsigned"},
        {SKivXMLDataType::kDword, "4294967296", "past 32 bits"},
        {SKivXMLDataType::kLong, "2147483648", "past INT32_MAX"},
        {SKivXMLDataType::kLong, "-2147483649", "below INT32_MIN"},
        {SKivXMLDataType::kLong, "12x", "trailing garbage"},
        {SKivXMLDataType::kDword, "12x", "trailing garbage"},
        {SKivXMLDataType::kWord, "", "empty"},
        {SKivXMLDataType::kLong, "", "empty"},
        {SKivXMLDataType::kDword, " 12", "leading blank"},
        {SKivXMLDataType::kDword, "12 ", "trailing blank"},
        {SKivXMLDataType::kDword, "+12", "plus sign"},
        {SKivXMLDataType::kLong, "0x10", "hexadecimal"},
        {SKivXMLDataType::kLong, "1.5", "fraction"},
        {SKivXMLDataType::kByteBlock, "Zg=", "length not a multiple of 4"},
        {SKivXMLDataType::kByteBlock, "Zg", "padding missing"},
        {SKivXMLDataType::kByteBlock, "Zm9v!A==", "character outside the alphabet"},
        {SKivXMLDataType::kByteBlock, "Zm 9", "blank inside"},
        {SKivXMLDataType::kByteBlock, "Zg==Zm9v", "padding in the middle"},
        {SKivXMLDataType::kByteBlock, "Z===", "three padding characters"},
        {SKivXMLDataType::kByteBlock, "====", "only padding"},
        {SKivXMLDataType::kByteBlock, "Zh==", "nonzero bits under the padding"},
        {SKivXMLDataType::kByteBlock, "Zm9=", "nonzero bits under one padding character"},
        {SKivXMLDataType::kNone, "1", "no preset type"},
        {99, "1", "unknown preset type"},
    };
    for (const auto& c : cases) {
        Held read(c.type);
        // Stale contents must not survive a failed conversion (a number only: the get releases a held
        // pointer).
        if (c.type != SKivXMLDataType::kByteBlock) read.value.m_value.dwValue = 1234;
        EXPECT_FALSE(ReadAttribute(ItemWithRawValue(c.raw), read)) << c.reason;
        EXPECT_EQ(read.value.m_nType, c.type) << c.reason;
        EXPECT_EQ(read.value.m_value.raw, 0u) << c.reason;
        EXPECT_EQ(read.value.dwExtra, 0u) << c.reason;
    }
}

TEST(KivModuleRC, ConversionsThatSucceed) {
    const struct {
        int type;
        const char* raw;
        ULONGLONG raw64;
        const char* reason;
    } cases[] = {
        {SKivXMLDataType::kWord, "007", 7, "leading zeros"},
        {SKivXMLDataType::kLong, "-0", 0, "negative zero"},
        {SKivXMLDataType::kLong, "-1", 0xFFFFFFFF, "minus one"},
        {SKivXMLDataType::kDword, "00000000004294967295", 0xFFFFFFFF, "many leading zeros"},
    };
    for (const auto& c : cases) {
        Held read(c.type);
        EXPECT_TRUE(ReadAttribute(ItemWithRawValue(c.raw), read)) << c.reason;
        EXPECT_EQ(read.value.m_value.raw, c.raw64) << c.reason;
    }
}

TEST(KivModuleRC, MissingAttributeAndNullArguments) {
    CKivXMLDOMDocObj doc;
    IXMLDOMNode* item = doc.CreateDOMNode(doc.GetRootNode(), L"Item", 1);
    ASSERT_NE(item, nullptr);
    Held read(SKivXMLDataType::kDword);
    read.value.m_value.dwValue = 77;
    EXPECT_FALSE(doc.GetNodeAttribute(item, L"absent", read.value));
    EXPECT_EQ(read.value.m_nType, SKivXMLDataType::kDword);
    EXPECT_EQ(read.value.m_value.raw, 0u);
    EXPECT_FALSE(doc.GetNodeAttribute(nullptr, L"v", read.value));
    EXPECT_FALSE(doc.GetNodeAttribute(item, nullptr, read.value));
    EXPECT_FALSE(doc.SetNodeAttribute(nullptr, L"v", Number(SKivXMLDataType::kDword, 1)));
    EXPECT_FALSE(doc.SetNodeAttribute(item, nullptr, Number(SKivXMLDataType::kDword, 1)));
    EXPECT_EQ(doc.CreateDOMNode(nullptr, L"Item", 1), nullptr);
    EXPECT_EQ(doc.CreateDOMNodeWithAttribute(nullptr, L"Item", L"v", Number(SKivXMLDataType::kWord, 1), 1),
              nullptr);
    EXPECT_EQ(doc.GetFirstNameMatchChildNode(nullptr, L"Item"), nullptr);
    EXPECT_EQ(doc.GetFirstNameMatchChildNode(doc.GetRootNode(), nullptr), nullptr);
    EXPECT_EQ(doc.GetNextNameMatchSiblingNode(nullptr, L"Item"), nullptr);
    EXPECT_EQ(doc.GetNextNameMatchSiblingNode(item, nullptr), nullptr);
}

TEST(KivModuleRC, GetReleasesWhatTheHolderHeld) {
    CKivXMLDOMDocObj doc;
    IXMLDOMNode* item = doc.CreateDOMNode(doc.GetRootNode(), L"Item", 1);
    ASSERT_TRUE(doc.SetNodeAttribute(item, L"a", Text(L"first")));
    ASSERT_TRUE(doc.SetNodeAttribute(item, L"b", Text(L"second")));
    Held read(SKivXMLDataType::kText);
    // Each get hands over a new string and releases the one before; a leak shows under AddressSanitizer.
    ASSERT_TRUE(doc.GetNodeAttribute(item, L"a", read.value));
    EXPECT_EQ(std::wstring(read.value.m_value.pText), L"first");
    ASSERT_TRUE(doc.GetNodeAttribute(item, L"b", read.value));
    EXPECT_EQ(std::wstring(read.value.m_value.pText), L"second");
    EXPECT_FALSE(doc.GetNodeAttribute(item, L"c", read.value));
    EXPECT_EQ(read.value.m_value.pText, nullptr);
    EXPECT_EQ(read.value.m_nType, SKivXMLDataType::kText);
}

TEST(KivModuleRC, SetReplacesAndRefusesUnknownTypes) {
    CKivXMLDOMDocObj doc;
    IXMLDOMNode* item = doc.CreateDOMNode(doc.GetRootNode(), L"Item", 1);
    ASSERT_TRUE(doc.SetNodeAttribute(item, L"v", Number(SKivXMLDataType::kDword, 1)));
    ASSERT_TRUE(doc.SetNodeAttribute(item, L"v", Number(SKivXMLDataType::kDword, 2)));
    EXPECT_NE(doc.SaveToText().ToUtf8().find("<Item v=\"2\""), std::string::npos)
        << "one attribute, replaced";

    const struct {
        int type;
        const char* reason;
    } refused[] = {
        {SKivXMLDataType::kNone, "no type"}, {1, "a code the library does not know"}, {99, "far off"}};
    for (const auto& c : refused) {
        SKivXMLDataType v;
        v.m_nType = c.type;
        EXPECT_FALSE(doc.SetNodeAttribute(item, L"w", v)) << c.reason;
    }
    // A block whose base64 text alone would pass the document limit (the block's bytes are never touched).
    SKivXMLDataType hugeBlock;
    hugeBlock.m_nType = SKivXMLDataType::kByteBlock;
    hugeBlock.m_value.hBlock = GlobalAlloc(GMEM_FIXED, size_t{200} << 20);
    hugeBlock.dwExtra = DWORD{200} << 20;
    if (hugeBlock.m_value.hBlock) {
        EXPECT_FALSE(doc.SetNodeAttribute(item, L"w", hugeBlock)) << "too large a block";
    }
    hugeBlock.Clear();
    SKivXMLDataType lostBlock;
    lostBlock.m_nType = SKivXMLDataType::kByteBlock;
    lostBlock.dwExtra = 4;
    EXPECT_FALSE(doc.SetNodeAttribute(item, L"w", lostBlock)) << "a length without a block";
    EXPECT_EQ(doc.SaveToText().ToUtf8().find("w="), std::string::npos) << "nothing written";
}

TEST(KivModuleRC, FlagOrdersChildren) {
    CKivXMLDOMDocObj doc;
    IXMLDOMNode* root = doc.GetRootNode();
    ASSERT_NE(root, nullptr);
    ASSERT_NE(doc.CreateDOMNode(root, L"B", 1), nullptr);
    ASSERT_NE(doc.CreateDOMNode(root, L"C", 1), nullptr);  // after B
    ASSERT_NE(doc.CreateDOMNode(root, L"A", 0), nullptr);  // before B
    ASSERT_NE(doc.CreateDOMNodeWithAttribute(root, L"Z", L"v", Number(SKivXMLDataType::kWord, 5), 0),
              nullptr);
    ASSERT_NE(doc.CreateDOMNodeWithAttribute(root, L"D", L"v", Number(SKivXMLDataType::kWord, 6), 1),
              nullptr);
    const std::string text = doc.SaveToText().ToUtf8();
    const size_t z = text.find("<Z v=\"5\""), a = text.find("<A"), b = text.find("<B"), c = text.find("<C"),
                 d = text.find("<D v=\"6\"");
    ASSERT_NE(z, std::string::npos);
    ASSERT_NE(d, std::string::npos);
    EXPECT_LT(z, a);
    EXPECT_LT(a, b);
    EXPECT_LT(b, c);
    EXPECT_LT(c, d);
}

TEST(KivModuleRC, NameMatchIteration) {
    CKivXMLDOMDocObj doc;
    IXMLDOMNode* root = doc.GetRootNode();
    const wchar_t* names[] = {L"Other", L"Rec", L"Other", L"Rec", L"Rec", L"rec"};
    for (DWORD i = 0; i < 6; ++i)
        ASSERT_NE(doc.CreateDOMNodeWithAttribute(root, names[i], L"n", Number(SKivXMLDataType::kDword, i), 1),
                  nullptr);
    // A grandchild of the same name is not a sibling.
    IXMLDOMNode* other = doc.GetFirstNameMatchChildNode(root, L"Other");
    ASSERT_NE(doc.CreateDOMNode(other, L"Rec", 1), nullptr);

    std::vector<DWORD> seen;
    for (IXMLDOMNode* n = doc.GetFirstNameMatchChildNode(root, L"Rec"); n;
         n = doc.GetNextNameMatchSiblingNode(n, L"Rec")) {
        Held read(SKivXMLDataType::kDword);
        ASSERT_TRUE(doc.GetNodeAttribute(n, L"n", read.value));
        seen.push_back(read.value.m_value.dwValue);
    }
    EXPECT_EQ(seen, (std::vector<DWORD>{1, 3, 4})) << "names match exactly, case included";
    EXPECT_EQ(doc.GetFirstNameMatchChildNode(root, L"Missing"), nullptr);
    EXPECT_EQ(doc.GetFirstNameMatchChildNode(root, L""), nullptr);
    IXMLDOMNode* lastRec = doc.GetFirstNameMatchChildNode(root, L"rec");
    EXPECT_EQ(doc.GetNextNameMatchSiblingNode(lastRec, L"rec"), nullptr);
}

TEST(KivModuleRC, InvalidNames) {
    const struct {
        LPCWSTR name;
        const char* reason;
    } invalid[] = {
        {L"", "empty"},
        {L"1abc", "digit first"},
        {L"-abc", "hyphen first"},
        {L".abc", "dot first"},
        {L"a b", "blank inside"},
        {L"a<b", "markup character"},
        {L"a&b", "ampersand"},
        {L"a\"b", "quote"},
        {L"a/b", "slash"},
        {L"a=b", "equals"},
        {L"\u00d7x", "multiplication sign is no letter"},
    };
    CKivXMLDOMDocObj doc;
    IXMLDOMNode* root = doc.GetRootNode();
    const CString before = doc.SaveToText();
    for (const auto& c : invalid) {
        EXPECT_EQ(doc.CreateDOMNode(root, c.name, 1), nullptr) << c.reason;
        EXPECT_EQ(doc.CreateDOMNodeWithAttribute(root, c.name, L"v", Number(SKivXMLDataType::kWord, 1), 1),
                  nullptr)
            << c.reason;
        EXPECT_EQ(doc.CreateDOMNodeWithAttribute(root, L"Item", c.name, Number(SKivXMLDataType::kWord, 1), 1),
                  nullptr)
            << c.reason << " (attribute)";
        EXPECT_FALSE(doc.SetNodeAttribute(root, c.name, Number(SKivXMLDataType::kWord, 1))) << c.reason;
    }
    EXPECT_EQ(doc.CreateDOMNode(root, nullptr, 1), nullptr);
    EXPECT_TRUE(doc.SaveToText() == before) << "nothing was left behind";

    const LPCWSTR valid[] = {L"a", L"_a", L"a-b.c_d:e9", L":x", L"\u00e9l\u00e9ment", L"\u65e5\u672c"};
    for (const LPCWSTR name : valid)
        EXPECT_NE(doc.CreateDOMNode(root, name, 1), nullptr) << CString(name).ToUtf8();
}

TEST(KivModuleRC, AttributeThatCannotBeSetRemovesTheElement) {
    CKivXMLDOMDocObj doc;
    const CString before = doc.SaveToText();
    SKivXMLDataType unknown;
    unknown.m_nType = 42;
    EXPECT_EQ(doc.CreateDOMNodeWithAttribute(doc.GetRootNode(), L"Item", L"v", unknown, 1), nullptr);
    EXPECT_TRUE(doc.SaveToText() == before);
}

TEST(KivModuleRC, NodesOfAnotherDocumentAreRefused) {
    CKivXMLDOMDocObj first, second;
    IXMLDOMNode* foreign = first.CreateDOMNode(first.GetRootNode(), L"Item", 1);
    ASSERT_NE(foreign, nullptr);
    EXPECT_EQ(second.CreateDOMNode(foreign, L"Child", 1), nullptr);
    EXPECT_FALSE(second.SetNodeAttribute(foreign, L"v", Number(SKivXMLDataType::kWord, 1)));
    EXPECT_EQ(second.GetFirstNameMatchChildNode(first.GetRootNode(), L"Item"), nullptr);
}

TEST(KivModuleRC, RootAndStoringFlag) {
    CKivXMLDOMDocObj plain;
    EXPECT_TRUE(plain.IsStoring());
    EXPECT_NE(plain.GetRootNode(), nullptr);
    EXPECT_NE(plain.SaveToText().ToUtf8().find("<KivDocument"), std::string::npos);
    plain.SetStoring(FALSE);
    EXPECT_FALSE(plain.IsStoring());
    plain.SetStoring(TRUE);
    EXPECT_TRUE(plain.IsStoring());

    CKivXMLDOMDocObj named(L"Clips");
    EXPECT_NE(named.SaveToText().ToUtf8().find("<Clips"), std::string::npos);
    CKivXMLDOMDocObj badName(L"1 bad");
    EXPECT_NE(badName.SaveToText().ToUtf8().find("<KivDocument"), std::string::npos)
        << "falls back to the default";
}

TEST(KivModuleRC, LoadFromTextSucceeds) {
    CKivXMLDOMDocObj doc(L"Mine");
    ASSERT_TRUE(doc.LoadFromText(
        L"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<!-- host -->\n<Theirs><Item v=\"3\"/></Theirs>"));
    EXPECT_FALSE(doc.IsStoring());
    const std::string text = doc.SaveToText().ToUtf8();
    EXPECT_NE(text.find("<Theirs"), std::string::npos) << "the root is the loaded document element";
    EXPECT_EQ(text.find("<Mine"), std::string::npos);
    Held read(SKivXMLDataType::kWord);
    EXPECT_TRUE(
        doc.GetNodeAttribute(doc.GetFirstNameMatchChildNode(doc.GetRootNode(), L"Item"), L"v", read.value));
    EXPECT_EQ(read.value.m_value.wValue, 3);
}

TEST(KivModuleRC, LoadFromTextFailures) {
    const struct {
        std::wstring text;
        const char* reason;
    } cases[] = {
        {L"", "empty"},
        {L"   \n", "only blanks"},
        {L"not xml", "plain text"},
        {L"<a>", "unclosed element"},
        {L"<a></b>", "mismatched tags"},
        {L"<a v=\"1></a>", "unclosed attribute"},
        {L"<a/><b/>", "two document elements"},
        {L"<a/>\n<b/>", "two document elements apart"},
        {L"<?xml version=\"1.0\"?>", "declaration only"},
        {L"<!-- just a comment -->", "comment only"},
        {std::wstring(L"<a/>\0<b>", 8), "a NUL inside"},
    };
    for (const auto& c : cases) {
        CKivXMLDOMDocObj doc(L"Fresh");
        ASSERT_NE(doc.CreateDOMNode(doc.GetRootNode(), L"Old", 1), nullptr);
        doc.SetStoring(FALSE);
        EXPECT_FALSE(doc.LoadFromText(CString(c.text))) << c.reason;
        EXPECT_TRUE(doc.IsStoring()) << c.reason;
        ASSERT_NE(doc.GetRootNode(), nullptr) << c.reason;
        const std::string text = doc.SaveToText().ToUtf8();
        EXPECT_NE(text.find("<Fresh"), std::string::npos) << c.reason;
        EXPECT_EQ(text.find("<Old"), std::string::npos) << c.reason << ": the document is empty";
    }
}

TEST(KivModuleRC, DeepNestingIsNoProblem) {
    // Host documents are hostile: a deeply nested one must not exhaust the stack on load, save or
    // destruction.
    constexpr int kDepth = 200000;
    std::wstring text;
    for (int i = 0; i < kDepth; ++i) text += L"<a>";
    for (int i = 0; i < kDepth; ++i) text += L"</a>";
    CKivXMLDOMDocObj doc;
    ASSERT_TRUE(doc.LoadFromText(CString(text)));
    EXPECT_FALSE(doc.SaveToText().IsEmpty());
    EXPECT_FALSE(doc.LoadFromText(CString(text.substr(0, text.size() - 4))));
}

TEST(KivModuleRC, FileRoundTrip) {
    ScratchFolder folder;
    const CString path = Wide(folder.File("doc \u00e9.xml"));
    {
        CKivXMLDOMDocObj doc(L"Clips");
        IXMLDOMNode* rec = doc.CreateDOMNodeWithAttribute(doc.GetRootNode(), L"CKivClipMediaObj", L"Version",
                                                          Number(SKivXMLDataType::kVersion, 0), 1);
        ASSERT_NE(rec, nullptr);
        ASSERT_TRUE(doc.SetNodeAttribute(rec, L"MediaFile", Text(L"/pictures/\u00e9t\u00e9 <1>.bmp")));
        ASSERT_TRUE(doc.SetNodeAttribute(rec, L"FileSizeLow", Number(SKivXMLDataType::kDword, 0xFFFFFFFF)));
        ASSERT_TRUE(doc.SaveToFile(path));
    }
    const Bytes bytes = ReadFileBytes(folder.File("doc \u00e9.xml"));
    const std::string declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
    ASSERT_GE(bytes.size(), declaration.size());
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(declaration.size())),
              declaration);
    EXPECT_NE(std::string(bytes.begin(), bytes.end()).find("\xc3\xa9t\xc3\xa9"), std::string::npos)
        << "UTF-8";

    CKivXMLDOMDocObj doc;
    ASSERT_TRUE(doc.LoadFromFile(path));
    EXPECT_FALSE(doc.IsStoring());
    IXMLDOMNode* rec = doc.GetFirstNameMatchChildNode(doc.GetRootNode(), L"CKivClipMediaObj");
    ASSERT_NE(rec, nullptr);
    Held text(SKivXMLDataType::kText), size(SKivXMLDataType::kDword), version(SKivXMLDataType::kVersion);
    ASSERT_TRUE(doc.GetNodeAttribute(rec, L"MediaFile", text.value));
    EXPECT_EQ(std::wstring(text.value.m_value.pText), L"/pictures/\u00e9t\u00e9 <1>.bmp");
    ASSERT_TRUE(doc.GetNodeAttribute(rec, L"FileSizeLow", size.value));
    EXPECT_EQ(size.value.m_value.dwValue, 0xFFFFFFFFu);
    ASSERT_TRUE(doc.GetNodeAttribute(rec, L"Version", version.value));
    EXPECT_EQ(version.value.m_value.wValue, 0);
}

TEST(KivModuleRC, LoadsUtf16FileWithByteOrderMark) {
    ScratchFolder folder;
    Bytes bytes = {0xFF, 0xFE};
    for (const char c : std::string("<R v=\"42\"/>")) {
        bytes.push_back(static_cast<std::uint8_t>(c));
        bytes.push_back(0);
    }
    CKivXMLDOMDocObj doc;
    ASSERT_TRUE(doc.LoadFromFile(folder.Write("utf16.xml", bytes)));
    Held read(SKivXMLDataType::kLong);
    ASSERT_TRUE(doc.GetNodeAttribute(doc.GetRootNode(), L"v", read.value));
    EXPECT_EQ(read.value.m_value.lValue, 42);
}

TEST(KivModuleRC, FileFailures) {
    ScratchFolder folder;
    WriteFileBytes(folder.File("malformed.xml"), Bytes{'<', 'a', '>', '<', '/', 'b', '>'});
    WriteFileBytes(folder.File("empty.xml"), Bytes{});
    std::filesystem::create_directory(folder.File("dir"));
    // Larger than any document may be; sparse, so it costs no disk.
    WriteFileBytes(folder.File("huge.xml"), Bytes{'<'});
    std::filesystem::resize_file(folder.File("huge.xml"), (std::uintmax_t{256} << 20) + 1);
    const struct {
        CString path;
        const char* reason;
    } cases[] = {
        {Wide(folder.File("malformed.xml")), "not well-formed"},
        {Wide(folder.File("empty.xml")), "empty file"},
        {Wide(folder.File("missing.xml")), "no such file"},
        {Wide(folder.File("dir")), "a folder"},
        {Wide(folder.File("huge.xml")), "larger than a document may be"},
        {CString(), "empty path"},
    };
    for (const auto& c : cases) {
        CKivXMLDOMDocObj doc(L"Fresh");
        ASSERT_NE(doc.CreateDOMNode(doc.GetRootNode(), L"Old", 1), nullptr);
        EXPECT_FALSE(doc.LoadFromFile(c.path)) << c.reason;
        EXPECT_TRUE(doc.IsStoring()) << c.reason;
        const std::string text = doc.SaveToText().ToUtf8();
        EXPECT_NE(text.find("<Fresh"), std::string::npos) << c.reason;
        EXPECT_EQ(text.find("<Old"), std::string::npos) << c.reason;
    }

    CKivXMLDOMDocObj doc;
    EXPECT_FALSE(doc.SaveToFile(CString())) << "empty path";
    EXPECT_FALSE(doc.SaveToFile(Wide(folder.File("dir")))) << "a folder is never replaced";
    EXPECT_FALSE(doc.SaveToFile(Wide(folder.File("no-such-folder/doc.xml")))) << "missing folder";
    EXPECT_TRUE(std::filesystem::is_directory(folder.File("dir")));
}

TEST(KivModuleRC, VersionConvert) {
    const struct {
        int version, current;
        int expectedReturn;
        const char* reason;
    } cases[] = {
        {0, 0, 1, "the current version"},
        {1, 0, 0, "a newer version than the loader knows"},
        {-1, 0, 0, "negative"},
        {0, 3, 1, "an older version"},
        {3, 3, 1, "the current of several"},
        {4, 3, 0, "newer"},
        {INT_MIN, INT_MAX, 0, "extreme negative"},
        {INT_MAX, INT_MAX, 1, "extreme current"},
    };
    for (const auto& c : cases) {
        int result = -12345;
        EXPECT_EQ(KivVersionConvert(c.version, c.current, result, L"CKivClipMediaObj"), c.expectedReturn)
            << c.reason;
        EXPECT_EQ(result, c.version) << c.reason << ": the version is read as it is";
    }
}

}  // namespace
