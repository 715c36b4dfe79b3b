// The archive: the byte form of numbers, counts, strings and object graphs, and the refusal of hostile bytes.

#include <gtest/gtest.h>

#include <limits>
#include <memory>

#include "CoreTestSupport.h"

namespace {

// A leaf with one number.
class TestLeaf : public CObject {
    DECLARE_SERIAL(TestLeaf)
  public:
    LONG value = 0;
    void Serialize(CArchive& ar) override { ar.IsStoring() ? void(ar << value) : void(ar >> value); }
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
            return;
        }
        for (ULONGLONG i = 0, count = ar.ReadCount(2); i < count; ++i)
            children.push_back(ar.ReadOwnedObject(nullptr));
        link = ar.ReadObjectReference(nullptr);
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

template <class T>
T Next(CArchive& ar) {
    T value{};
    ar >> value;
    return value;
}

// The cause of the archive exception body throws; -1 when it throws none.
template <class Body>
int Cause(Body body) {
    try {
        body();
    } catch (const CArchiveException& e) {
        return e.m_cause;
    }
    return -1;
}

const Bytes kWide = {0xFF, 0xFE, 0xFF};
const Bytes kLeafClass = Concat({{0xFF, 0xFF, 0x01, 0x00, 0x08, 0x00}, Text("TestLeaf")});  // takes index 1
const Bytes kLeaf = Concat({kLeafClass, {9, 0, 0, 0}});                                     // object index 2
const Bytes kNodeClass = Concat({{0xFF, 0xFF, 0x02, 0x00, 0x08, 0x00}, Text("TestNode")});

// Nodes nested depth deep, each the only child of the one before.
Bytes Nested(int depth) {
    Bytes bytes = Concat({kNodeClass, {0x01, 0x00}});
    for (int i = 1; i < depth; ++i) bytes.insert(bytes.end(), {0x01, 0x80, 0x01, 0x00});
    bytes.insert(bytes.end(), {0x00, 0x00});
    return Concat({bytes, Bytes(2 * static_cast<size_t>(depth), 0)});
}

TEST(Archive, NumbersAreLittleEndianInTheirOwnWidth) {
    const double lowest = std::numeric_limits<double>::lowest();
    const Bytes expected = Concat({{0xAB, 0x34, 0x12, 0xFE, 0xFF, 0, 0, 0, 0x80, 0x04, 0x03, 0x02, 0x01},
                                   {0xFD, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 8, 7, 6, 5, 4, 3, 2, 1},
                                   {0, 0, 0x80, 0x3F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xEF, 0xFF}});
    EXPECT_EQ(Stored([&](CArchive& ar) {
                  ar << BYTE{0xAB} << WORD{0x1234} << std::int16_t{-2} << LONG{INT32_MIN} << DWORD{0x01020304}
                     << LONGLONG{-3} << ULONGLONG{0x0102030405060708} << 1.0f << lowest;
              }),
              expected);
    Loader in(expected);
    EXPECT_EQ(Next<BYTE>(in.ar), 0xAB);
    EXPECT_EQ(Next<WORD>(in.ar), 0x1234);
    EXPECT_EQ(Next<std::int16_t>(in.ar), -2) << "the sign kept in 16 bits";
    EXPECT_EQ(Next<LONG>(in.ar), INT32_MIN);
    EXPECT_EQ(Next<DWORD>(in.ar), 0x01020304u);
    EXPECT_EQ(Next<LONGLONG>(in.ar), -3);
    EXPECT_EQ(Next<ULONGLONG>(in.ar), 0x0102030405060708u);
    EXPECT_EQ(Next<float>(in.ar), 1.0f);
    EXPECT_EQ(Next<double>(in.ar), lowest);
    EXPECT_EQ(in.ar.GetRemainingBytes(), 0u);
}

// Through a disk file, numbers and a raw block cross the archive's 4096-byte buffer at every offset.
TEST(Archive, NumbersAndBlocksCrossTheBuffer) {
    ScratchFolder folder;
    const CString path = Wide(folder.File("numbers.bin"));
    Bytes block(10000);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<BYTE>(i * 7);
    CFile file;
    ASSERT_TRUE(file.Open(path, CFile::modeCreate | CFile::modeWrite));
    {
        CArchive ar(&file, CArchive::store);
        ar << BYTE{7};
        for (DWORD i = 0; i < 5000; ++i) ar << i * 2654435761u;
        ar.Write(block.data(), static_cast<UINT>(block.size()));
        ar.Close();
    }
    file.Close();
    ASSERT_TRUE(file.Open(path, CFile::modeRead));
    CArchive ar(&file, CArchive::load);
    EXPECT_EQ(Next<BYTE>(ar), 7);
    for (DWORD i = 0; i < 5000; ++i) ASSERT_EQ(Next<DWORD>(ar), i * 2654435761u) << i;
    Bytes read(block.size() + 10);
    EXPECT_EQ(ar.Read(read.data(), static_cast<UINT>(read.size())), block.size()) << "short only at the end";
    read.resize(block.size());
    EXPECT_EQ(read, block);
    EXPECT_EQ(Cause([&] { Next<BYTE>(ar); }), CArchiveException::endOfFile);
}

TEST(Archive, CountsTakeTheShortestEscapedForm) {
    const struct {
        ULONGLONG count;
        Bytes bytes;
    } cases[] = {
        {0, {0x00, 0x00}},
        {0xFFFE, {0xFE, 0xFF}},
        {0xFFFF, {0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00}},
        {0xFFFFFFFE, {0xFF, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF}},
        {0xFFFFFFFF, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}},
        {0x0102030405060708, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 8, 7, 6, 5, 4, 3, 2, 1}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Stored([&](CArchive& ar) { ar.WriteCount(c.count); }), c.bytes) << c.count;
        Loader unchecked(c.bytes), checked(c.bytes);
        EXPECT_EQ(unchecked.ar.ReadCount(0), c.count) << c.count;
        EXPECT_EQ(Cause([&] { checked.ar.ReadCount(); }), c.count ? CArchiveException::endOfFile : -1)
            << c.count << ": more items than bytes left";
    }
    Loader exact(Concat({{0x03, 0x00}, Bytes(6)}));
    EXPECT_EQ(exact.ar.ReadCount(2), 3u) << "three items of two bytes fit exactly";
}

TEST(Archive, StringsTakeTheWideFormWithEscapedLengths) {
    const struct {
        std::wstring text;
        Bytes start;  // the length prefix and, for short texts, the characters
    } cases[] = {
        {L"", Concat({kWide, {0x00}})},
        {L"Ab", Concat({kWide, {0x02, 'A', 0, 'b', 0}})},
        {L"\u00E9\U0001F600",
         Concat({kWide, {0x03, 0xE9, 0x00, 0x3D, 0xD8, 0x00, 0xDE}})},  // a surrogate pair
        {std::wstring(254, L'x'), Concat({kWide, {0xFE, 'x'}})},
        {std::wstring(255, L'x'), Concat({kWide, {0xFF, 0xFF, 0x00, 'x'}})},
        {std::wstring(0xFFFD, L'x'), Concat({kWide, {0xFF, 0xFD, 0xFF, 'x'}})},
        {std::wstring(0xFFFE, L'x'), Concat({kWide, {0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00, 'x'}})},
    };
    for (const auto& c : cases) {
        const Bytes bytes = Stored([&](CArchive& ar) { ar << CString(c.text); });
        EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + std::min(bytes.size(), c.start.size())), c.start)
            << c.text.size();
        Loader in(bytes);
        EXPECT_EQ(in.ar.ReadString().Text(), c.text) << c.text.size();
        EXPECT_EQ(in.ar.GetRemainingBytes(), 0u) << c.text.size();
    }
    // What UTF-16 cannot carry becomes U+FFFD, written and read.
    EXPECT_EQ(Stored([&](CArchive& ar) {
                  ar << CString(std::wstring{L'a', wchar_t(0xD800), wchar_t(0x110000)});
              }),
              Concat({kWide, {0x03, 'a', 0, 0xFD, 0xFF, 0xFD, 0xFF}}));
    Loader lone(Concat({kWide, {0x02, 0x00, 0xDC, 'z', 0}}));
    EXPECT_EQ(lone.ar.ReadString().Text(), L"\uFFFDz") << "a low surrogate alone";
}

TEST(Archive, NarrowAndLongFormsAreRead) {
    const struct {
        Bytes bytes;
        std::wstring text;
    } cases[] = {
        {{0x03, 'a', 'b', 'c'}, L"abc"},
        {{0x02, 0xE9, 0xFF}, L"\u00E9\u00FF"},  // Latin-1
        {Concat({{0xFF, 0x00, 0x01}, Bytes(256, 'q')}), std::wstring(256, L'q')},
        {Concat({{0xFF, 0xFF, 0xFF, 0x02, 0x00, 0x00, 0x00}, Text("hi")}), L"hi"},
        {Concat({kWide, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 1, 0, 0, 0, 0, 0, 0, 0, 'k', 0}}), L"k"},
    };
    for (const auto& c : cases) {
        Loader in(c.bytes);
        EXPECT_EQ(in.ar.ReadString().Text(), c.text) << c.bytes.size();
        EXPECT_EQ(in.ar.GetRemainingBytes(), 0u) << c.bytes.size();
    }
}

TEST(Archive, ObjectsTakeClassTagsThenIndexes) {
    TestLeaf first, second;
    first.value = 5;
    second.value = 6;
    const Bytes bytes =
        Stored([&](CArchive& ar) { ar << &first << &second << &first << static_cast<CObject*>(nullptr); });
    const Bytes expected = Concat({kLeafClass,
                                   {5, 0, 0, 0},                // first is index 2
                                   {0x01, 0x80, 6, 0, 0, 0},    // class index 1, then second, index 3
                                   {0x02, 0x00, 0x00, 0x00}});  // first again, then null
    EXPECT_EQ(bytes, expected);
    Loader in(bytes);
    CObject *a = nullptr, *b = nullptr, *c = nullptr, *d = &first;
    in.ar >> a >> b >> c >> d;
    const std::unique_ptr<CObject> ownA(a), ownB(b);
    ASSERT_TRUE(a && a->IsKindOf(RUNTIME_CLASS(TestLeaf)) && b && b->IsKindOf(RUNTIME_CLASS(TestLeaf)));
    EXPECT_EQ(static_cast<TestLeaf*>(a)->value, 5);
    EXPECT_EQ(static_cast<TestLeaf*>(b)->value, 6);
    EXPECT_EQ(c, a) << "a repeated object is the same object";
    EXPECT_EQ(d, nullptr);
    TestAbstract abstract;
    EXPECT_EQ(Cause([&] { Stored([&](CArchive& ar) { ar << &abstract; }); }), CArchiveException::badClass)
        << "a class that cannot be created is not written";
}

TEST(Archive, AGraphWithSharedObjectsRoundTrips) {
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
    ASSERT_TRUE(read && read->children.size() == 3u);
    auto* readInner = dynamic_cast<TestNode*>(read->children[2].get());
    ASSERT_TRUE(readInner && readInner->children.size() == 1u);
    EXPECT_EQ(read->link, read.get());
    EXPECT_EQ(readInner->link, read->children[0].get());
    EXPECT_EQ(static_cast<TestLeaf*>(read->children[1].get())->value, 101);
    EXPECT_EQ(static_cast<TestLeaf*>(readInner->children[0].get())->value, 102);
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
    EXPECT_EQ(Bytes(bytes.end() - static_cast<long>(tail.size()), bytes.end()), tail);
    Loader in(bytes);
    std::vector<std::unique_ptr<CObject>> read;
    for (size_t i = 0; i < leaves.size(); ++i) read.push_back(in.ar.ReadOwnedObject(RUNTIME_CLASS(TestLeaf)));
    EXPECT_EQ(in.ar.ReadObjectReference(nullptr), read[0x7FFC].get());
    EXPECT_EQ(in.ar.ReadObjectReference(nullptr), read[0x7FFD].get());
    // A class tag in the long form: 0x7FFF, then index 1 with bit 0x80000000.
    Loader longClass(Concat({kLeaf, {0xFF, 0x7F, 0x01, 0x00, 0x00, 0x80, 2, 0, 0, 0}}));
    const auto a = longClass.ar.ReadOwned<TestLeaf>(), b = longClass.ar.ReadOwned<TestLeaf>();
    ASSERT_TRUE(a && b);
    EXPECT_EQ(b->value, 2);
}

enum class Reading { object, owned, reference, node, anyThenNode, string };

// clang-format off
void ReadAs(CArchive& ar, Reading reading) {
    std::unique_ptr<CObject> first;
    switch (reading) {
        case Reading::object:  // two objects, since some faults are in the second one's tag
            first.reset(ar.ReadObject(nullptr));
            if (CObject* second = ar.ReadObject(nullptr); second != first.get()) delete second;
            break;
        case Reading::owned: ar.ReadOwnedObject(nullptr), ar.ReadOwnedObject(nullptr); break;
        case Reading::reference: ar.ReadObjectReference(nullptr); break;
        case Reading::node: ar.ReadOwned<TestNode>(); break;
        case Reading::anyThenNode: first.reset(ar.ReadObject(nullptr)), ar.ReadObject(RUNTIME_CLASS(TestNode)); break;
        case Reading::string: ar.ReadString(); break;
    }
}
// clang-format on

TEST(Archive, HostileBytesAreRefusedWithTheirCause) {
    using E = CArchiveException;
    using R = Reading;
    const struct {
        Bytes bytes;
        Reading reading;
        int cause;
        const char* reason;
    } cases[] = {
        // clang-format off
        {{0xFF}, R::object, E::endOfFile, "half a tag"},
        {Concat({{0xFF, 0xFF, 0x01, 0x00, 0x08, 0x00}, Text("TestLe")}), R::object, E::endOfFile, "a name cut short"},
        {{0xFF, 0xFF, 0x01, 0x00, 0xFF, 0xFF}, R::object, E::badClass, "a class name length of 65535"},
        {Concat({{0xFF, 0xFF, 0x01, 0x00, 0x07, 0x00}, Text("Unknown")}), R::object, E::badClass, "an unknown class"},
        {Concat({{0xFF, 0xFF, 0xFF, 0xFF, 0x0C, 0x00}, Text("TestAbstract")}), R::object, E::badClass, "not serial"},
        {Concat({{0xFF, 0xFF, 0x09, 0x00, 0x08, 0x00}, Text("TestLeaf")}), R::object, E::badSchema, "another schema"},
        {Concat({kLeafClass, {9, 0}}), R::object, E::endOfFile, "the object's data cut short"},
        {kLeaf, R::node, E::badClass, "a leaf where a node is asked for"},
        {Concat({kLeaf, {0x02, 0x00}}), R::anyThenNode, E::badClass, "a reference to a leaf where a node is asked for"},
        {{0x05, 0x80}, R::object, E::badIndex, "a class index never given"},
        {Concat({kLeaf, {0x02, 0x80}}), R::object, E::badIndex, "a class index naming an object"},
        {Concat({kLeaf, {0x01, 0x00}}), R::object, E::badIndex, "an object index naming a class"},
        {{0xFF, 0x7F, 0xFF, 0xFF, 0xFF, 0x7F}, R::object, E::badIndex, "a huge long index"},
        {Concat({kLeaf, {0x02, 0x00}}), R::owned, E::badIndex, "an owner given an object owned already"},
        {kLeaf, R::reference, E::badIndex, "a reference given a new object"},
        {Concat({kNodeClass, {0x02, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00}}), R::object, E::badIndex, "a node owning itself"},
        {Concat({kNodeClass, Bytes(14, 0xFF)}), R::object, E::endOfFile, "a node with a 64-bit child count"},
        {Nested(CArchive::kMaxLoadDepth + 1), R::object, E::genericException, "objects nested too deep"},
        {{0x05, 'a', 'b'}, R::string, E::endOfFile, "a narrow string cut short"},
        {Concat({kWide, {0x02, 'a', 0, 'b'}}), R::string, E::endOfFile, "a wide string cut inside a character"},
        {Concat({kWide, {0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0xFF, 0x7F}}), R::string, E::endOfFile, "a wide 32-bit length"},
        {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0x40}, R::string, E::endOfFile, "a narrow 64-bit length"},
        // clang-format on
    };
    for (const auto& c : cases) {
        Loader in(c.bytes);
        EXPECT_EQ(Cause([&] { ReadAs(in.ar, c.reading); }), c.cause) << c.reason;
    }
    Loader deepest(Nested(CArchive::kMaxLoadDepth));
    EXPECT_TRUE(deepest.ar.ReadOwned<TestNode>()) << "nesting up to the limit loads";
    Loader after(Concat({{0x07, 0x00}, kLeaf}));
    EXPECT_EQ(Cause([&] { after.ar.ReadObject(nullptr); }), E::badIndex);
    EXPECT_EQ(Cause([&] { after.ar.ReadOwnedObject(nullptr); }), E::genericException)
        << "nothing loads after a refusal";
}

// An archive never closed writes nothing; storing passes on the file's failure.
TEST(Archive, StoringFailuresComeThrough) {
    CMemFile memory;
    { CArchive(&memory, CArchive::store) << DWORD{1}; }
    EXPECT_EQ(memory.GetLength(), 0u);
    ScratchFolder folder;
    CFile readOnly;
    ASSERT_TRUE(readOnly.Open(folder.Write("read-only-handle.bin", {}), CFile::modeRead));
    CArchive ar(&readOnly, CArchive::store);
    ar << DWORD{1};
    EXPECT_THROW(ar.Close(), CFileException) << "the buffered bytes meet a file open for reading";
}

}  // namespace
