// The public library: existence checks, colour mixing, pixel blocks and their copies, and thumbnails.

#include <gtest/gtest.h>

#include <climits>

#include "TestFiles.h"
#include "libraries/KivPublic.h"

TEST(KivPublic, FileAndFolderExistenceFollowLinks) {
    ScratchFolder folder;
    WriteFileBytes(folder.File("file.bmp"), {1});
    std::filesystem::create_directory(folder.File("dir"));
    std::filesystem::create_symlink(folder.File("file.bmp"), folder.File("link-to-file"));
    std::filesystem::create_symlink(folder.File("dir"), folder.File("link-to-dir"));
    std::filesystem::create_symlink(folder.File("gone"), folder.File("dangling"));
    const std::tuple<const char*, BOOL, BOOL> cases[] = {
        {"file.bmp", TRUE, FALSE},     {"dir", FALSE, TRUE},         {"missing", FALSE, FALSE},
        {"link-to-file", TRUE, FALSE}, {"link-to-dir", FALSE, TRUE}, {"dangling", FALSE, FALSE}};
    for (const auto& [name, file, dir] : cases) {
        EXPECT_EQ(!!KivPublicDoesFileExist(Wide(folder.File(name))), !!file) << name;
        EXPECT_EQ(!!KivPublicDoesDirExist(Wide(folder.File(name))), !!dir) << name;
    }
    EXPECT_FALSE(KivPublicDoesFileExist(L"") || KivPublicDoesDirExist(nullptr));
}

// Mode 1 lays a over b: alpha a + b (255 - a) / 255, colours weighted a x 255 : b (255 - a), rounded.
TEST(KivPublic, MixColor) {
    const std::tuple<DWORD, DWORD, int, DWORD> cases[] = {
        {0xFF102030, 0x80405060, 1, 0xFF102030},  // an opaque colour covers anything
        {0x00FFFFFF, 0x80405060, 1, 0x80405060},  // a transparent one leaves b
        {0x00FFFFFF, 0x00123456, 1, 0x00000000},  // two transparent ones give transparent black
        {0x806400C8, 0xFF326400, 1,
         0xFF4B3264},  // blue 200 x 128 / 255 = 100.4, red (100 x 128 + 50 x 127) / 255 = 75.1
        {0x80FF0000, 0x800000FF, 1, 0xC0AA0055},  // alpha 191.7; red 255 x 128 / 191.7 = 170.2, blue 84.8
        {0x12345678, 0xFFFFFFFF, 0, 0x12345678},  // other modes return a
        {0x00345678, 0xFFFFFFFF, -1, 0x00345678},
    };
    for (const auto& [a, b, mode, expected] : cases)
        EXPECT_EQ(KivPublicMixColor(tagCOLOR32::FromWord(a), tagCOLOR32::FromWord(b), mode).Word(), expected)
            << std::hex << a;
}

TEST(KivPublic, MemBlockRefusesSizesAndPointsOutside) {
    CKivMemBlock block;
    for (const CSize size : {CSize(0, 5), CSize(-1, 5), CSize(65536, 16384), CSize(INT_MAX, INT_MAX)}) {
        ASSERT_TRUE(block.InitBlock(CSize(2, 2), nullptr, 0));
        EXPECT_FALSE(block.InitBlock(size, nullptr, 0))
            << size.cx << " x " << size.cy << ": 4 GiB or more, or empty";
        EXPECT_EQ(block.GetPixelAddress(0, 0), nullptr) << "a failed InitBlock leaves the block empty";
    }
    ASSERT_TRUE(block.InitBlock(CSize(2, 2), nullptr, 0));
    EXPECT_EQ(block.GetPixelAddress(1, 1), block.GetAddress() + 3);
    for (const CPoint p : {CPoint(-1, 0), CPoint(2, 0), CPoint(0, 2), CPoint(INT_MIN, INT_MAX)})
        EXPECT_EQ(block.GetPixelAddress(p.x, p.y), nullptr) << p.x << "," << p.y;
}

// A 3 x 3 source of letters 'a'..'i' copied into a 4 x 3 target of '.', read back as text.
TEST(KivPublic, MemBlockCopyClipsToBothBlocksAndMixes) {
    const std::tuple<CPoint, CRect, std::string> cases[] = {
        {{0, 0}, {0, 0, 3, 3}, "abc.|def.|ghi.|"},
        {{-1, -2}, {0, 0, 3, 3}, "hi..|....|....|"},
        {{2, 1}, {0, 0, 3, 3}, "....|..ab|..de|"},
        {{1, 0}, {-1, -1, 2, 2}, "....|..ab|..de|"},
        {{0, 0}, {2, 2, 6, 6}, "i...|....|....|"},
        {{3, 2}, {1, 1, 3, 3}, "....|....|...e|"},
        {{-3, 0}, {0, 0, 3, 3}, "....|....|....|"},
        {{0, 0}, {3, 0, 5, 3}, "....|....|....|"},
        {{INT_MAX - 1, INT_MIN + 1}, {0, 0, 3, 3}, "....|....|....|"},  // must not wrap into the block
    };
    for (const auto& [point, sourceRect, expected] : cases) {
        std::vector<tagCOLOR32> letters, target(12, tagCOLOR32::FromWord('.'));
        for (DWORD i = 0; i < 9; ++i) letters.push_back(tagCOLOR32::FromWord(0xFF000000u | ('a' + i)));
        CKivMemBlock source, destination;
        source.InitBlock(CSize(3, 3), letters.data(), 0);
        destination.InitBlock(CSize(4, 3), target.data(), 0);
        const BOOL copied = destination.Copy(point, source, sourceRect, 2, 1, KIV_FIELD_FRAME);
        std::string text;
        for (size_t i = 0; i < target.size(); ++i)
            (text += static_cast<char>(target[i].Word() & 0xFF)) += i % 4 == 3 ? "|" : "";
        EXPECT_EQ(text, expected) << point.x << "," << point.y;
        EXPECT_EQ(!!copied, expected.find_first_not_of(".|") != std::string::npos)
            << point.x << "," << point.y;
    }
    // Onto opaque blue: opaque red by mode 0 (over) and 1 (under), transparent red by mode 2 (replace).
    const std::tuple<DWORD, MIXMODE, DWORD> modes[] = {
        {0xFFFF0000, 0, 0xFFFF0000}, {0xFFFF0000, 1, 0xFF0000FF}, {0x00FF0000, 2, 0x00FF0000}};
    for (const auto& [word, mode, expected] : modes) {
        tagCOLOR32 source = tagCOLOR32::FromWord(word), target = tagCOLOR32::FromWord(0xFF0000FF);
        CKivMemBlock from, to;
        from.InitBlock(CSize(1, 1), &source, 0);
        to.InitBlock(CSize(1, 1), &target, 0);
        EXPECT_TRUE(to.Copy(CPoint(0, 0), from, CRect(0, 0, 1, 1), mode, 1, KIV_FIELD_FRAME));
        EXPECT_EQ(target.Word(), expected) << "mode " << mode;
    }
}

TEST(KivPublic, InsLineToUnicodeAndMakeIcon) {
    const std::tuple<int, int, std::vector<int>> lines[] = {{0, 9, {0, 3, 6, 9}},
                                                            {0, 99, {0, 25, 50, 74, 99}},
                                                            {0, 1, {0, 0, 1, 1}},
                                                            {9, 0, {9, 6, 3, 0}},
                                                            {5, 40, {5}}};
    for (const auto& [first, last, expected] : lines) {
        std::vector<int> table(expected.size(), -1);
        KivPublicInsLine(first, last, static_cast<int>(table.size()), table.data());
        EXPECT_EQ(table, expected) << first << ".." << last << ": both ends, the nearest column between";
    }
    EXPECT_EQ(KivPublicToUnicode("caf\xE9"), CString(L"caf\u00E9")) << "each byte widened";
    EXPECT_EQ(KivPublicToUnicode(nullptr), CString());

    // A 4 x 2 source whose pixels carry their coordinates in blue (x) and green (y), sampled from the
    // rectangle's ends and rounded rows, three bytes a pixel: blue, green, red.
    std::vector<tagCOLOR32> source;
    for (BYTE y = 0; y < 2; ++y)
        for (BYTE x = 0; x < 4; ++x) source.push_back(tagCOLOR32{x, y, 200, 0});
    BYTE* icon = KivPublicMakeIcon(source.data(), CSize(4, 2), CRect(1, 0, 4, 2), CSize(2, 3), 24);
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(Bytes(icon, icon + 18),
              (Bytes{1, 0, 200, 3, 0, 200, 1, 1, 200, 3, 1, 200, 1, 1, 200, 3, 1, 200}));
    GlobalFree(icon);
    EXPECT_EQ(KivPublicMakeIcon(source.data(), CSize(4, 2), CRect(5, 5, 9, 9), CSize(2, 2), 24), nullptr);
    EXPECT_EQ(KivPublicMakeIcon(source.data(), CSize(4, 2), CRect(0, 0, 4, 2), CSize(0, 2), 24), nullptr);
    EXPECT_EQ(KivPublicMakeIcon(source.data(), CSize(4, 2), CRect(0, 0, 4, 2), CSize(2, 2), 32), nullptr);
}
