// The archive: the byte form of numbers, counts, strings and object graphs, and the refusal of hostile bytes.

#include <gtest/gtest.h>

#include "CoreTestSupport.h"

namespace {

class TestLeaf : public CObject {  // a leaf with one number
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
            return ar.WriteObject(link);
        }
        for (ULONGLONG i = 0, n = ar.ReadCount(2); i < n; ++i)
            children.push_back(ar.ReadOwnedObject(nullptr));
        link = ar.ReadObjectReference(nullptr);
    }
};
IMPLEMENT_SERIAL(TestNode, CObject, 2)

class TestAbstract : public CObject {  // a run-time class that is never written
    DECLARE_DYNAMIC(TestAbstract)
};
IMPLEMENT_DYNAMIC(TestAbstract, CObject)

// Bytes, and text as bytes, one after another.
Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}
Bytes B(const std::string& text) {
    return Bytes(text.begin(), text.end());
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
const Bytes kLeafClass = Concat({{0xFF, 0xFF, 1, 0, 8, 0}, B("TestLeaf")});  // new class, schema 1: index 1
const Bytes kLeaf = Concat({kLeafClass, {9, 0, 0, 0}});                      // the object: index 2
const Bytes kNodeClass = Concat({{0xFF, 0xFF, 2, 0, 8, 0}, B("TestNode")});

// Nodes nested depth deep, each the only child of the one before.
Bytes Nested(int depth) {
    Bytes bytes = Concat({kNodeClass, {1, 0}});
    for (int i = 1; i < depth; ++i) bytes.insert(bytes.end(), {0x01, 0x80, 1, 0});
    bytes.resize(bytes.size() + 2 + 2 * static_cast<size_t>(depth), 0);
    return bytes;
}

// Counts and lengths take the shortest escaped form; counts of more items than bytes left are refused.
TEST(Archive, CountsAndStringsTakeTheShortestForm) {
    // clang-format off
    const std::pair<ULONGLONG, Bytes> counts[] = {  // 16 bits; 0xFFFF and 32 bits; 0xFFFFFFFF and 64 bits
        {0, {0, 0}}, {0xFFFE, {0xFE, 0xFF}}, {0xFFFF, {0xFF, 0xFF, 0xFF, 0xFF, 0, 0}},
        {0xFFFFFFFE, {0xFF, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF}}, {0xFFFFFFFF, Concat({Bytes(10, 0xFF), Bytes(4)})},
        {0x0102030405060708, Concat({Bytes(6, 0xFF), {8, 7, 6, 5, 4, 3, 2, 1}})}};
    // clang-format on
    for (const auto& [count, bytes] : counts) {
        EXPECT_EQ(Stored([n = count](CArchive& ar) { ar.WriteCount(n); }), bytes) << count;
        Loader unchecked(bytes), checked(bytes);
        EXPECT_EQ(unchecked.ar.ReadCount(0), count) << count;
        EXPECT_EQ(Cause([&] { checked.ar.ReadCount(); }), count ? CArchiveException::endOfFile : -1) << count;
    }
    Loader exact(Concat({{3, 0}, Bytes(6)}));
    EXPECT_EQ(exact.ar.ReadCount(2), 3u) << "three items of two bytes fit exactly";

    const std::pair<std::wstring, Bytes> strings[] = {
        // the marker of the wide form, the length, characters
        {L"", Concat({kWide, {0}})},
        {L"\u00E9\U0001F600", Concat({kWide, {3, 0xE9, 0, 0x3D, 0xD8, 0x00, 0xDE}})},  // a surrogate pair
        {std::wstring(254, L'x'), Concat({kWide, {0xFE, 'x'}})},
        {std::wstring(255, L'x'), Concat({kWide, {0xFF, 0xFF, 0x00, 'x'}})},
        {std::wstring(0xFFFE, L'x'), Concat({kWide, {0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0, 0, 'x'}})}};
    for (const auto& [text, start] : strings) {
        const Bytes bytes = Stored([&t = text](CArchive& ar) { ar << CString(t); });
        EXPECT_EQ(Head(bytes, std::min<long>(std::ssize(bytes), std::ssize(start))), start) << text.size();
        Loader in(bytes);
        EXPECT_EQ(in.ar.ReadString().Text(), text) << text.size();
        EXPECT_EQ(in.ar.GetRemainingBytes(), 0u);
    }
    EXPECT_EQ(Stored([&](CArchive& ar) {
                  ar << CString(std::wstring{L'a', wchar_t(0xD800), wchar_t(0x110000)});
              }),
              Concat({kWide, {3, 'a', 0, 0xFD, 0xFF, 0xFD, 0xFF}}))
        << "what UTF-16 cannot carry becomes U+FFFD";
    Loader lone(Concat({kWide, {2, 0x00, 0xDC, 'z', 0}}));
    EXPECT_EQ(lone.ar.ReadString().Text(), L"\uFFFDz") << "a low surrogate alone";
}

TEST(Archive, ObjectsTakeClassTagsThenIndexes) {
    TestLeaf first, second;
    first.value = 5, second.value = 6;
    const Bytes bytes =
        Stored([&](CArchive& ar) { ar << &first << &second << &first << static_cast<CObject*>(nullptr); });
    // first (index 2) after its class; the class's index with bit 0x8000 before second; first again; null.
    EXPECT_EQ(bytes, Concat({kLeafClass, {5, 0, 0, 0, 0x01, 0x80, 6, 0, 0, 0, 0x02, 0x00, 0x00, 0x00}}));
    Loader in(bytes);
    CObject *a = nullptr, *b = nullptr, *c = nullptr, *d = &first;
    in.ar >> a >> b >> c >> d;
    const std::unique_ptr<CObject> ownA(a), ownB(b);
    ASSERT_TRUE(a && a->IsKindOf(RUNTIME_CLASS(TestLeaf)) && b && b->IsKindOf(RUNTIME_CLASS(TestLeaf)));
    EXPECT_EQ(static_cast<TestLeaf*>(a)->value, 5);
    EXPECT_EQ(static_cast<TestLeaf*>(b)->value, 6);
    EXPECT_TRUE(c == a && d == nullptr) << "a repeated object is the same object";
    TestAbstract abstract;  // a class that cannot be created is not written
    EXPECT_EQ(Cause([&] { Stored([&](CArchive& ar) { ar << &abstract; }); }), CArchiveException::badClass);
}

enum class Reading { objects, owned, reference, node, anyThenNode, string };

void ReadAs(CArchive& ar, Reading reading) {
    std::unique_ptr<CObject> first;
    if (reading == Reading::objects || reading == Reading::anyThenNode) first.reset(ar.ReadObject(nullptr));
    if (reading == Reading::objects)  // some faults are in the second object's tag
        if (CObject* second = ar.ReadObject(nullptr); second != first.get()) delete second;
    if (reading == Reading::anyThenNode) ar.ReadObject(RUNTIME_CLASS(TestNode));
    if (reading == Reading::owned) ar.ReadOwnedObject(nullptr), ar.ReadOwnedObject(nullptr);
    if (reading == Reading::reference) ar.ReadObjectReference(nullptr);
    if (reading == Reading::node) ar.ReadOwned<TestNode>();
    if (reading == Reading::string) ar.ReadString();
}

TEST(Archive, HostileBytesAreRefusedWithTheirCause) {
    using E = CArchiveException;
    using R = Reading;
    const std::tuple<Bytes, Reading, int, const char*> cases[] = {
        {Concat({{0xFF, 0xFF, 1, 0, 8, 0}, B("TestLe")}), R::objects, E::endOfFile, "a class name cut short"},
        {{0xFF, 0xFF, 1, 0, 0xFF, 0xFF}, R::objects, E::badClass, "a class name length of 65535"},
        {Concat({{0xFF, 0xFF, 1, 0, 7, 0}, B("Unknown")}), R::objects, E::badClass, "an unregistered class"},
        {Concat({{0xFF, 0xFF, 9, 0, 8, 0}, B("TestLeaf")}), R::objects, E::badSchema, "an unknown schema"},
        {Concat({kLeafClass, {9, 0}}), R::objects, E::endOfFile, "the object's data cut short"},
        {kLeaf, R::node, E::badClass, "a leaf where a node is asked for"},
        {Concat({kLeaf, {2, 0}}), R::anyThenNode, E::badClass, "a reference to a leaf as a node"},
        {Concat({kLeaf, {0x02, 0x80}}), R::objects, E::badIndex, "a class index naming an object"},
        {Concat({kLeaf, {2, 0}}), R::owned, E::badIndex, "an owner given an object owned already"},
        {kLeaf, R::reference, E::badIndex, "a reference given a new object"},
        {Concat({kNodeClass, {2, 0, 0, 0, 2, 0, 0, 0}}), R::objects, E::badIndex, "a node owning itself"},
        {Concat({kNodeClass, Bytes(14, 0xFF)}), R::objects, E::endOfFile, "a node with a 64-bit child count"},
        {Nested(CArchive::kMaxLoadDepth + 1), R::objects, E::genericException, "objects nested too deep"},
        {Concat({kWide, {2, 'a', 0, 'b'}}), R::string, E::endOfFile, "a wide string cut inside a character"},
        {Concat({Bytes(7, 0xFF), {0, 0, 0, 0, 0, 0, 0, 0x40}}), R::string, E::endOfFile,
         "a narrow 64-bit length"},
    };
    for (const auto& [bytes, reading, cause, reason] : cases) {
        Loader in(bytes);
        EXPECT_EQ(Cause([&, r = reading] { ReadAs(in.ar, r); }), cause) << reason;
    }
    Loader deepest(Nested(CArchive::kMaxLoadDepth));
    EXPECT_TRUE(deepest.ar.ReadOwned<TestNode>()) << "nesting up to the limit loads";
    Loader after(Concat({{7, 0}, kLeaf}));
    EXPECT_EQ(Cause([&] { after.ar.ReadObject(nullptr); }), E::badIndex);
    EXPECT_EQ(Cause([&] { after.ar.ReadOwnedObject(nullptr); }), E::genericException)
        << "no load after a refusal";
}

TEST(Archive, StoringFailuresComeThrough) {
    ScratchFolder folder;
    CFile readOnly;
    ASSERT_TRUE(readOnly.Open(folder.Write("read-only-handle.bin", {}), CFile::modeRead));
    CArchive ar(&readOnly, CArchive::store);
    ar << DWORD{1};
    EXPECT_THROW(ar.Close(), CFileException) << "the buffered bytes meet a file open for reading";
}

}  // namespace
