// The media record: comparison, facts from a directory entry and from the picture, its thumbnail, its
// binary and XML forms; and the owning list it lives in.

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CoreTestSupport.h"
#include "TestFiles.h"
#include "libraries/KivModuleRC.h"
#include "media/ClipMediaObj.h"

namespace {

// A record with every value set and a 2 x 1 thumbnail.
std::unique_ptr<CKivClipMediaObj> SampleRecord() {
    auto record = std::make_unique<CKivClipMediaObj>();
    record->m_strMediaFile = L"/pics/Sea \u00e9\U0001F30A.bmp";
    record->m_strShowName = L"Sea.bmp";
    record->m_szMedia = CSize(640, -480);
    record->m_wBitCount = 24;
    record->m_dwFileSizeHigh = 0x01020304;
    record->m_dwFileSizeLow = 0xA0B0C0D0;
    record->m_ftLastWrite = {0x11223344, 0x55667788};
    auto* bits = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, 6));
    const BYTE pixels[6] = {1, 2, 3, 4, 5, 6};
    std::memcpy(bits, pixels, 6);
    record->m_Icon.SetIcon(bits, CSize(2, 1));
    return record;
}

Bytes IconBytes(const CKivIconObj& icon) {
    const size_t size = static_cast<size_t>(icon.GetSize().cx) * icon.GetSize().cy * 3;
    return icon.IsEmpty() ? Bytes() : Bytes(icon.GetBits(), icon.GetBits() + size);
}

void ExpectSameRecord(const CKivClipMediaObj& a, const CKivClipMediaObj& b) {
    EXPECT_EQ(a.m_strMediaFile, b.m_strMediaFile);
    EXPECT_EQ(a.m_strShowName, b.m_strShowName);
    EXPECT_EQ(a.m_szMedia, b.m_szMedia);
    EXPECT_EQ(a.m_wBitCount, b.m_wBitCount);
    EXPECT_EQ(a.m_dwFileSizeHigh, b.m_dwFileSizeHigh);
    EXPECT_EQ(a.m_dwFileSizeLow, b.m_dwFileSizeLow);
    EXPECT_EQ(a.m_ftLastWrite.dwLowDateTime, b.m_ftLastWrite.dwLowDateTime);
    EXPECT_EQ(a.m_ftLastWrite.dwHighDateTime, b.m_ftLastWrite.dwHighDateTime);
    EXPECT_EQ(a.m_Icon.GetSize(), b.m_Icon.GetSize());
    EXPECT_EQ(IconBytes(a.m_Icon), IconBytes(b.m_Icon));
}

// The bytes of a string's UTF-16 form with a one-byte length.
Bytes ShortWide(const std::u16string& text) {
    Bytes bytes = {0xFF, 0xFE, 0xFF, static_cast<BYTE>(text.size())};
    for (char16_t c : text) PutU16(bytes, c);
    return bytes;
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// Writes a 32-bit picture of size with a left half of one colour and a right half of another.
CString WriteTwoColourBmp(const ScratchFolder& folder, const std::string& name, CSize size) {
    std::vector<DWORD> pixels(static_cast<size_t>(size.cx) * size.cy);
    for (int y = 0; y < size.cy; ++y)
        for (int x = 0; x < size.cx; ++x) pixels[y * size.cx + x] = x < size.cx / 2 ? 0xFF102030 : 0xFFC0B0A0;
    const CString path = Wide(folder.File(name));
    EXPECT_EQ(KivPictureSaveBMPFile(path, pixels.data(), size, CRect(0, 0, size.cx, size.cy)), 1);
    return path;
}

}  // namespace

TEST(MediaRecord, CompareMediaLooksAtPathSizeAndTimeOnly) {
    struct Case {
        const char* name;
        void (*change)(CKivClipMediaObj&);
        int expected;
    };
    const Case cases[] = {
        {"identical", [](CKivClipMediaObj&) {}, 1},
        {"path letter case",
         [](CKivClipMediaObj& r) { r.m_strMediaFile = L"/PICS/sea \u00e9\U0001F30A.BMP"; }, 1},
        {"title", [](CKivClipMediaObj& r) { r.m_strShowName = L"other"; }, 1},
        {"picture facts", [](CKivClipMediaObj& r) { r.m_szMedia = CSize(1, 1), r.m_wBitCount = 8; }, 1},
        {"thumbnail", [](CKivClipMediaObj& r) { r.m_Icon.Clear(); }, 1},
        {"folder", [](CKivClipMediaObj& r) { r.m_strMediaFile = L"/pic/Sea \u00e9\U0001F30A.bmp"; }, 0},
        {"size high", [](CKivClipMediaObj& r) { ++r.m_dwFileSizeHigh; }, 0},
        {"size low", [](CKivClipMediaObj& r) { ++r.m_dwFileSizeLow; }, 0},
        {"time high", [](CKivClipMediaObj& r) { ++r.m_ftLastWrite.dwHighDateTime; }, 0},
        {"time low", [](CKivClipMediaObj& r) { ++r.m_ftLastWrite.dwLowDateTime; }, 0},
    };
    for (const Case& c : cases) {
        const auto a = SampleRecord();
        auto b = SampleRecord();
        c.change(*b);
        EXPECT_EQ(a->CompareMedia(b.get()), c.expected) << c.name;
        EXPECT_EQ(b->CompareMedia(a.get()), c.expected) << c.name;
    }
    EXPECT_EQ(SampleRecord()->CompareMedia(nullptr), 0);
}

TEST(MediaRecord, SetBasicInfoTakesTheEntryAndKeepsTheThumbnail) {
    auto record = SampleRecord();
    WIN32_FIND_DATAW entry{};
    entry.nFileSizeHigh = 7;
    entry.nFileSizeLow = 8;
    entry.ftLastWriteTime = {9, 10};
    EXPECT_EQ(record->SetBasicInfo(L"/a/b.tga", &entry), 1);
    EXPECT_EQ(record->m_strMediaFile, CString(L"/a/b.tga"));
    EXPECT_TRUE(record->m_strShowName.IsEmpty());
    EXPECT_EQ(record->m_szMedia, CSize());
    EXPECT_EQ(record->m_wBitCount, 0);
    EXPECT_EQ(record->m_dwFileSizeHigh, 7u);
    EXPECT_EQ(record->m_dwFileSizeLow, 8u);
    EXPECT_EQ(record->m_ftLastWrite.dwLowDateTime, 9u);
    EXPECT_EQ(record->m_ftLastWrite.dwHighDateTime, 10u);
    EXPECT_EQ(record->m_Icon.GetSize(), CSize(2, 1));
    EXPECT_EQ(record->GetPureFileName(), CString(L"b.tga"));
    EXPECT_EQ(record->GetFileTitle(), CString(L"b"));
    EXPECT_EQ(record->GetFileExtName(), CString(L".tga"));
}

TEST(MediaRecord, MakeExtInfoReadsThePictureAndMakesItsThumbnail) {
    ScratchFolder folder;
    const CString bmp = WriteTwoColourBmp(folder, "Wide.BMP", CSize(160, 90));
    CKivClipMediaObj record;
    record.m_strMediaFile = bmp;
    ASSERT_EQ(record.MakeExtInfo(), 1);
    EXPECT_EQ(record.m_strShowName, CString(L"Wide.BMP"));
    EXPECT_EQ(record.m_szMedia, CSize(160, 90));
    EXPECT_EQ(record.m_wBitCount, 32);
    ASSERT_EQ(record.m_Icon.GetSize(), CSize(80, 60));
    // The thumbnail's left half shows the left colour, its right half the right colour (blue, green, red).
    const BYTE* bits = record.m_Icon.GetBits();
    const BYTE left[3] = {0x30, 0x20, 0x10};
    const BYTE right[3] = {0xA0, 0xB0, 0xC0};
    for (int y : {0, 59})
        for (int x : {0, 39, 40, 79}) {
            const BYTE* pixel = bits + (y * 80 + x) * 3;
            EXPECT_EQ(std::memcmp(pixel, x < 40 ? left : right, 3), 0) << x << "," << y;
        }
}

TEST(MediaRecord, MakeExtInfoByExtension) {
    ScratchFolder folder;
    const CString bmp = WriteTwoColourBmp(folder, "a.bmp", CSize(4, 4));
    const Bytes bmpBytes = ReadFileBytes(bmp.ToUtf8());
    struct Case {
        const char* name;  // the file name the bitmap's bytes are written under
        int expected;
        bool titled;  // whether the title is set
    };
    const Case cases[] = {
        {"lower.bmp", 1, true},   {"UPPER.BMP", 1, true}, {"mixed.Bmp", 1, true},
        {"other.jpeg", 0, false}, {"noext", 0, false},    {"wrong.jpg", 0, true},  // a bitmap is no JPEG
        {"dib.dib", 0, false},
    };
    for (const Case& c : cases) {
        const CString path = folder.Write(c.name, bmpBytes);
        CKivClipMediaObj record;
        record.m_strMediaFile = path;
        EXPECT_EQ(record.MakeExtInfo(), c.expected) << c.name;
        EXPECT_EQ(!record.m_strShowName.IsEmpty(), c.titled) << c.name;
        EXPECT_EQ(record.m_Icon.IsEmpty(), c.expected == 0) << c.name;
    }
    CKivClipMediaObj missing;
    missing.m_strMediaFile = Wide(folder.File("missing.tga"));
    EXPECT_EQ(missing.MakeExtInfo(), 0);
}

TEST(MediaRecord, GrayPicturesGetTheirTitleAndAnEightyBySeventyThumbnail) {
    ScratchFolder folder;
    // Two columns: dark on the left, light on the right; the top row darker than the bottom one.
    const BYTE gray[4] = {10, 200, 20, 210};
    const CString path = Wide(folder.File("scan.amy"));
    ASSERT_TRUE(CKivGrayFile::Save(path, L"Scan title", gray, CSize(2, 2)));
    CKivClipMediaObj record;
    record.m_strMediaFile = path;
    record.m_szMedia = CSize(5, 5);
    ASSERT_EQ(record.MakeExtInfo(), 1);
    EXPECT_EQ(record.m_strShowName, CString(L"Scan title"));
    EXPECT_EQ(record.m_szMedia, CSize(5, 5));  // a gray picture's size is not taken
    ASSERT_EQ(record.m_Icon.GetSize(), CSize(80, 70));
    const BYTE* bits = record.m_Icon.GetBits();
    const auto at = [&](int x, int y) { return bits[(y * 80 + x) * 3]; };
    EXPECT_EQ(at(0, 0), 10);
    EXPECT_EQ(at(79, 0), 200);
    EXPECT_EQ(at(0, 69), 20);
    EXPECT_EQ(at(79, 69), 210);
    EXPECT_EQ(bits[1], bits[0]);
    EXPECT_EQ(bits[2], bits[0]);

    // A file the gray library rejects stays a record with no title and no thumbnail.
    const CString bad = folder.Write("bad.AMY", Bytes{'n', 'o', 'p', 'e'});
    CKivClipMediaObj rejected;
    rejected.m_strMediaFile = bad;
    rejected.m_strShowName = L"old";
    EXPECT_EQ(rejected.MakeExtInfo(), 1);
    EXPECT_TRUE(rejected.m_strShowName.IsEmpty());
    EXPECT_TRUE(rejected.m_Icon.IsEmpty());
}

TEST(MediaRecord, MakeGrayIconSamplesTheRectangle) {
    const BYTE gray[6] = {1, 2, 3, 4, 5, 6};  // 3 x 2
    BYTE* icon = MakeGrayIcon(gray, CSize(3, 2), CRect(1, 0, 3, 2), CSize(2, 2));
    ASSERT_NE(icon, nullptr);
    const BYTE expected[12] = {2, 2, 2, 3, 3, 3, 5, 5, 5, 6, 6, 6};
    EXPECT_EQ(std::memcmp(icon, expected, 12), 0);
    GlobalFree(icon);
    EXPECT_EQ(MakeGrayIcon(gray, CSize(3, 2), CRect(0, 0, 4, 2), CSize(2, 2)), nullptr);
    EXPECT_EQ(MakeGrayIcon(gray, CSize(3, 2), CRect(0, 0, 3, 2), CSize(0, 2)), nullptr);
}

TEST(MediaRecord, IconsTheLoadsWouldRefuseAreNotTaken) {
    for (CSize size : {CSize(0, 5), CSize(-1, 5), CSize(CKivIconObj::kMaxSide + 1, 1)}) {
        CKivIconObj icon;
        icon.SetIcon(static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, 3)), size);  // released by SetIcon
        EXPECT_TRUE(icon.IsEmpty()) << size.cx;
    }
}

TEST(MediaRecord, CopiesAreDeep) {
    const auto original = SampleRecord();
    std::unique_ptr<CKivObject> copy(original->MakeCopy());
    auto* record = dynamic_cast<CKivClipMediaObj*>(copy.get());
    ASSERT_NE(record, nullptr);
    ExpectSameRecord(*original, *record);
    EXPECT_NE(record->m_Icon.GetBits(), original->m_Icon.GetBits());

    CKivClipMediaObj assigned;
    assigned = *original;
    ExpectSameRecord(*original, assigned);
    EXPECT_NE(assigned.m_Icon.GetBits(), original->m_Icon.GetBits());
}

TEST(MediaRecordArchive, EmptyRecordBytes) {
    CKivClipMediaObj record;
    const Bytes bytes = Stored([&](CArchive& ar) { record.Serialize(ar); });
    const Bytes expected = Join({
        {0, 0},                 // base part: its version
        {0, 0},                 // the record's version
        {0xFF, 0xFE, 0xFF, 0},  // path: marker, length 0
        {0xFF, 0xFE, 0xFF, 0},  // title
        Bytes(8, 0),            // picture size
        {0, 0},                 // bit count
        Bytes(8, 0),            // file size high, low
        Bytes(8, 0),            // time high, low
        {0, 0, 0, 0},           // icon: base part and version
        Bytes(8, 0),            // icon size (0, 0): no pixels follow
    });
    EXPECT_EQ(bytes, expected);
}

TEST(MediaRecordArchive, ValuesInWriteOrder) {
    CKivClipMediaObj record;
    record.m_strMediaFile = L"p";
    record.m_strShowName = L"t";
    record.m_szMedia = CSize(3, -1);
    record.m_wBitCount = 0x1234;
    record.m_dwFileSizeHigh = 5;
    record.m_dwFileSizeLow = 6;
    record.m_ftLastWrite = {1, 2};  // low 1, high 2: the high word is written first
    const Bytes bytes = Stored([&](CArchive& ar) { record.Serialize(ar); });
    Bytes expected = Join({{0, 0, 0, 0}, ShortWide(u"p"), ShortWide(u"t")});
    for (std::uint32_t value : {3u, 0xFFFFFFFFu}) PutU32(expected, value);
    PutU16(expected, 0x1234);
    for (std::uint32_t value : {5u, 6u, 2u, 1u}) PutU32(expected, value);
    expected = Join({expected, {0, 0, 0, 0}, Bytes(8, 0)});
    EXPECT_EQ(bytes, expected);
}

TEST(MediaRecordArchive, TitleLengthForms) {
    struct Case {
        size_t length;
        Bytes lengthBytes;
    };
    const Case cases[] = {{254, {0xFE}}, {255, {0xFF, 0xFF, 0x00}}, {0xFFFD, {0xFF, 0xFD, 0xFF}}};
    for (const Case& c : cases) {
        CKivClipMediaObj record;
        record.m_strShowName = std::wstring(c.length, L'x');
        const Bytes bytes = Stored([&](CArchive& ar) { record.Serialize(ar); });
        // Base part, version, empty path, then the title's marker and length.
        const Bytes head(bytes.begin() + 8, bytes.begin() + 11 + static_cast<long>(c.lengthBytes.size()));
        EXPECT_EQ(head, Join({{0xFF, 0xFE, 0xFF}, c.lengthBytes})) << c.length;
        Loader in(bytes);
        CKivClipMediaObj loaded;
        loaded.Serialize(in.ar);
        EXPECT_EQ(loaded.m_strShowName.GetLength(), static_cast<int>(c.length));
    }
}

TEST(MediaRecordArchive, RoundTripAndAnyVersion) {
    const auto original = SampleRecord();
    Bytes bytes = Stored([&](CArchive& ar) { original->Serialize(ar); });
    for (int version : {0, 7}) {
        bytes[2] = static_cast<BYTE>(version);  // the record's version follows the base part's two bytes
        Loader in(bytes);
        CKivClipMediaObj loaded;
        loaded.Serialize(in.ar);
        ExpectSameRecord(*original, loaded);
        EXPECT_EQ(in.ar.GetRemainingBytes(), 0u);
    }
}

TEST(MediaRecordArchive, ShortOrHostileBytesThrow) {
    const auto original = SampleRecord();
    const Bytes bytes = Stored([&](CArchive& ar) { original->Serialize(ar); });
    for (size_t length = 0; length < bytes.size(); ++length) {
        Loader in(Bytes(bytes.begin(), bytes.begin() + static_cast<long>(length)));
        CKivClipMediaObj loaded;
        EXPECT_THROW(loaded.Serialize(in.ar), CArchiveException) << length;
    }
    // An icon side beyond any thumbnail is refused before anything is allocated for it.
    Bytes huge = bytes;
    const size_t iconSize = bytes.size() - 6 - 8;
    huge[iconSize + 2] = 0x7F;
    Loader in(huge);
    CKivClipMediaObj loaded;
    EXPECT_THROW(loaded.Serialize(in.ar), CArchiveException);
}

TEST(MediaRecordXml, RoundTripThroughText) {
    const auto original = SampleRecord();
    CKivXMLDOMDocObj out;
    original->SerializeXML(&out, out.GetRootNode());
    const CString text = out.SaveToText();

    CKivXMLDOMDocObj in;
    ASSERT_TRUE(in.LoadFromText(text));
    ASSERT_FALSE(in.IsStoring());
    CKivClipMediaObj loaded;
    loaded.SerializeXML(&in, in.GetRootNode());
    ExpectSameRecord(*original, loaded);

    // The element holds DataMember, Icon and BaseObject, in that order.
    IXMLDOMNode* element = in.GetFirstNameMatchChildNode(in.GetRootNode(), L"CKivClipMediaObj");
    ASSERT_NE(element, nullptr);
    const std::wstring xml = text.Text();
    const size_t data = xml.find(L"<DataMember");
    const size_t icon = xml.find(L"<Icon");
    const size_t base = xml.find(L"<BaseObject");
    EXPECT_LT(data, icon);
    EXPECT_LT(icon, base);
    EXPECT_NE(base, std::wstring::npos);
}

TEST(MediaRecordXml, MissingPartsLeaveTheRecordAlone) {
    // No record element: nothing changes.
    CKivXMLDOMDocObj empty;
    ASSERT_TRUE(empty.LoadFromText(L"<KivDocument><Other/></KivDocument>"));
    auto record = SampleRecord();
    record->SerializeXML(&empty, empty.GetRootNode());
    ExpectSameRecord(*SampleRecord(), *record);

    // DataMember without Icon: the values load, the thumbnail stays; a missing or bad value reads as 0.
    CKivXMLDOMDocObj partial;
    ASSERT_TRUE(partial.LoadFromText(
        L"<KivDocument><CKivClipMediaObj Version=\"0\"><DataMember MediaFile=\"/x/y.tga\" ShowName=\"y\" "
        L"SZMediaCx=\"12\" SZMediaCy=\"oops\" BitCount=\"16\" FileSizeLow=\"99\" HighDateTime=\"4294967295\" "
        L"LowDateTime=\"3\"/></CKivClipMediaObj></KivDocument>"));
    record->SerializeXML(&partial, partial.GetRootNode());
    EXPECT_EQ(record->m_strMediaFile, CString(L"/x/y.tga"));
    EXPECT_EQ(record->m_strShowName, CString(L"y"));
    EXPECT_EQ(record->m_szMedia, CSize(12, 0));
    EXPECT_EQ(record->m_wBitCount, 16);
    EXPECT_EQ(record->m_dwFileSizeHigh, 0u);
    EXPECT_EQ(record->m_dwFileSizeLow, 99u);
    EXPECT_EQ(record->m_ftLastWrite.dwHighDateTime, 0xFFFFFFFFu);
    EXPECT_EQ(record->m_ftLastWrite.dwLowDateTime, 3u);
    EXPECT_EQ(record->m_Icon.GetSize(), CSize(2, 1));
}

TEST(MediaRecordList, OwnsWhatItHoldsAndMovesWithoutCopies) {
    CKivObList list;
    CKivObList other;
    for (int i = 0; i < 3; ++i) list.AddTail(SampleRecord().release());
    CObject* first = list.GetHead();

    other.AddTail(&list);
    list.RemoveAll();
    EXPECT_EQ(list.GetCount(), 0);
    ASSERT_EQ(other.GetCount(), 3);
    EXPECT_EQ(other.GetHead(), first);

    POSITION middle = other.FindIndex(1);
    other.DeleteAt(middle);
    EXPECT_EQ(other.GetCount(), 2);

    CKivObList copies;
    copies.Copy(other);
    ASSERT_EQ(copies.GetCount(), 2);
    EXPECT_NE(copies.GetHead(), other.GetHead());
    ExpectSameRecord(*static_cast<CKivClipMediaObj*>(copies.GetHead()),
                     *static_cast<CKivClipMediaObj*>(other.GetHead()));
    other.DeleteAll();
    EXPECT_TRUE(other.IsEmpty());
}

TEST(MediaRecordList, ArchiveAndXmlRoundTrips) {
    CKivObList list;
    for (int i = 0; i < 3; ++i) {
        auto record = SampleRecord();
        record->m_strShowName = std::wstring(L"record ") + std::to_wstring(i);
        list.AddTail(record.release());
    }
    const Bytes bytes = Stored([&](CArchive& ar) { list.Serialize(ar); });
    Loader in(bytes);
    CKivObList loaded;
    loaded.Serialize(in.ar);

    CKivXMLDOMDocObj out;
    list.SerializeXML(&out, out.GetRootNode());
    CKivXMLDOMDocObj xml;
    ASSERT_TRUE(xml.LoadFromText(out.SaveToText()));
    CKivObList fromXml;
    fromXml.SerializeXML(&xml, xml.GetRootNode());

    for (const CKivObList* result : {&loaded, &fromXml}) {
        ASSERT_EQ(result->GetCount(), 3);
        POSITION a = list.GetHeadPosition();
        POSITION b = result->GetHeadPosition();
        while (a && b) {
            auto* expected = dynamic_cast<CKivClipMediaObj*>(list.GetNext(a));
            auto* actual = dynamic_cast<CKivClipMediaObj*>(result->GetNext(b));
            ASSERT_NE(actual, nullptr);
            ExpectSameRecord(*expected, *actual);
        }
    }
}

TEST(MediaRecordList, XmlMakesOnlyTheLibrarysClasses) {
    CKivXMLDOMDocObj xml;
    ASSERT_TRUE(
        xml.LoadFromText(L"<L><Item Class=\"CObList\"/><Item Class=\"NoSuchClass\"/><Item/>"
                         L"<Item Class=\"CKivClipMediaObj\"><CKivClipMediaObj><DataMember "
                         L"MediaFile=\"/a.bmp\"/></CKivClipMediaObj>"
                         L"</Item></L>"));
    CKivObList list;
    list.SerializeXML(&xml, xml.GetRootNode());
    ASSERT_EQ(list.GetCount(), 1);
    EXPECT_EQ(static_cast<CKivClipMediaObj*>(list.GetHead())->m_strMediaFile, CString(L"/a.bmp"));
}
