// The archive: the byte form of numbers, counts, strings and object graphs, and the refusal of hostile bytes.

#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CoreTestSupport.h"
#include "TestFiles.h"
#include "platform/Archive.h"

namespace {

// A leaf with one number.
class TestLeaf : public CObject {
    DECLARE_SERIAL(TestLeaf)
  public:
    LONG value = 0;
    void Serialize(CArchive& ar) override {
        if (ar.IsStoring())
            ar << value;
        else
            ar >> value;
    }
};
IMPLEMENT_SERIAL(TestLeaf, CObject, 1)

// A node that owns its children and points at one object someone else owns.
class TestNode : public CObject {
    DECLARE_SERIAL(TestNode)
  public:
    std::vector<std::unique_ptr<CObject>> children;
    CObject* link = nullptr;
    void Serialize(CArchive& ar) override {
        if (ar.IsStoring()) {
            ar.WriteCount(children.size());
            for (const auto& child : children) ar.WriteObject(child.get());
            ar.WriteObject(link);
        } else {
            const ULONGLONG count = ar.ReadCount(2);
            for (ULONGLONG i = 0; i < count; ++i) children.push_back(ar.ReadOwnedObject(nullptr));
            link = ar.ReadObjectReference(nullptr);
        }
    }
};
IMPLEMENT_SERIAL(TestNode, CObject, 2)

// A class that has a run-time class but is never written.
class TestAbstract : public CObject {
    DECLARE_DYNAMIC(TestAbstract)
};
IMPLEMENT_DYNAMIC(TestAbstract, CObject)

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

Bytes Text(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

Bytes Repeat(size_t count, Bytes unit) {
    Bytes all;
    for (size_t i = 0; i < count; ++i) all.insert(all.end(), unit.begin(), unit.end());
    return all;
}

// ---- Numbers
// -------------------------------------------------------------------------------------------------

TEST(Archive, NumbersAreLittleEndianInTheirOwnWidth) {
    const Bytes bytes = Stored([](CArchive& ar) {
        ar << BYTE{0xAB} << WORD{0x1234} << std::int16_t{-2} << LONG{-2} << DWORD{0x01020304} << LONGLONG{-3}
           << ULONGLONG{0x0102030405060708} << 1.0f << 1.0;
    });
    const Bytes expected = {0xAB, 0x34, 0x12, 0xFE, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0x04, 0x03,
                            0x02, 0x01, 0xFD, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x08,
                            0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01, 0x00, 0x00, 0x80, 0x3F,
                            0,    0,    0,    0,    0,    0,    0xF0, 0x3F};
    EXPECT_EQ(bytes, expected);
}

template <class T>
void ExpectRoundTrip(std::initializer_list<T> values) {
    const Bytes bytes = Stored([&](CArchive& ar) {
        for (T v : values) ar << v;
    });
    ASSERT_EQ(bytes.size(), values.size() * sizeof(T));
    Loader in(bytes);
    for (T v : values) {
        T read{};
        in.ar >> read;
        if constexpr (std::is_floating_point_v<T>) {
            if (std::isnan(v)) {
                EXPECT_TRUE(std::isnan(read));
                continue;
            }
        }
        EXPECT_EQ(read, v);
    }
    EXPECT_EQ(in.ar.GetRemainingBytes(), 0u);
}

TEST(Archive, EveryNumberTypeRoundTrips) {
    using L = std::numeric_limits<double>;
    ExpectRoundTrip<BYTE>({0, 1, 0x7F, 0x80, 0xFF});
    ExpectRoundTrip<WORD>({0, 1, 0x8000, 0xFFFF});
    ExpectRoundTrip<std::int16_t>({0, -1, INT16_MIN, INT16_MAX});
    ExpectRoundTrip<LONG>({0, -1, INT32_MIN, INT32_MAX});
    ExpectRoundTrip<DWORD>({0, 1, 0x80000000u, 0xFFFFFFFFu});
    ExpectRoundTrip<LONGLONG>({0, -1, INT64_MIN, INT64_MAX});
    ExpectRoundTrip<ULONGLONG>({0, 1, UINT64_MAX, 0x8000000000000000u});
    ExpectRoundTrip<float>({0.0f, -0.0f, 1.5f, std::numeric_limits<float>::infinity(),
                            std::numeric_limits<float>::denorm_min(),
                            std::numeric_limits<float>::quiet_NaN()});
    ExpectRoundTrip<double>({0.0, -1e300, L::max(), L::lowest(), -L::infinity(), L::quiet_NaN()});
}

TEST(Archive, NumbersCrossTheBufferThroughADiskFile) {
    ScratchFolder folder;
    const CString path = Wide(folder.File("numbers.bin"));
    constexpr DWORD kCount = 5000;  // 20000 bytes: several 4096-byte buffers, split inside a number
    {
        CFile file;
        ASSERT_TRUE(file.Open(path, CFile::modeCreate | CFile::modeWrite));
        CArchive ar(&file, CArchive::store);
        ar << BYTE{7};  // puts every later number across a buffer edge somewhere
        for (DWORD i = 0; i < kCount; ++i) ar << i * 2654435761u;
        ar.Close();
        file.Close();
    }
    CFile file;
    ASSERT_TRUE(file.Open(path, CFile::modeRead));
    CArchive ar(&file, CArchive::load);
    BYTE first = 0;
    ar >> first;
    EXPECT_EQ(first, 7);
    for (DWORD i = 0; i < kCount; ++i) {
        DWORD v = 0;
        ar >> v;
        ASSERT_EQ(v, i * 2654435761u) << i;
    }
    EXPECT_EQ(ar.GetRemainingBytes(), 0u);
    BYTE beyond = 0;
    EXPECT_THROW(ar >> beyond, CArchiveException);
}

TEST(Archive, RawBlocksLargerThanTheBufferRoundTrip) {
    Bytes block(10000);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<BYTE>(i * 7);
    const Bytes bytes = Stored([&](CArchive& ar) {
        ar << BYTE{1};
        ar.Write(block.data(), static_cast<UINT>(block.size()));
        ar << BYTE{2};
    });
    ASSERT_EQ(bytes.size(), block.size() + 2);
    Loader in(bytes);
    BYTE a = 0, b = 0;
    Bytes read(block.size());
    in.ar >> a;
    EXPECT_EQ(in.ar.Read(read.data(), static_cast<UINT>(read.size())), read.size());
    in.ar >> b;
    EXPECT_EQ(a, 1);
    EXPECT_EQ(read, block);
    EXPECT_EQ(b, 2);
    EXPECT_EQ(in.ar.Read(read.data(), 10), 0u) << "a raw read at the end gives fewer bytes, no exception";
}

// ---- Counts
// ----------------------------------------------------------------------------------------------------

struct CountCase {
    ULONGLONG count;
    Bytes bytes;
    const char* reason;
};

const CountCase kCountCases[] = {
    {0, {0x00, 0x00}, "zero in 16 bits"},
    {0xFFFE, {0xFE, 0xFF}, "the largest 16-bit count"},
    {0xFFFF, {0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00}, "0xFFFF escapes to 32 bits"},
    {0x12345678, {0xFF, 0xFF, 0x78, 0x56, 0x34, 0x12}, "a 32-bit count"},
    {0xFFFFFFFE, {0xFF, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF}, "the largest 32-bit count"},
    {0xFFFFFFFF,
     {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0},
     "escapes to 64 bits"},
    {0x0102030405060708, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 8, 7, 6, 5, 4, 3, 2, 1}, "a 64-bit count"},
};

TEST(Archive, CountsTakeTheShortestEscapedForm) {
    for (const CountCase& c : kCountCases) {
        EXPECT_EQ(Stored([&](CArchive& ar) { ar.WriteCount(c.count); }), c.bytes) << c.reason;
        // Reading back: only the bytes of the count are there, so the check on the items is switched off.
        Loader in(c.bytes);
        EXPECT_EQ(in.ar.ReadCount(0), c.count) << c.reason;
    }
}

TEST(Archive, ReadCountRefusesMoreItemsThanTheBytesLeft) {
    {
        Loader in(Concat({{0x03, 0x00}, Bytes(6)}));
        EXPECT_EQ(in.ar.ReadCount(2), 3u) << "three items of two bytes fit exactly";
    }
    for (const CountCase& c : kCountCases) {
        if (c.count == 0) continue;
        Loader in(c.bytes);
        try {
            in.ar.ReadCount();
            ADD_FAILURE() << c.reason;
        } catch (const CArchiveException& e) {
            EXPECT_EQ(e.m_cause, CArchiveException::endOfFile) << c.reason;
        }
    }
}

// ---- Strings
// ---------------------------------------------------------------------------------------------------

const Bytes kWide = {0xFF, 0xFE, 0xFF};

struct StringCase {
    std::wstring text;
    Bytes bytes;  // the length prefix and, when short, the characters
    bool prefixOnly;
    const char* reason;
};

const StringCase kStringCases[] = {
    {L"", Concat({kWide, {0x00}}), false, "empty: marker and length 0"},
    {L"Ab", Concat({kWide, {0x02, 'A', 0, 'b', 0}}), false, "two characters in UTF-16LE"},
    {L"\u00E9\u4E2D", Concat({kWide, {0x02, 0xE9, 0x00, 0x2D, 0x4E}}), false, "non-ASCII characters"},
    {L"\U0001F600", Concat({kWide, {0x02, 0x3D, 0xD8, 0x00, 0xDE}}), false,
     "outside the BMP: a surrogate pair"},
    {std::wstring(254, L'x'), Concat({kWide, {0xFE}}), true, "254: the last one-byte length"},
    {std::wstring(255, L'x'), Concat({kWide, {0xFF, 0xFF, 0x00}}), true, "255 escapes to 16 bits"},
    {std::wstring(0xFFFD, L'x'), Concat({kWide, {0xFF, 0xFD, 0xFF}}), true, "the last 16-bit length"},
    {std::wstring(0xFFFE, L'x'), Concat({kWide, {0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}}), true,
     "0xFFFE escapes to 32 bits"},
};

TEST(Archive, StringsTakeTheWideFormWithEscapedLengths) {
    for (const StringCase& c : kStringCases) {
        const Bytes bytes = Stored([&](CArchive& ar) { ar << CString(c.text); });
        if (c.prefixOnly) {
            ASSERT_GE(bytes.size(), c.bytes.size()) << c.reason;
            EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + c.bytes.size()), c.bytes) << c.reason;
            EXPECT_EQ(bytes.size(), c.bytes.size() + 2 * c.text.size()) << c.reason;
        } else {
            EXPECT_EQ(bytes, c.bytes) << c.reason;
        }
        Loader in(bytes);
        CString read;
        in.ar >> read;
        EXPECT_EQ(read.Text(), c.text) << c.reason;
        EXPECT_EQ(in.ar.GetRemainingBytes(), 0u) << c.reason;
    }
}

TEST(Archive, CharactersUtf16CannotCarryAreReplaced) {
    const std::wstring text{L'a', static_cast<wchar_t>(0xD800), static_cast<wchar_t>(0x110000)};
    const Bytes bytes = Stored([&](CArchive& ar) { ar << CString(text); });
    EXPECT_EQ(bytes, Concat({kWide, {0x03, 'a', 0, 0xFD, 0xFF, 0xFD, 0xFF}}));
    Loader lone(Concat({kWide, {0x02, 0x00, 0xDC, 'z', 0}}));
    CString read;
    lone.ar >> read;
    EXPECT_EQ(read.Text(), L"\uFFFDz") << "a low surrogate alone";
}

struct NarrowCase {
    Bytes bytes;
    std::wstring text;
    const char* reason;
};

const NarrowCase kNarrowCases[] = {
    {{0x00}, L"", "empty, one byte a character"},
    {{0x03, 'a', 'b', 'c'}, L"abc", "a short narrow string"},
    {{0x02, 0xE9, 0xFF}, L"\u00E9\u00FF", "bytes above 0x7F are Latin-1"},
    {Concat({{0xFF, 0x00, 0x01}, Bytes(256, 'q')}), std::wstring(256, L'q'), "a 16-bit narrow length"},
    {Concat({{0xFF, 0xFF, 0xFF, 0x02, 0x00, 0x00, 0x00}, Text("hi")}), L"hi", "a 32-bit narrow length"},
    {Concat({kWide, {0xFF, 0xFF, 0xFF, 1, 0, 0, 0, 'k', 0}}), L"k", "a wide 32-bit length"},
    {Concat({kWide, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 1, 0, 0, 0, 0, 0, 0, 0, 'k', 0}}), L"k",
     "a wide 64-bit length"},
};

TEST(Archive, NarrowAndLongFormsAreRead) {
    for (const NarrowCase& c : kNarrowCases) {
        Loader in(c.bytes);
        CString read;
        in.ar >> read;
        EXPECT_EQ(read.Text(), c.text) << c.reason;
        EXPECT_EQ(in.ar.GetRemainingBytes(), 0u) << c.reason;
    }
}

// ---- Objects
// ---------------------------------------------------------------------------------------------------

TEST(Archive, ObjectsTakeClassTagsThenIndexes) {
    TestLeaf first, second;
    first.value = 5;
    second.value = 6;
    const Bytes bytes =
        Stored([&](CArchive& ar) { ar << &first << &second << &first << static_cast<CObject*>(nullptr); });
    const Bytes expected = Concat({
        {0xFF, 0xFF, 0x01, 0x00, 0x08, 0x00},  // new class, schema 1, name of 8 bytes
        Text("TestLeaf"),                      // the class takes index 1
        {0x05, 0x00, 0x00, 0x00},              // first's data; first is index 2
        {0x01, 0x80, 0x06, 0x00, 0x00, 0x00},  // class index 1, second's data; second is index 3
        {0x02, 0x00},                          // first again: its index
        {0x00, 0x00},                          // null
    });
    EXPECT_EQ(bytes, expected);

    Loader in(bytes);
    CObject* a = nullptr;
    CObject* b = nullptr;
    CObject* c = nullptr;
    CObject* d = reinterpret_cast<CObject*>(1);
    in.ar >> a >> b >> c >> d;
    const std::unique_ptr<CObject> ownA(a), ownB(b);
    ASSERT_TRUE(a && a->IsKindOf(RUNTIME_CLASS(TestLeaf)));
    ASSERT_TRUE(b && b->IsKindOf(RUNTIME_CLASS(TestLeaf)));
    EXPECT_EQ(static_cast<TestLeaf*>(a)->value, 5);
    EXPECT_EQ(static_cast<TestLeaf*>(b)->value, 6);
    EXPECT_EQ(c, a) << "a repeated object is the same object";
    EXPECT_EQ(d, nullptr);
}

TEST(Archive, AGraphOfTwoClassesWithSharedObjectsRoundTrips) {
    auto root = std::make_unique<TestNode>();
    auto inner = std::make_unique<TestNode>();
    for (int i = 0; i < 3; ++i) {
        auto leaf = std::make_unique<TestLeaf>();
        leaf->value = 100 + i;
        (i == 2 ? inner->children : root->children).push_back(std::move(leaf));
    }
    inner->link = root->children[0].get();  // shared: owned by root, pointed at by inner
    root->link = root.get();                // a reference back to the object being written
    root->children.push_back(std::move(inner));

    const Bytes bytes = Stored([&](CArchive& ar) { ar.WriteObject(root.get()); });
    Loader in(bytes);
    const std::unique_ptr<TestNode> read = in.ar.ReadOwned<TestNode>();
    ASSERT_TRUE(read);
    ASSERT_EQ(read->children.size(), 3u);
    EXPECT_EQ(read->link, read.get());
    EXPECT_EQ(static_cast<TestLeaf*>(read->children[0].get())->value, 100);
    EXPECT_EQ(static_cast<TestLeaf*>(read->children[1].get())->value, 101);
    auto* readInner = dynamic_cast<TestNode*>(read->children[2].get());
    ASSERT_TRUE(readInner);
    ASSERT_EQ(readInner->children.size(), 1u);
    EXPECT_EQ(static_cast<TestLeaf*>(readInner->children[0].get())->value, 102);
    EXPECT_EQ(readInner->link, read->children[0].get());
    EXPECT_EQ(in.ar.GetRemainingBytes(), 0u);
    EXPECT_EQ(Stored([&](CArchive& ar) { ar.WriteObject(read.get()); }), bytes)
        << "writes back the same bytes";
}

TEST(Archive, IndexesFrom0x7FFFTakeTheLongTag) {
    std::vector<TestLeaf> leaves(0x8000);
    const Bytes bytes = Stored([&](CArchive& ar) {
        for (const TestLeaf& leaf : leaves) ar << &leaf;
        ar << &leaves[0x7FFC] << &leaves[0x7FFD];  // indexes 0x7FFE and 0x7FFF
    });
    const Bytes tail = {0xFE, 0x7F, 0xFF, 0x7F, 0xFF, 0x7F, 0x00, 0x00};
    ASSERT_GT(bytes.size(), tail.size());
    EXPECT_EQ(Bytes(bytes.end() - static_cast<long>(tail.size()), bytes.end()), tail);
    Loader in(bytes);
    std::vector<std::unique_ptr<CObject>> read;
    for (size_t i = 0; i < leaves.size(); ++i) read.push_back(in.ar.ReadOwnedObject(RUNTIME_CLASS(TestLeaf)));
    EXPECT_EQ(in.ar.ReadObjectReference(nullptr), read[0x7FFC].get());
    EXPECT_EQ(in.ar.ReadObjectReference(nullptr), read[0x7FFD].get());
}

TEST(Archive, ALongClassIndexIsRead) {
    // A class tag in the long form: 0x7FFF, then index 1 with bit 0x80000000.
    Loader in(Concat({{0xFF, 0xFF, 0x01, 0x00, 0x08, 0x00},
                      Text("TestLeaf"),
                      {1, 0, 0, 0},
                      {0xFF, 0x7F, 0x01, 0x00, 0x00, 0x80},
                      {2, 0, 0, 0}}));
    const auto a = in.ar.ReadOwned<TestLeaf>();
    const auto b = in.ar.ReadOwned<TestLeaf>();
    ASSERT_TRUE(a && b);
    EXPECT_EQ(b->value, 2);
}

TEST(Archive, ClassesThatCannotBeCreatedAreNotWritten) {
    TestAbstract abstract;
    CMemFile file;
    CArchive ar(&file, CArchive::store);
    try {
        ar << &abstract;
        FAIL();
    } catch (const CArchiveException& e) {
        EXPECT_EQ(e.m_cause, CArchiveException::badClass);
    }
}

// ---- Hostile bytes
// ---------------------------------------------------------------------------------------------

enum class Reading { object, owned, reference, node, anyThenNode, count, string };

struct HostileCase {
    Bytes bytes;
    Reading reading;
    CArchiveException::Cause cause;
    const char* reason;
};

const Bytes kLeafClass = Concat({{0xFF, 0xFF, 0x01, 0x00, 0x08, 0x00}, Text("TestLeaf")});
const Bytes kLeaf = Concat({kLeafClass, {9, 0, 0, 0}});  // class index 1, object index 2

Bytes Nested(int depth) {
    Bytes bytes = Concat({{0xFF, 0xFF, 0x02, 0x00, 0x08, 0x00}, Text("TestNode"), {0x01, 0x00}});
    for (int i = 1; i < depth; ++i) bytes.insert(bytes.end(), {0x01, 0x80, 0x01, 0x00});
    return Concat({bytes, {0x00, 0x00}, Repeat(static_cast<size_t>(depth), {0x00, 0x00})});
}

const HostileCase kHostileCases[] = {
    {{}, Reading::object, CArchiveException::endOfFile, "no bytes"},
    {{0xFF}, Reading::object, CArchiveException::endOfFile, "half a tag"},
    {Concat({{0xFF, 0xFF, 0x01, 0x00, 0x08, 0x00}, Text("TestLe")}), Reading::object,
     CArchiveException::endOfFile, "a class name cut short"},
    {Concat({{0xFF, 0xFF, 0x01, 0x00, 0x40, 0x00}, Bytes(64, 'A')}), Reading::object,
     CArchiveException::badClass, "a class name longer than any class's"},
    {{0xFF, 0xFF, 0x01, 0x00, 0xFF, 0xFF},
     Reading::object,
     CArchiveException::badClass,
     "a class name length of 65535"},
    {Concat({{0xFF, 0xFF, 0x01, 0x00, 0x07, 0x00}, Text("Unknown")}), Reading::object,
     CArchiveException::badClass, "a class nobody registered"},
    {Concat({{0xFF, 0xFF, 0xFF, 0xFF, 0x0C, 0x00}, Text("TestAbstract")}), Reading::object,
     CArchiveException::badClass, "a class that is not serial"},
    {Concat({{0xFF, 0xFF, 0x09, 0x00, 0x08, 0x00}, Text("TestLeaf")}), Reading::object,
     CArchiveException::badSchema, "a schema the class does not have"},
    {Concat({{0xFF, 0xFF, 0x01, 0x00, 0x08, 0x00}, Text("TestLeaf"), {9, 0}}), Reading::object,
     CArchiveException::endOfFile, "the object's data cut short"},
    {kLeaf, Reading::node, CArchiveException::badClass, "a leaf where a node is asked for"},
    {Concat({kLeaf, {0x02, 0x00}}), Reading::anyThenNode, CArchiveException::badClass,
     "a reference to a leaf where a node is asked for"},
    {{0x05, 0x80}, Reading::object, CArchiveException::badIndex, "a class index never given"},
    {{0x00, 0x80}, Reading::object, CArchiveException::badIndex, "class index 0"},
    {Concat({kLeaf, {0x02, 0x80}}), Reading::object, CArchiveException::badIndex,
     "a class index naming an object"},
    {{0x07, 0x00}, Reading::object, CArchiveException::badIndex, "an object index never given"},
    {Concat({kLeaf, {0x01, 0x00}}), Reading::object, CArchiveException::badIndex,
     "an object index naming a class"},
    {{0xFF, 0x7F, 0xFF, 0xFF, 0xFF, 0x7F}, Reading::object, CArchiveException::badIndex, "a huge long index"},
    {{0xFF, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF},
     Reading::object,
     CArchiveException::badIndex,
     "a huge long class index"},
    {Concat({kLeaf, {0x02, 0x00}}), Reading::owned, CArchiveException::badIndex,
     "an owner given an object owned already"},
    {kLeaf, Reading::reference, CArchiveException::badIndex, "a reference given a new object"},
    {Concat({{0xFF, 0xFF, 0x02, 0x00, 0x08, 0x00},
             Text("TestNode"),
             {0x02, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00}}),
     Reading::object, CArchiveException::badIndex, "a node owning itself"},
    {Concat({{0xFF, 0xFF, 0x02, 0x00, 0x08, 0x00},
             Text("TestNode"),
             {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
             Repeat(8, {0xFF})}),
     Reading::object, CArchiveException::endOfFile, "a node with a 64-bit child count"},
    {Nested(CArchive::kMaxLoadDepth + 1), Reading::object, CArchiveException::genericException,
     "objects nested too deep"},
    {{0xFF, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF}, Reading::count, CArchiveException::endOfFile, "a 32-bit count"},
    {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F},
     Reading::count,
     CArchiveException::endOfFile,
     "a 64-bit count"},
    {{0x05, 'a', 'b'}, Reading::string, CArchiveException::endOfFile, "a narrow string cut short"},
    {Concat({kWide, {0x02, 'a', 0, 'b'}}), Reading::string, CArchiveException::endOfFile,
     "a wide string cut inside a character"},
    {Concat({kWide, {0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0xFF, 0x7F}}), Reading::string,
     CArchiveException::endOfFile, "a wide 32-bit length"},
    {Concat({kWide, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, Repeat(8, {0xFF})}), Reading::string,
     CArchiveException::endOfFile, "a wide 64-bit length of all ones"},
    {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0x40},
     Reading::string,
     CArchiveException::endOfFile,
     "a narrow 64-bit length"},
    {{0xFF, 0xFE}, Reading::string, CArchiveException::endOfFile, "a marker cut short"},
};

void ReadAs(CArchive& ar, Reading reading) {
    switch (reading) {
        case Reading::object: {  // two objects, since some faults are in the second one's tag
            const std::unique_ptr<CObject> first(ar.ReadObject(nullptr));
            CObject* second = ar.ReadObject(nullptr);
            if (second != first.get()) delete second;
            break;
        }
        case Reading::owned:
            (void)ar.ReadOwnedObject(nullptr), (void)ar.ReadOwnedObject(nullptr);
            break;
        case Reading::reference:
            (void)ar.ReadObjectReference(nullptr);
            break;
        case Reading::node:
            (void)ar.ReadOwned<TestNode>();
            break;
        case Reading::anyThenNode: {
            const std::unique_ptr<CObject> first(ar.ReadObject(nullptr));
            (void)ar.ReadObject(RUNTIME_CLASS(TestNode));
            break;
        }
        case Reading::count:
            (void)ar.ReadCount();
            break;
        case Reading::string:
            (void)ar.ReadString();
            break;
    }
}

TEST(Archive, HostileBytesAreRefusedWithTheirCause) {
    for (const HostileCase& c : kHostileCases) {
        Loader in(c.bytes);
        try {
            ReadAs(in.ar, c.reading);
            ADD_FAILURE() << "accepted: " << c.reason;
        } catch (const CArchiveException& e) {
            EXPECT_EQ(e.m_cause, c.cause) << c.reason;
        }
    }
}

TEST(Archive, NestingUpToTheLimitLoads) {
    Loader in(Nested(CArchive::kMaxLoadDepth));
    EXPECT_TRUE(in.ar.ReadOwned<TestNode>());
}

TEST(Archive, AfterARefusalNoFurtherObjectLoads) {
    Loader in(Concat({{0x07, 0x00}, kLeaf}));
    EXPECT_THROW(in.ar.ReadObject(nullptr), CArchiveException);
    try {
        in.ar.ReadOwnedObject(nullptr);
        FAIL();
    } catch (const CArchiveException& e) {
        EXPECT_EQ(e.m_cause, CArchiveException::genericException);
    }
}

TEST(Archive, TheWrongDirectionIsRefused) {
    CMemFile file;
    CArchive storing(&file, CArchive::store);
    BYTE b = 0;
    try {
        storing >> b;
        FAIL();
    } catch (const CArchiveException& e) {
        EXPECT_EQ(e.m_cause, CArchiveException::writeOnly);
    }
    Loader in({1});
    try {
        in.ar << b;
        FAIL();
    } catch (const CArchiveException& e) {
        EXPECT_EQ(e.m_cause, CArchiveException::readOnly);
    }
}

TEST(Archive, StoringFailuresOfTheFileComeThrough) {
    ScratchFolder folder;
    const CString path = folder.Write("read-only-handle.bin", {});
    CFile file;
    ASSERT_TRUE(file.Open(path, CFile::modeRead));
    CArchive ar(&file, CArchive::store);
    ar << DWORD{1};
    EXPECT_THROW(ar.Close(), CFileException) << "the buffered bytes meet a file open for reading";
}

TEST(Archive, BytesNotClosedAreNotWritten) {
    CMemFile file;
    {
        CArchive ar(&file, CArchive::store);
        ar << DWORD{1};
    }
    EXPECT_EQ(file.GetLength(), 0u);
}

TEST(Archive, RegisteredClassesAreFoundByName) {
    EXPECT_EQ(CRuntimeClass::FromName("TestLeaf"), RUNTIME_CLASS(TestLeaf));
    EXPECT_EQ(CRuntimeClass::FromName("TestAbstract"), nullptr) << "only serial classes are registered";
    EXPECT_EQ(CRuntimeClass::FromName("testleaf"), nullptr) << "names are exact";
    EXPECT_TRUE(RUNTIME_CLASS(TestNode)->IsDerivedFrom(RUNTIME_CLASS(CObject)));
    EXPECT_FALSE(RUNTIME_CLASS(TestNode)->IsDerivedFrom(RUNTIME_CLASS(TestLeaf)));
}

}  // namespace
