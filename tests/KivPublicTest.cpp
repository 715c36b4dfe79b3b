// The public library: existence checks, colour mixing and pixel blocks.

#include <climits>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestFiles.h"
#include "libraries/KivPublic.h"

namespace {

TEST(KivPublic, FileAndFolderExistence) {
    ScratchFolder folder;
    WriteFileBytes(folder.File("file.bmp"), {1});
    std::filesystem::create_directory(folder.File("dir"));
    std::filesystem::create_symlink(folder.File("file.bmp"), folder.File("link-to-file"));
    std::filesystem::create_symlink(folder.File("dir"), folder.File("link-to-dir"));
    std::filesystem::create_symlink(folder.File("gone"), folder.File("dangling"));
    const struct {
        std::string name;
        BOOL file, dir;
        const char* reason;
    } cases[] = {
        {"file.bmp", TRUE, FALSE, "a regular file"},
        {"dir", FALSE, TRUE, "a folder"},
        {"missing", FALSE, FALSE, "nothing there"},
        {"link-to-file", TRUE, FALSE, "a link counts as what it points to"},
        {"link-to-dir", FALSE, TRUE, "a link to a folder"},
        {"dangling", FALSE, FALSE, "a link to nothing"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(!!KivPublicDoesFileExist(Wide(folder.File(c.name))), !!c.file) << c.reason;
        EXPECT_EQ(!!KivPublicDoesDirExist(Wide(folder.File(c.name))), !!c.dir) << c.reason;
    }
    EXPECT_FALSE(KivPublicDoesFileExist(L""));
    EXPECT_FALSE(KivPublicDoesDirExist(nullptr));
}

TEST(KivPublic, MixColor) {
    const struct {
        DWORD a, b;
        int mode;
        DWORD expected;
        const char* reason;
    } cases[] = {
        {0xFF102030, 0x80405060, 1, 0xFF102030, "an opaque colour covers anything"},
        {0x00FFFFFF, 0x80405060, 1, 0x80405060, "a transparent colour leaves b as it was"},
        {0x00FFFFFF, 0x00123456, 1, 0x00000000, "two transparent colours give transparent black"},
        // alpha 128 + 255 * 127 / 255 = 255; blue 200 * 128 / 255 = 100.4; green 100 * 127 / 255 = 49.8;
        // red (100 * 128 + 50 * 127) / 255 = 75.1
        {0x806400C8, 0xFF326400, 1, 0xFF4B3264, "half-covering red-blue over opaque"},
        // alpha 128 + 128 * 127 / 255 = 191.7; weights 128 : 63.7 give red 255 * 128 / 191.7 = 170.2 and
        // blue 255 * 63.7 / 191.7 = 84.8
        {0x80FF0000, 0x800000FF, 1, 0xC0AA0055, "half red over half blue"},
        {0x12345678, 0xFFFFFFFF, 0, 0x12345678, "mode 0 returns a"},
        {0x12345678, 0xFFFFFFFF, 2, 0x12345678, "mode 2 returns a"},
        {0x00345678, 0xFFFFFFFF, -1, 0x00345678, "a negative mode returns a"},
    };
    for (const auto& c : cases) {
        const tagCOLOR32 mixed =
            KivPublicMixColor(tagCOLOR32::FromWord(c.a), tagCOLOR32::FromWord(c.b), c.mode);
        EXPECT_EQ(mixed.Word(), c.expected) << std::hex << mixed.Word() << ": " << c.reason;
    }
}

TEST(MemBlock, ViewsOrOwnsPixels) {
    std::vector<tagCOLOR32> pixels(6, tagCOLOR32::FromWord(0x11111111));
    CKivMemBlock block;
    ASSERT_TRUE(block.InitBlock(CSize(3, 2), pixels.data(), 0));
    EXPECT_EQ(block.GetAddress(), pixels.data()) << "a caller's buffer is viewed, not copied";
    EXPECT_EQ(block.GetRect(), CRect(0, 0, 3, 2));
    *block.GetPixelAddress(2, 1) = tagCOLOR32::FromWord(0xFF00FF00);
    EXPECT_EQ(pixels[5].Word(), 0xFF00FF00u) << "rows top to bottom, stride cx";
    block.Close();
    EXPECT_EQ(pixels[0].Word(), 0x11111111u) << "closing a view leaves the caller's pixels";

    ASSERT_TRUE(block.InitBlock(CSize(2, 2), nullptr, 0));
    ASSERT_NE(block.GetAddress(), nullptr);
    EXPECT_NE(block.GetAddress(), pixels.data());
    for (int i = 0; i < 4; ++i) EXPECT_EQ(block.GetAddress()[i].Word(), 0u) << "new pixels start zeroed";
    EXPECT_EQ(block.GetPixelAddress(1, 1), block.GetAddress() + 3);
    for (const CPoint p :
         {CPoint(-1, 0), CPoint(0, -1), CPoint(2, 0), CPoint(0, 2), CPoint(INT_MIN, INT_MAX)})
        EXPECT_EQ(block.GetPixelAddress(p.x, p.y), nullptr) << p.x << "," << p.y << " is outside";
}

TEST(MemBlock, InitBlockRefusesBadSizes) {
    const struct {
        CSize size;
        const char* reason;
    } cases[] = {
        {CSize(0, 5), "no columns"},
        {CSize(5, 0), "no rows"},
        {CSize(-1, 5), "negative width"},
        {CSize(65536, 16384), "4 GiB of pixels: one byte too many for 32 bits"},
        {CSize(INT_MAX, INT_MAX), "a product that overflows 32 bits twice over"},
    };
    for (const auto& c : cases) {
        CKivMemBlock block;
        ASSERT_TRUE(block.InitBlock(CSize(2, 2), nullptr, 0));
        EXPECT_FALSE(block.InitBlock(c.size, nullptr, 0)) << c.reason;
        EXPECT_EQ(block.GetAddress(), nullptr) << c.reason << ": a failed InitBlock leaves the block empty";
        EXPECT_EQ(block.GetPixelAddress(0, 0), nullptr) << c.reason;
    }
}

// A 3 x 3 source of letters 'a'..'i' is copied into a 4 x 3 target of '.'; the target is read back as text.
std::string CopyLetters(CPoint point, CRect sourceRect, BOOL& copied) {
    std::vector<tagCOLOR32> letters(9), target(12, tagCOLOR32::FromWord('.'));
    for (DWORD i = 0; i < 9; ++i) letters[i] = tagCOLOR32::FromWord(0xFF000000u | ('a' + i));
    CKivMemBlock source, destination;
    source.InitBlock(CSize(3, 3), letters.data(), 0);
    destination.InitBlock(CSize(4, 3), target.data(), 0);
    copied = destination.Copy(point, source, sourceRect, 2, 1, KIV_FIELD_FRAME);
    std::string text;
    for (size_t i = 0; i < target.size(); ++i) {
        text += static_cast<char>(target[i].Word() & 0xFF);
        if (i % 4 == 3) text += '|';
    }
    return text;
}

TEST(MemBlock, CopyClipsToBothBlocks) {
    const struct {
        CPoint point;
        CRect sourceRect;
        std::string expected;
        const char* reason;
    } cases[] = {
        {{0, 0}, {0, 0, 3, 3}, "abc.|def.|ghi.|", "whole source at the corner"},
        {{-1, -2}, {0, 0, 3, 3}, "hi..|....|....|", "cut at the left and top edges"},
        {{2, 1}, {0, 0, 3, 3}, "....|..ab|..de|", "cut at the right and bottom edges"},
        {{-1, -1}, {0, 0, 3, 3}, "ef..|hi..|....|", "a negative point"},
        {{1, 0},
         {-1, -1, 2, 2},
         "....|..ab|..de|",
         "a source rectangle reaching above and left of the source"},
        {{0, 0}, {2, 2, 6, 6}, "i...|....|....|", "a source rectangle reaching past the source"},
        {{3, 2}, {1, 1, 3, 3}, "....|....|...e|", "only the first pixel lands in the target"},
        {{0, 0}, {1, 0, 2, 3}, "b...|e...|h...|", "one column"},
        {{4, 0}, {0, 0, 3, 3}, "....|....|....|", "entirely right of the target"},
        {{-3, 0}, {0, 0, 3, 3}, "....|....|....|", "entirely left of the target"},
        {{0, 0}, {3, 0, 5, 3}, "....|....|....|", "a source rectangle outside the source"},
        {{INT_MAX - 1, INT_MIN + 1},
         {0, 0, 3, 3},
         "....|....|....|",
         "a far point must not wrap into the block"},
    };
    for (const auto& c : cases) {
        BOOL copied = FALSE;
        EXPECT_EQ(CopyLetters(c.point, c.sourceRect, copied), c.expected) << c.reason;
        EXPECT_EQ(!!copied, c.expected.find_first_not_of(".|") != std::string::npos) << c.reason;
    }
}

TEST(MemBlock, CopyCombinesByMode) {
    const struct {
        DWORD source, target;
        MIXMODE mode;
        DWORD expected;
        const char* reason;
    } cases[] = {
        {0xFFFF0000, 0xFF0000FF, 0, 0xFFFF0000, "mode 0 lays the opaque source over the target"},
        {0xFFFF0000, 0xFF0000FF, 1, 0xFF0000FF, "mode 1 lays the opaque target over the source"},
        {0xFFFF0000, 0xFF0000FF, 2, 0xFFFF0000, "mode 2 replaces"},
        {0x00FF0000, 0xFF0000FF, 0, 0xFF0000FF, "a transparent source over the target leaves it"},
        {0x00FF0000, 0xFF0000FF, 9, 0x00FF0000, "any other mode replaces"},
    };
    for (const auto& c : cases) {
        tagCOLOR32 source = tagCOLOR32::FromWord(c.source), target = tagCOLOR32::FromWord(c.target);
        CKivMemBlock from, to;
        from.InitBlock(CSize(1, 1), &source, 0);
        to.InitBlock(CSize(1, 1), &target, 0);
        EXPECT_TRUE(to.Copy(CPoint(0, 0), from, CRect(0, 0, 1, 1), c.mode, 1, KIV_FIELD_FRAME)) << c.reason;
        EXPECT_EQ(target.Word(), c.expected) << c.reason;
    }
}

}  // namespace

TEST(KivPublicInsLine, SpreadsEntriesEvenlyWithBothEnds) {
    const struct {
        int first, last, count;
        std::vector<int> expected;
        const char* reason;
    } cases[] = {
        {0, 9, 4, {0, 3, 6, 9}, "both ends included, steps of 3"},
        {0, 99, 5, {0, 25, 50, 74, 99}, "rounded to the nearest column"},
        {10, 10, 3, {10, 10, 10}, "one source column repeated"},
        {0, 1, 4, {0, 0, 1, 1}, "more entries than columns repeat them"},
        {9, 0, 4, {9, 6, 3, 0}, "a falling range"},
        {5, 40, 1, {5}, "one entry is the first"},
    };
    for (const auto& c : cases) {
        std::vector<int> table(c.expected.size(), -1);
        KivPublicInsLine(c.first, c.last, c.count, table.data());
        EXPECT_EQ(table, c.expected) << c.reason;
    }
}

TEST(KivPublicToUnicode, WidensEachByte) {
    EXPECT_EQ(KivPublicToUnicode("CKivClipMediaObj"), CString(L"CKivClipMediaObj"));
    EXPECT_EQ(KivPublicToUnicode("caf\xE9"), CString(L"caf\u00E9"));
    EXPECT_EQ(KivPublicToUnicode(nullptr), CString());
}

TEST(KivPublicMakeIcon, SamplesTheSourceRectangle) {
    // A 4 x 2 source whose pixels carry their own coordinates in blue (x) and green (y).
    std::vector<tagCOLOR32> source;
    for (BYTE y = 0; y < 2; ++y)
        for (BYTE x = 0; x < 4; ++x) source.push_back(tagCOLOR32{x, y, 200, 0});
    BYTE* icon = KivPublicMakeIcon(source.data(), CSize(4, 2), CRect(1, 0, 4, 2), CSize(2, 3), 24);
    ASSERT_NE(icon, nullptr);
    // Columns 1 and 3 (the rectangle's ends), rows 0, 1 and 1 (rounded), three bytes blue, green, red.
    const std::vector<BYTE> expected = {1, 0, 200, 3, 0, 200, 1, 1, 200, 3, 1, 200, 1, 1, 200, 3, 1, 200};
    EXPECT_EQ(std::vector<BYTE>(icon, icon + expected.size()), expected);
    GlobalFree(icon);
    EXPECT_EQ(KivPublicMakeIcon(source.data(), CSize(4, 2), CRect(5, 5, 9, 9), CSize(2, 2), 24), nullptr)
        << "a rectangle outside the source";
    EXPECT_EQ(KivPublicMakeIcon(source.data(), CSize(4, 2), CRect(0, 0, 4, 2), CSize(0, 2), 24), nullptr)
        << "an empty thumbnail";
    EXPECT_EQ(KivPublicMakeIcon(source.data(), CSize(4, 2), CRect(0, 0, 4, 2), CSize(2, 2), 32), nullptr)
        << "only 24-bit thumbnails";
}
