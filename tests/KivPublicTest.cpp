// The public library: existence checks, colour mixing, pixel blocks and their copies, and thumbnails.

#include <gtest/gtest.h>

#include <climits>

#include "TestFiles.h"
#include "libraries/KivPublic.h"

TEST(KivPublic, ExistenceFollowsLinks) {
    ScratchFolder folder;
    WriteFileBytes(folder.File("file"), {1});
    std::filesystem::create_directory(folder.File("dir"));
    for (const char* name : {"file", "dir", "gone"})
        std::filesystem::create_symlink(name, folder.File(name + std::string("-link")));
    // clang-format off
    const std::tuple<const char*, BOOL, BOOL> cases[] = {
        {"file", TRUE, FALSE}, {"dir", FALSE, TRUE}, {"gone", FALSE, FALSE},
        {"file-link", TRUE, FALSE}, {"dir-link", FALSE, TRUE}, {"gone-link", FALSE, FALSE}};
    // clang-format on
    for (const auto& [name, file, dir] : cases) {
        EXPECT_EQ(!!KivPublicDoesFileExist(Wide(folder.File(name))), !!file) << name;
        EXPECT_EQ(!!KivPublicDoesDirExist(Wide(folder.File(name))), !!dir) << name;
    }
}

// Mode 1 lays a over b: alpha a + b (255 - a) / 255, colours weighted a x 255 : b (255 - a), rounded.
TEST(KivPublic, MixColor) {
    const std::tuple<DWORD, DWORD, int, DWORD> cases[] = {
        {0xFF102030, 0x80405060, 1, 0xFF102030},  // an opaque colour covers anything
        {0x00FFFFFF, 0x80405060, 1, 0x80405060},  // a transparent one leaves b
        {0x00FFFFFF, 0x00123456, 1, 0x00000000},  // two transparent ones give transparent black
        {0x806400C8, 0xFF326400, 1,
         0xFF4B3264},  // blue 200 x 128 / 255 = 100.4, red 12800 + 6350 / 255 = 75.1
        {0x80FF0000, 0x800000FF, 1, 0xC0AA0055},  // alpha 191.7; red 255 x 128 / 191.7 = 170.2, blue 84.8
        {0x00345678, 0xFFFFFFFF, 0, 0x00345678},  // other modes return a
    };
    for (const auto& [a, b, mode, expected] : cases)
        EXPECT_EQ(KivPublicMixColor(tagCOLOR32::FromWord(a), tagCOLOR32::FromWord(b), mode).Word(), expected)
            << std::hex << a;
    CKivMemBlock block;
    for (const CSize size : {CSize(0, 5), CSize(-1, 5), CSize(65536, 16384), CSize(INT_MAX, INT_MAX)})
        EXPECT_FALSE(block.InitBlock(size, nullptr, 0))
            << size.cx << " x " << size.cy << ": empty, or 4 GiB or more";
}

// A 3 x 3 source of letters 'a'..'i' copied into a 4 x 3 target of '.', read back as text.
TEST(KivPublic, MemBlockCopyClipsToBothBlocksAndMixes) {
    // clang-format off
    const std::tuple<CPoint, CRect, MIXMODE, std::string> cases[] = {
        {{0, 0}, {0, 0, 3, 3}, 2, "abc.def.ghi."}, {{-1, -2}, {0, 0, 3, 3}, 2, "hi.........."},
        {{2, 1}, {0, 0, 3, 3}, 2, "......ab..de"}, {{1, 0}, {-1, -1, 2, 2}, 2, "......ab..de"},
        {{0, 0}, {2, 2, 6, 6}, 2, "i..........."}, {{3, 2}, {1, 1, 3, 3}, 2, "...........e"},
        {{-3, 0}, {0, 0, 3, 3}, 2, "............"}, {{0, 0}, {3, 0, 5, 3}, 2, "............"},
        {{INT_MAX - 1, INT_MIN + 1}, {0, 0, 3, 3}, 2, "............"},  // must not wrap into the block
        {{0, 0}, {1, 1, 2, 2}, 0, "e..........."}, {{0, 0}, {1, 1, 2, 2}, 1, "............"},  // over, under opaque
    };
    // clang-format on
    for (const auto& [point, sourceRect, mode, expected] : cases) {
        std::vector<tagCOLOR32> letters, target(12, tagCOLOR32::FromWord(0xFF000000u | '.'));
        for (DWORD i = 0; i < 9; ++i) letters.push_back(tagCOLOR32::FromWord(0xFF000000u | ('a' + i)));
        CKivMemBlock source, destination;
        source.InitBlock(CSize(3, 3), letters.data(), 0);
        destination.InitBlock(CSize(4, 3), target.data(), 0);
        const BOOL copied = destination.Copy(point, source, sourceRect, mode, 1, KIV_FIELD_FRAME);
        std::string text;
        for (const tagCOLOR32& pixel : target) text += static_cast<char>(pixel.Word() & 0xFF);
        EXPECT_EQ(text, expected) << point.x << "," << point.y;
        EXPECT_EQ(!!copied, expected.find_first_not_of('.') != std::string::npos || mode == 1) << point.x;
    }
}

// A 4 x 2 source whose pixels carry their coordinates in blue (x) and green (y), sampled from the rectangle's
// ends and rounded rows, three bytes a pixel: blue, green, red.
TEST(KivPublic, MakeIconSamplesTheRectangle) {
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
