// The media record: comparison, the facts and thumbnail read from its picture, its archive and XML forms.

#include <gtest/gtest.h>

#include "CoreTestSupport.h"
#include "libraries/KivModuleRC.h"
#include "media/ClipMediaFileCollection.h"
#include "media/ClipMediaObj.h"

namespace {

// A record with every value set and a 2 x 1 thumbnail.
std::unique_ptr<CKivClipMediaObj> Sample() {
    auto record = std::make_unique<CKivClipMediaObj>();
    record->m_strMediaFile = L"/pics/Sea \u00e9\U0001F30A.bmp", record->m_strShowName = L"Sea.bmp";
    record->m_szMedia = CSize(640, -480), record->m_wBitCount = 24,
    record->m_ftLastWrite = {0x11223344, 0x55667788};
    record->m_dwFileSizeHigh = 0x01020304, record->m_dwFileSizeLow = 0xA0B0C0D0;
    auto* bits = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, 6));
    for (BYTE i = 0; i < 6; ++i) bits[i] = i + 1;
    record->m_Icon.SetIcon(bits, CSize(2, 1));
    return record;
}

// Every value of a record, the thumbnail's pixels included, as one comparable text.
std::string Facts(const CObject* object) {
    const auto* r = dynamic_cast<const CKivClipMediaObj*>(object);
    if (!r) return "no record";
    const CSize icon = r->m_Icon.GetSize();
    std::string text = r->m_strMediaFile.ToFileSystem() + "|" + r->m_strShowName.ToUtf8();
    for (const long long v :
         {0LL + r->m_szMedia.cx, 0LL + r->m_szMedia.cy, 0LL + r->m_wBitCount, 0LL + r->m_dwFileSizeHigh,
          0LL + r->m_dwFileSizeLow, 0LL + r->m_ftLastWrite.dwHighDateTime,
          0LL + r->m_ftLastWrite.dwLowDateTime, 0LL + icon.cx, 0LL + icon.cy})
        text.append("|").append(std::to_string(v));
    if (!r->m_Icon.IsEmpty()) text.append(r->m_Icon.GetBits(), r->m_Icon.GetBits() + icon.cx * icon.cy * 3);
    return text;
}

}  // namespace

TEST(MediaRecord, CompareMediaLooksAtPathSizeAndTimeOnly) {
    using R = CKivClipMediaObj&;
    // clang-format off
    const std::pair<void (*)(R), int> cases[] = {  // 1: the same file; 0: another file or another version
        {[](R r) { r.m_strMediaFile = L"/PICS/sea \u00e9\U0001F30A.BMP"; }, 0},  // letter case, no such file
        {[](R r) { r.m_strShowName = L"other", r.m_szMedia = CSize(1, 1), r.m_Icon.Clear(); }, 1},
        {[](R r) { r.m_strMediaFile = L"/pic/Sea \u00e9\U0001F30A.bmp"; }, 0},
        {[](R r) { ++r.m_dwFileSizeHigh; }, 0},
        {[](R r) { ++r.m_dwFileSizeLow; }, 0}, {[](R r) { ++r.m_ftLastWrite.dwHighDateTime; }, 0},
        {[](R r) { ++r.m_ftLastWrite.dwLowDateTime; }, 0}};
    // clang-format on
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto a = Sample(), b = Sample();
        cases[i].first(*b);
        EXPECT_EQ(a->CompareMedia(b.get()), cases[i].second) << "case " << i;
        EXPECT_EQ(b->CompareMedia(a.get()), cases[i].second) << "case " << i;
    }
    // Names that differ by letter case are one file only where they lead to one, as on a file system that
    // folds case (here a hard link stands in for one).
    ScratchFolder folder;
    for (const char* name : {"a.bmp", "b.bmp", "B.bmp"}) WriteFileBytes(folder.File(name), {1});
    std::filesystem::create_hard_link(folder.File("a.bmp"), folder.File("A.bmp"));
    for (const auto& [name, same] : {std::pair{"a", 1}, {"b", 0}}) {
        const auto lower = Sample(), upper = Sample();
        lower->m_strMediaFile = Wide(folder.File(std::string(name) + ".bmp"));
        upper->m_strMediaFile = Wide(folder.File(std::string(1, char(std::toupper(*name))) + ".bmp"));
        EXPECT_EQ(lower->CompareMedia(upper.get()), same) << name;
    }
}

// Pictures get their name as title, their size and bits, and an 80 x 60 thumbnail (blue, green, red);
// gray pictures their own title and an 80 x 70 thumbnail.
TEST(MediaRecord, MakeExtInfoReadsThePicture) {
    ScratchFolder folder;
    std::vector<DWORD> pixels(160 * 90);  // the left half one colour, the right half another
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = i % 160 < 80 ? 0xFF102030 : 0xFFC0B0A0;
    CKivClipMediaObj record;
    record.m_strMediaFile = Wide(folder.File("Wide.BMP"));
    ASSERT_EQ(
        KivPictureSaveBMPFile(record.m_strMediaFile, pixels.data(), CSize(160, 90), CRect(0, 0, 160, 90)), 1);
    ASSERT_EQ(record.MakeExtInfo(), 1);
    EXPECT_EQ(record.m_strShowName, CString(L"Wide.BMP"));
    EXPECT_EQ(record.m_szMedia, CSize(160, 90));
    EXPECT_EQ(record.m_wBitCount, 32);
    ASSERT_EQ(record.m_Icon.GetSize(), CSize(80, 60));
    const BYTE* icon = record.m_Icon.GetBits();
    EXPECT_EQ(Bytes(icon + 3 * (59 * 80 + 39), icon + 3 * (59 * 80 + 41)),
              (Bytes{0x30, 0x20, 0x10, 0xA0, 0xB0, 0xC0}))
        << "the last row's middle: the left and the right colour";

    const BYTE gray[4] = {10, 200, 20, 210};  // dark left, light right, the top darker
    CKivClipMediaObj scan;
    scan.m_strMediaFile = Wide(folder.File("scan.amy"));
    scan.m_szMedia = CSize(5, 5);
    ASSERT_TRUE(CKivGrayFile::Save(scan.m_strMediaFile, L"Scan title", gray, CSize(2, 2)));
    ASSERT_EQ(scan.MakeExtInfo(), 1);
    EXPECT_EQ(scan.m_strShowName, CString(L"Scan title"));
    EXPECT_EQ(scan.m_szMedia, CSize(5, 5)) << "a gray picture's size is not taken";
    ASSERT_EQ(scan.m_Icon.GetSize(), CSize(80, 70));
    const BYTE* bits = scan.m_Icon.GetBits();
    EXPECT_EQ(Bytes({bits[0], bits[1], bits[2], bits[3 * 79], bits[3 * 69 * 80], bits[3 * (69 * 80 + 79)]}),
              (Bytes{10, 10, 10, 200, 20, 210}));
    CKivClipMediaObj rejected;
    rejected.m_strMediaFile = folder.Write("bad.AMY", Bytes{'n', 'o', 'p', 'e'});
    rejected.m_strShowName = L"old";
    EXPECT_EQ(rejected.MakeExtInfo(), 1) << "a bad gray file stays a record without title and thumbnail";
    EXPECT_TRUE(rejected.m_strShowName.IsEmpty() && rejected.m_Icon.IsEmpty());
}

TEST(MediaRecord, CopiesAreDeepAndIconsTheLoadsWouldRefuseAreNotTaken) {
    const auto original = Sample();
    std::unique_ptr<CKivObject> copy(original->MakeCopy());
    EXPECT_EQ(Facts(copy.get()), Facts(original.get()));
    for (CSize size : {CSize(0, 5), CSize(-1, 5), CSize(CKivIconObj::kMaxSide + 1, 1)}) {
        CKivIconObj icon;
        icon.SetIcon(static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, 3)), size);  // released by SetIcon
        EXPECT_TRUE(icon.IsEmpty()) << size.cx;
    }
}

// The archive form: the base part's and the record's versions, path, title, size, bits, file size high and
// low, time high and low, then the thumbnail (its versions, size and pixels).
TEST(MediaRecord, ArchiveFormAndHostileBytes) {
    CKivClipMediaObj record;
    // A name's byte that is no UTF-8 is kept as the lone surrogate U+DCE9.
    record.m_strMediaFile = CString::FromFileSystem("p\xe9"), record.m_strShowName = L"t";
    record.m_szMedia = CSize(3, -1);
    record.m_wBitCount = 0x1234, record.m_dwFileSizeHigh = 5, record.m_dwFileSizeLow = 6;
    record.m_ftLastWrite = {1, 2};  // low 1, high 2
    Bytes expected = {0, 0, 0, 0, 0xFF, 0xFE, 0xFF, 2, 'p', 0, 0xE9, 0xDC, 0xFF, 0xFE, 0xFF, 1, 't', 0};
    for (std::uint32_t value : {3u, 0xFFFFFFFFu}) PutU32(expected, value);
    PutU16(expected, 0x1234);
    for (std::uint32_t value : {5u, 6u, 2u, 1u, 0u, 0u, 0u}) PutU32(expected, value);
    EXPECT_EQ(Stored([&](CArchive& ar) { record.Serialize(ar); }), expected);

    const auto original = Sample();
    original->m_strMediaFile = CString::FromFileSystem("/pics/caf\xe9 \xff\xc3.bmp");
    Bytes bytes = Stored([&](CArchive& ar) { original->Serialize(ar); });
    bytes[2] = 7;  // any version of the record loads
    Loader in(bytes);
    CKivClipMediaObj loaded;
    loaded.Serialize(in.ar);
    EXPECT_EQ(Facts(&loaded), Facts(original.get()));
    EXPECT_EQ(in.ar.GetRemainingBytes(), 0u);
    Bytes hugeIcon = bytes;
    hugeIcon[bytes.size() - 6 - 8 + 2] = 0x7F;  // an icon side beyond any thumbnail
    for (const Bytes& hostile : {Head(bytes, 3), Head(bytes, 20), Head(bytes, -1), hugeIcon}) {
        Loader cut(hostile);
        CKivClipMediaObj refused;
        EXPECT_THROW(refused.Serialize(cut.ar), CArchiveException) << hostile.size();
    }
}

// The XML form, here of a cache holding one record: the record's members, its thumbnail, its base part.
TEST(MediaRecord, XmlFormAndHostileDocuments) {
    CKivClipMediaFileCollection cache, loaded;
    cache.m_MediaList.AddTail(Sample().release());
    auto* original = static_cast<CKivClipMediaObj*>(cache.m_MediaList.GetHead());
    original->m_strMediaFile = CString::FromFileSystem("/pics/caf\xe9 \xff\xc3.bmp");
    CKivXMLDOMDocObj out;
    cache.SerializeXML(&out, out.GetRootNode());
    const std::string text = out.SaveToText().ToUtf8();
    EXPECT_LT(text.find("<DataMember MediaFile"), text.find("<Icon"));
    EXPECT_LT(text.find("<Icon"), text.find("<BaseObject"));
    CKivXMLDOMDocObj in;
    ASSERT_TRUE(in.LoadFromText(Wide(text)));
    loaded.SerializeXML(&in, in.GetRootNode());
    ASSERT_EQ(loaded.m_MediaList.GetCount(), 1);
    EXPECT_EQ(Facts(loaded.m_MediaList.GetHead()), Facts(original));

    // A list makes only the library's own classes, whatever the document names.
    ASSERT_TRUE(
        in.LoadFromText(L"<L><Item Class=\"CObList\"/><Item Class=\"NoSuchClass\"/><Item/><Item "
                        L"Class=\"CKivClipMediaObj\"><CKivClipMediaObj><DataMember MediaFile=\"/a.bmp\"/>"
                        L"</CKivClipMediaObj></Item></L>"));
    CKivObList list;
    list.SerializeXML(&in, in.GetRootNode());
    ASSERT_EQ(list.GetCount(), 1);
    EXPECT_EQ(static_cast<CKivClipMediaObj*>(list.GetHead())->m_strMediaFile, CString(L"/a.bmp"));

    // A path's bytes that are no UTF-8 come from the companion attribute only while the path still shows
    // them.
    const std::tuple<const wchar_t*, const wchar_t*, std::string> paths[] = {
        {L"/a\uFFFD.bmp", L"/a%E9.bmp", "/a\xe9.bmp"},
        {L"/b.bmp", L"/a%E9.bmp", "/b.bmp"},                    // edited by hand since: the edit wins
        {L"/a\uFFFD.bmp", L"/a%E.bmp", "/a\xef\xbf\xbd.bmp"}};  // a companion that does not decode
    for (const auto& [shown, bytes, path] : paths) {
        ASSERT_TRUE(in.LoadFromText(CString(L"<R><CKivClipMediaObj><DataMember MediaFile=\"") + shown +
                                    L"\" MediaFile.bytes=\"" + bytes + L"\"/></CKivClipMediaObj></R>"));
        CKivClipMediaObj record;
        record.SerializeXML(&in, in.GetRootNode());
        EXPECT_EQ(record.m_strMediaFile.ToFileSystem(), path) << CString(bytes).ToUtf8();
    }
}
