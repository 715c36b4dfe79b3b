// The command-line tool: `kivpic convert IN OUT [--region L,T,R,B] [--json]`, its exit statuses and
// messages, and a round trip of every corpus bitmap the reader accepts.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>

#include "BmpBuilder.h"
#include "libraries/KivModuleRC.h"
#include "media/ClipMediaFileCollection.h"

namespace {

struct ToolRun {
    int exitStatus = -1;
    std::string out;
    std::vector<std::string> errorLines;
};

std::string Quote(const std::string& text) {
    return "'" + text + "'";
}

ToolRun Kivpic(const std::string& arguments) {
    ScratchFolder scratch;
    const std::string errors = scratch.File("stderr.txt");
    const std::string command = Quote(KIVPIC_PATH) + " " + arguments + " 2>" + Quote(errors);
    ToolRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return run;
    char chunk[4096];
    for (size_t got; (got = fread(chunk, 1, sizeof chunk, pipe)) > 0;) run.out.append(chunk, got);
    const int status = pclose(pipe);
    run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    const Bytes text = ReadFileBytes(errors);
    std::istringstream lines(std::string(text.begin(), text.end()));
    for (std::string line; std::getline(lines, line);) run.errorLines.push_back(line);
    return run;
}

Bytes Picture24(int width, int height) {
    std::vector<std::vector<std::uint32_t>> rows;
    for (int y = 0; y < height; ++y) {
        rows.emplace_back();
        for (int x = 0; x < width; ++x)
            rows.back().push_back(static_cast<std::uint32_t>(0x102030 * (x + 1) + 0x0A * y));
    }
    BmpFile file;
    file.width = width;
    file.height = height;
    file.bitsPerPixel = 24;
    file.pixelData = StoredRows(rows, 24);
    return file.Build();
}

}  // namespace

TEST(Kivpic, ConvertBmpToBmpExactly) {
    ScratchFolder folder;
    folder.Write("in.bmp", Picture24(5, 3));
    const ToolRun run =
        Kivpic("convert " + Quote(folder.File("in.bmp")) + " " + Quote(folder.File("out.bmp")));
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(run.errorLines.empty());
    const Decoded in = LoadPicture(folder.File("in.bmp"));
    const Decoded out = LoadPicture(folder.File("out.bmp"));
    ASSERT_TRUE(out.loaded);
    EXPECT_EQ(out.rect, in.rect);
    EXPECT_EQ(out.pixels, in.pixels);
}

TEST(Kivpic, RegionAndJson) {
    ScratchFolder folder;
    folder.Write("in.bmp", Picture24(5, 3));
    const ToolRun run = Kivpic("convert " + Quote(folder.File("in.bmp")) + " " +
                               Quote(folder.File("out.bmp")) + " --region 1,1,4,3 --json");
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.out, "{\"rect\":[0,0,5,3]}\n") << "the rectangle of the loaded picture, not of the region";
    const Decoded in = LoadPicture(folder.File("in.bmp"));
    const Decoded out = LoadPicture(folder.File("out.bmp"));
    ASSERT_TRUE(out.loaded);
    ASSERT_EQ(out.rect, CRect(0, 0, 3, 2));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(out.At(x, y), in.At(x + 1, y + 1)) << x << ", " << y;
}

struct FailureCase {
    std::string arguments;  // IN and OUT stand for the input and output paths
    int exitStatus;
    const char* named;  // "IN" or "OUT": the file the one error line names; null for usage errors
    const char* reason;
};

TEST(Kivpic, ExitStatusesAndMessages) {
    const FailureCase cases[] = {
        {"convert MISSING OUT", 1, "MISSING", "an input that does not exist"},
        {"convert GARBAGE OUT", 1, "GARBAGE", "an input no reader accepts"},
        {"convert IN NOWHERE", 1, "NOWHERE", "an output in a folder that does not exist"},
        {"convert IN OUT --region 50,50,60,60", 1, "OUT", "a region outside the picture"},
        {"convert IN", 2, nullptr, "OUT missing"},
        {"convert", 2, nullptr, "IN and OUT missing"},
        {"", 2, nullptr, "no command"},
        {"rotate IN OUT", 2, nullptr, "an unknown command"},
        {"convert IN OUT --region 1,2,3", 2, nullptr, "a region of three numbers"},
        {"convert IN OUT --region a,b,c,d", 2, nullptr, "a region that is not numbers"},
        {"convert IN OUT --frobnicate", 2, nullptr, "an unknown option"},
    };
    for (const FailureCase& c : cases) {
        ScratchFolder folder;
        folder.Write("in.bmp", Picture24(4, 4));
        folder.Write("garbage.dat", Bytes(40, 0x77));
        std::map<std::string, std::string> names = {{"MISSING", folder.File("missing.bmp")},
                                                    {"GARBAGE", folder.File("garbage.dat")},
                                                    {"NOWHERE", folder.File("missing/out.tga")},
                                                    {"OUT", folder.File("out.bmp")},
                                                    {"IN", folder.File("in.bmp")}};
        std::string arguments;
        std::istringstream words(c.arguments);
        for (std::string word; words >> word;) {
            arguments += ' ';
            arguments += names.count(word) ? Quote(names[word]) : word;
        }
        const ToolRun run = Kivpic(arguments);
        EXPECT_EQ(run.exitStatus, c.exitStatus) << c.reason;
        EXPECT_FALSE(std::filesystem::exists(folder.File("out.bmp"))) << c.reason;
        if (!c.named) continue;
        ASSERT_EQ(run.errorLines.size(), 1u) << c.reason;
        EXPECT_NE(run.errorLines[0].find(names[c.named]), std::string::npos)
            << c.reason << ": " << run.errorLines[0];
    }
}

TEST(Kivpic, Help) {
    const ToolRun run = Kivpic("--help");
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_NE(run.out.find("convert"), std::string::npos);
}

// Every corpus bitmap the reader accepts is written by the tool with its pixel words unchanged (alpha
// included) and reads back as the same picture, alpha 255.
TEST(Kivpic, CorpusRoundTrip) {
    // Files whose declared size the data does not back stay out: their copies would be hundreds of MB.
    constexpr size_t kMostPixels = 1u << 22;
    int converted = 0;
    for (const char* corpus : {"bmp", "hostile/bmp"}) {
        for (const auto& entry : std::filesystem::directory_iterator(TestDataPath(corpus))) {
            const std::string in = entry.path().string();
            const Decoded original = LoadPicture(in);
            if (!original.loaded || original.pixels.size() > kMostPixels) continue;
            SCOPED_TRACE(in);
            ScratchFolder folder;
            const ToolRun run = Kivpic("convert " + Quote(in) + " " + Quote(folder.File("out.bmp")));
            ASSERT_EQ(run.exitStatus, 0);
            int width = 0, height = 0;
            EXPECT_EQ(PixelsOfWrittenBmp(ReadFileBytes(folder.File("out.bmp")), width, height),
                      original.pixels);
            const Decoded back = LoadPicture(folder.File("out.bmp"));
            ASSERT_TRUE(back.loaded);
            EXPECT_EQ(back.rect, original.rect);
            for (size_t i = 0; i < back.pixels.size(); ++i)
                ASSERT_EQ(back.pixels[i], original.pixels[i] | 0xFF000000u) << "pixel " << i;
            ++converted;
        }
    }
    EXPECT_GE(converted, 40);
}

TEST(Kivpic, InfoPrintsOneLinePerFile) {
    ScratchFolder folder;
    folder.Write("in.bmp", Picture24(5, 3));
    folder.Write("not a picture.bmp", Bytes(10, 0x33));
    const std::string good = folder.File("in.bmp");
    const std::string bad = folder.File("not a picture.bmp");
    const ToolRun json = Kivpic("info --json " + Quote(good) + " " + Quote(bad));
    EXPECT_EQ(json.exitStatus, 1) << "one file was refused";
    EXPECT_EQ(json.out, "{\"file\":\"" + good +
                            "\",\"ok\":true,\"rect\":[0,0,5,3],\"bits\":24}\n{\"file\":\"" + bad +
                            "\",\"ok\":false}\n");
    const ToolRun plain = Kivpic("info " + Quote(good));
    EXPECT_EQ(plain.exitStatus, 0);
    EXPECT_EQ(plain.out, good + ": 5x3 at (0,0), 24 bits\n");
}

TEST(Kivpic, ZoomWritesABlockOfTheAskedSize) {
    ScratchFolder folder;
    folder.Write("in.bmp", Picture24(8, 4));
    const std::string in = Quote(folder.File("in.bmp"));
    struct Case {
        std::string arguments;
        int exitStatus;
        const char* reason;
    };
    const Case cases[] = {
        {"--size 4x2", 0, "bilinear, the default"},
        {"--size 16x8 --method area --mode 0", 0, "area averaging onto a transparent block"},
        {"--size 8x4 --onto " + in + " --clip 0,0,4,4 --place 0,0,0,0 --mode 1", 0,
         "onto a picture, clipped"},
        {"--size 3x3 --onto " + in, 1, "the picture to draw onto has another size"},
        {"--size 0x3", 2, "a side of zero"},
        {"--size 4x4 --method area --clip 0,0,1,1", 2, "clip needs the bilinear method"},
        {"--size 4x4 --mode 3", 2, "no such mix mode"},
    };
    for (const Case& c : cases) {
        const std::string out = folder.File("out.tga");
        std::filesystem::remove(out);
        const ToolRun run = Kivpic("zoom " + in + " " + Quote(out) + " " + c.arguments);
        EXPECT_EQ(run.exitStatus, c.exitStatus) << c.reason;
        if (c.exitStatus != 0) continue;
        CRect rect;
        DWORD* pixels = KivPictureLoadPicFile(Wide(out), rect);
        EXPECT_NE(pixels, nullptr) << c.reason;
        GlobalFree(pixels);
        const auto size = c.arguments.substr(7, c.arguments.find(' ', 7) - 7);
        EXPECT_EQ(std::to_string(rect.Width()) + "x" + std::to_string(rect.Height()), size) << c.reason;
    }
}

TEST(KivpicCatalog, ListsRebuildsThenTrustsTheCache) {
    ScratchFolder folder;
    WriteFileBytes(folder.File("a.bmp"), Picture24(8, 6));
    WriteFileBytes(folder.File("b.bmp"), Picture24(3, 2));
    WriteFileBytes(folder.File("c.tga"), Picture24(3, 2));  // a bitmap under a TGA name is no picture
    const std::string dir = Quote(folder.Path().string());

    const ToolRun first = Kivpic("catalog " + dir);
    EXPECT_EQ(first.exitStatus, 0);
    EXPECT_NE(first.out.find("a.bmp"), std::string::npos);
    EXPECT_NE(first.out.find("8x6"), std::string::npos);
    EXPECT_EQ(first.out.find("c.tga"), std::string::npos);
    ASSERT_EQ(first.errorLines.size(), 1u);  // no progress bar when standard error is no terminal
    EXPECT_NE(first.errorLines[0].find("2 pictures; cache rebuilt: 3 read, 1 not pictures"),
              std::string::npos)
        << first.errorLines[0];

    // A listed file that is no picture is never in the cache, so the cache cannot be trusted while it is
    // there; only that file is read again.
    const ToolRun second = Kivpic("catalog " + dir);
    EXPECT_EQ(second.out, first.out);
    ASSERT_EQ(second.errorLines.size(), 1u);
    EXPECT_NE(second.errorLines[0].find("cache rebuilt: 1 read, 1 not pictures"), std::string::npos);

    std::filesystem::remove(folder.File("c.tga"));
    const ToolRun third = Kivpic("catalog " + dir);
    EXPECT_EQ(third.out, first.out);
    ASSERT_EQ(third.errorLines.size(), 1u);
    EXPECT_NE(third.errorLines[0].find("cache trusted, no picture read"), std::string::npos);

    const ToolRun tgaOnly = Kivpic("catalog " + dir + " --types tga");
    EXPECT_EQ(tgaOnly.exitStatus, 0);
    EXPECT_TRUE(tgaOnly.out.empty());
    const ToolRun blanks = Kivpic("catalog " + dir + " --types 'tga, bmp'");  // as "tga,bmp"
    EXPECT_EQ(blanks.out, first.out);
}

TEST(KivpicCatalog, JsonXmlAndContactSheet) {
    ScratchFolder folder;
    ScratchFolder output;
    WriteFileBytes(folder.File("a.bmp"), Picture24(8, 6));
    WriteFileBytes(folder.File("b.bmp"), Picture24(3, 2));
    const std::string sheet = output.File("sheet.bmp");
    const std::string xml = output.File("records.xml");
    const ToolRun run = Kivpic("catalog " + Quote(folder.Path().string()) + " --json --xml " + Quote(xml) +
                               " --sheet " + Quote(sheet));
    ASSERT_EQ(run.exitStatus, 0);
    std::istringstream lines(run.out);
    std::vector<std::string> objects;
    for (std::string line; std::getline(lines, line);) objects.push_back(line);
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_NE(objects[0].find("\"title\":\"a.bmp\",\"width\":8,\"height\":6,\"bits\":24"), std::string::npos)
        << objects[0];
    EXPECT_NE(objects[1].find("\"thumbnail\":[80,60]"), std::string::npos);

    CKivXMLDOMDocObj document;
    ASSERT_TRUE(document.LoadFromFile(Wide(xml)));
    CKivClipMediaFileCollection records;
    records.SerializeXML(&document, document.GetRootNode());
    EXPECT_EQ(records.m_MediaList.GetCount(), 2);

    // Two thumbnails side by side in 88 x 78 cells; each cell's middle shows its picture's middle.
    LoadedPicture picture;
    picture.pixels = KivPictureLoadPicFile(Wide(sheet), picture.rect);
    ASSERT_NE(picture.pixels, nullptr);
    EXPECT_EQ(picture.rect.Size(), CSize(176, 78));
    CRect source;
    std::unique_ptr<DWORD, decltype(&GlobalFree)> original(
        KivPictureLoadPicFile(Wide(folder.File("a.bmp")), source), &GlobalFree);
    ASSERT_NE(original, nullptr);
    EXPECT_EQ(picture.At(44, 39), original.get()[3 * 8 + 4]);
}

TEST(KivpicCatalog, MissingFolderFails) {
    const ToolRun run = Kivpic("catalog /no/such/folder");
    EXPECT_EQ(run.exitStatus, 1);
    ASSERT_EQ(run.errorLines.size(), 1u);
    EXPECT_EQ(run.errorLines[0], "kivpic: /no/such/folder: no such folder");
}
