// The BMP writer: header bytes, row order, region cutting, replacement of an existing file only when the
// new one is complete (a full disk leaves the old file as it was), and symbolic links.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "BmpBuilder.h"

namespace {

// A buffer whose every pixel is distinct: 0xAARRGGBB with red = x, green = y, blue = x + y, alpha 255.
std::vector<DWORD> Gradient(int cx, int cy) {
    std::vector<DWORD> pixels;
    for (int y = 0; y < cy; ++y)
        for (int x = 0; x < cx; ++x)
            pixels.push_back(0xFF000000u | static_cast<DWORD>(x) << 16 | static_cast<DWORD>(y) << 8 |
                             static_cast<DWORD>((x + y) & 0xFF));
    return pixels;
}

int Save(const std::string& path, std::vector<DWORD>& pixels, int cx, int cy, CRect region) {
    return KivPictureSaveBMPFile(Wide(path), pixels.data(), CSize(cx, cy), region);
}

std::vector<std::string> FolderEntries(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST(BmpWriter, HeaderFields) {
    ScratchFolder folder;
    auto pixels = Gradient(5, 3);
    ASSERT_EQ(Save(folder.File("h.bmp"), pixels, 5, 3, CRect(0, 0, 5, 3)), 1);
    const Bytes file = ReadFileBytes(folder.File("h.bmp"));
    ASSERT_EQ(file.size(), 54u + 4 * 5 * 3);
    struct Field {
        size_t offset, bytes;
        std::uint32_t value;
        const char* name;
    };
    const Field fields[] = {
        {0, 2, 0x4D42, "type \"BM\""},
        {2, 4, 54 + 60, "file size"},
        {6, 2, 0, "reserved 1"},
        {8, 2, 0, "reserved 2"},
        {10, 4, 54, "offset of the pixel data"},
        {14, 4, 40, "header size"},
        {18, 4, 5, "width"},
        {22, 4, 3, "height, positive: bottom-up"},
        {26, 2, 1, "planes"},
        {28, 2, 32, "bits per pixel"},
        {30, 4, 0, "compression"},
        {34, 4, 60, "image size"},
        {38, 4, 5, "horizontal resolution: the width in pixels"},
        {42, 4, 3, "vertical resolution: the height in pixels"},
        {46, 4, 0, "colours used"},
        {50, 4, 0, "important colours"},
    };
    for (const Field& f : fields)
        EXPECT_EQ(f.bytes == 2 ? FieldLE16(file, f.offset) : FieldLE32(file, f.offset), f.value) << f.name;
}

TEST(BmpWriter, TwoByTwoRegionBottomLeftPixelFirstAlphaKept) {
    ScratchFolder folder;
    std::vector<DWORD> pixels(4 * 4, 0xFFFFFFFF);
    pixels[1 * 4 + 1] = 0x00112233;  // region's top-left, alpha 0
    pixels[1 * 4 + 2] = 0x80445566;
    pixels[2 * 4 + 1] = 0x7F778899;  // region's bottom-left
    pixels[2 * 4 + 2] = 0x01AABBCC;
    ASSERT_EQ(Save(folder.File("r.bmp"), pixels, 4, 4, CRect(1, 1, 3, 3)), 1);
    const Bytes file = ReadFileBytes(folder.File("r.bmp"));
    ASSERT_EQ(file.size(), 70u);
    const Bytes data(file.begin() + 54, file.end());
    EXPECT_EQ(data, (Bytes{0x99, 0x88, 0x77, 0x7F, 0xCC, 0xBB, 0xAA, 0x01, 0x33, 0x22, 0x11, 0x00, 0x66, 0x55,
                           0x44, 0x80}));
}

struct RegionCase {
    CRect region;
    int result;
    int width, height;
    const char* reason;
};

TEST(BmpWriter, RegionIsCutToTheBuffer) {
    const RegionCase cases[] = {
        {CRect(-10, -10, 20, 20), 1, 16, 16,
         "a region reaching past every side is cut to the 16 x 16 buffer"},
        {CRect(12, 14, 40, 15), 1, 4, 1, "cut on the right"},
        {CRect(16, 0, 20, 16), 0, 0, 0, "wholly to the right of the buffer"},
        {CRect(-5, -5, 0, 0), 0, 0, 0, "wholly above and left"},
        {CRect(3, 3, 3, 9), 0, 0, 0, "no width"},
        {CRect(8, 8, 2, 2), 0, 0, 0, "right before left"},
    };
    for (const RegionCase& c : cases) {
        ScratchFolder folder;
        auto pixels = Gradient(16, 16);
        EXPECT_EQ(Save(folder.File("c.bmp"), pixels, 16, 16, c.region), c.result) << c.reason;
        if (!c.result) {
            EXPECT_TRUE(FolderEntries(folder.Path()).empty()) << c.reason << ": no file is created";
            continue;
        }
        int width = 0, height = 0;
        const auto written = PixelsOfWrittenBmp(ReadFileBytes(folder.File("c.bmp")), width, height);
        EXPECT_EQ(width, c.width) << c.reason;
        EXPECT_EQ(height, c.height) << c.reason;
        const CRect cut(
            std::max(0, static_cast<int>(c.region.left)), std::max(0, static_cast<int>(c.region.top)),
            std::min(16, static_cast<int>(c.region.right)), std::min(16, static_cast<int>(c.region.bottom)));
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                EXPECT_EQ(written[y * width + x], pixels[(cut.top + y) * 16 + cut.left + x]) << c.reason;
    }
}

TEST(BmpWriter, RoundTripThroughTheReader) {
    ScratchFolder folder;
    auto pixels = Gradient(7, 5);  // odd width: a 24-bit file would need padding, a 32-bit one never does
    ASSERT_EQ(Save(folder.File("t.bmp"), pixels, 7, 5, CRect(0, 0, 7, 5)), 1);
    const Decoded back = LoadPicture(folder.File("t.bmp"));
    ASSERT_TRUE(back.loaded);
    EXPECT_EQ(back.rect, CRect(0, 0, 7, 5));
    EXPECT_EQ(back.pixels, pixels);
}

TEST(BmpWriter, ExistingFileIsReplaced) {
    ScratchFolder folder;
    WriteFileBytes(folder.File("old.bmp"), Bytes(5000, 0xAB));
    auto pixels = Gradient(2, 2);
    ASSERT_EQ(Save(folder.File("old.bmp"), pixels, 2, 2, CRect(0, 0, 2, 2)), 1);
    EXPECT_EQ(ReadFileBytes(folder.File("old.bmp")).size(), 70u);
    EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{"old.bmp"})
        << "no temporary file is left";
}

TEST(BmpWriter, MissingFolderOrNoBuffer) {
    ScratchFolder folder;
    auto pixels = Gradient(2, 2);
    EXPECT_EQ(Save(folder.File("no/such/folder/x.bmp"), pixels, 2, 2, CRect(0, 0, 2, 2)), 0);
    EXPECT_EQ(KivPictureSaveBMPFile(Wide(folder.File("x.bmp")), nullptr, CSize(2, 2), CRect(0, 0, 2, 2)), 0);
    EXPECT_TRUE(FolderEntries(folder.Path()).empty());
}

// A full disk, made by a file-size limit in a child process: the save fails, the old file keeps every
// byte and the temporary file is removed.
TEST(BmpWriter, FullDiskLeavesTheOldFileAsItWas) {
    ScratchFolder folder;
    const std::string path = folder.File("kept.bmp");
    Bytes old(300);
    for (size_t i = 0; i < old.size(); ++i) old[i] = static_cast<std::uint8_t>(i * 7);
    WriteFileBytes(path, old);

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails with EFBIG instead of killing
        const rlimit limit{200, 200};
        setrlimit(RLIMIT_FSIZE, &limit);
        auto pixels = Gradient(16, 16);  // 54 + 1024 bytes, more than the limit
        _exit(Save(path, pixels, 16, 16, CRect(0, 0, 16, 16)) == 0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the child was killed by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the save did not report its failure";
    EXPECT_EQ(ReadFileBytes(path), old);
    EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{"kept.bmp"})
        << "the temporary file is left";
}

TEST(BmpWriter, SymbolicLinkIsReplacedThrough) {
    ScratchFolder folder;
    std::filesystem::create_directory(folder.Path() / "real");
    const std::string target = folder.File("real/picture.bmp");
    WriteFileBytes(target, Bytes(10, 1));
    const std::string link = folder.File("link.bmp");
    std::filesystem::create_symlink("real/picture.bmp", link);
    auto pixels = Gradient(3, 3);
    ASSERT_EQ(Save(link, pixels, 3, 3, CRect(0, 0, 3, 3)), 1);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(std::filesystem::read_symlink(link), "real/picture.bmp");
    EXPECT_EQ(ReadFileBytes(target).size(), 54u + 36);
    EXPECT_EQ(FolderEntries(folder.Path()), (std::vector<std::string>{"link.bmp", "real"}));
    EXPECT_EQ(FolderEntries(folder.Path() / "real"), std::vector<std::string>{"picture.bmp"});
}

TEST(BmpWriter, LinkToAFileNotYetCreatedCreatesThatFile) {
    ScratchFolder folder;
    std::filesystem::create_directory(folder.Path() / "real");
    std::filesystem::create_symlink("real/new.bmp", folder.File("second.bmp"));
    std::filesystem::create_symlink("second.bmp", folder.File("first.bmp"));  // a chain of two links
    auto pixels = Gradient(2, 2);
    ASSERT_EQ(Save(folder.File("first.bmp"), pixels, 2, 2, CRect(0, 0, 2, 2)), 1);
    EXPECT_TRUE(std::filesystem::is_symlink(folder.File("first.bmp")));
    EXPECT_TRUE(std::filesystem::is_symlink(folder.File("second.bmp")));
    EXPECT_EQ(ReadFileBytes(folder.File("real/new.bmp")).size(), 70u);
}
