// The command-line tool: convert, info, catalog and pick, their output, exit statuses and messages.

#include <gtest/gtest.h>

#include <sstream>

#include "CoreTestSupport.h"
#include "readers/Readers.h"

namespace {

struct ToolRun {
    int exitStatus = -1;
    std::string out;
    std::vector<std::string> errorLines;
};

const auto Quote = [](const std::string& text) { return "'" + text + "'"; };

// Runs the tool without a display, which only pick needs.
ToolRun Kivpic(const std::string& arguments) {
    ScratchFolder scratch;
    ToolRun run;
    run.exitStatus = Capture("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + Quote(KIVPIC_PATH) +
                                 " " + arguments + " 2>" + Quote(scratch.File("err")),
                             run.out);
    std::istringstream lines(Text(ReadFileBytes(scratch.File("err"))));
    for (std::string line; std::getline(lines, line);) run.errorLines.push_back(line);
    return run;
}

// A 24-bit picture of distinct colours.
Bytes Picture24(int width, int height) {
    std::vector<std::uint32_t> pixels;
    for (int i = 0; i < width * height; ++i)
        pixels.push_back(0x102030u * (i % width + 1) + 0x0Au * (i / width));
    return Bmp24(width, height, pixels);
}

ReadResult LoadBmp(const std::string& path) {
    return ReadWithBothEntries(Wide(path), ReadBmpFile, KivPictureLoadBMPFile);
}

}  // namespace

TEST(Kivpic, ConvertAndInfo) {
    ScratchFolder folder;
    const std::string in = folder.File("in.bmp"), out = folder.File("out.bmp");
    folder.Write("in.bmp", Picture24(5, 3));
    const ToolRun run = Kivpic("convert " + Quote(in) + " " + Quote(out) + " --region 1,1,4,3 --json");
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.out, "{\"rect\":[0,0,5,3]}\n") << "the rectangle of the loaded picture, not of the region";
    EXPECT_TRUE(run.errorLines.empty());
    const ReadResult source = LoadBmp(in), written = LoadBmp(out);
    ASSERT_EQ(written.rect, CRect(0, 0, 3, 2));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(written.At(x, y), source.At(x + 1, y + 1)) << x << ", " << y;

    // A zoom writes a block of the size asked for, whichever method samples it.
    for (const char* method : {"bilinear", "area"}) {
        EXPECT_EQ(
            Kivpic("zoom " + Quote(in) + " " + Quote(out) + " --size 7x9 --method " + method).exitStatus, 0);
        EXPECT_EQ(LoadBmp(out).rect, CRect(0, 0, 7, 9)) << method;
    }

    folder.Write("not a picture.bmp", Bytes(10, 0x33));
    const std::string bad = folder.File("not a picture.bmp");
    const ToolRun json = Kivpic("info --json " + Quote(in) + " " + Quote(bad));
    EXPECT_EQ(json.exitStatus, 1) << "one file was refused";
    EXPECT_EQ(json.out, "{\"file\":\"" + in + "\",\"ok\":true,\"rect\":[0,0,5,3],\"bits\":24}\n{\"file\":\"" +
                            bad + "\",\"ok\":false}\n");
    EXPECT_EQ(Kivpic("info " + Quote(in)).out, in + ": 5x3 at (0,0), 24 bits\n");

    // The JPEG choices, before or after the command: a picture stored on its side is 16 x 24 as stored.
    const std::string turned = Quote(TestDataPath("jpeg/exif-orientation-6.jpg"));
    for (const auto& [options, rect] :
         {std::pair{"info", "[0,0,16,24]"}, std::pair{"--auto-orient info", "[0,0,24,16]"},
          std::pair{"info --jpeg-full-colour --auto-orient", "[0,0,24,16]"}}) {
        const ToolRun info = Kivpic(std::string(options) + " --json " + turned);
        EXPECT_EQ(info.exitStatus, 0) << options;
        EXPECT_NE(info.out.find(rect), std::string::npos) << options << ": " << info.out;
    }
    ASSERT_EQ(Kivpic("convert --auto-orient --jpeg-full-colour " + turned + " " + Quote(out)).exitStatus, 0);
    EXPECT_EQ(LoadBmp(out).rect, CRect(0, 0, 24, 16));
}

// Failures name the file at fault in their one error line (1); usage errors give 2; no output is left. Pick,
// the only command that needs a display, says that it has none.
TEST(Kivpic, ExitStatusesAndMessagesWithoutADisplay) {
    ScratchFolder folder;
    folder.Write("in.bmp", Picture24(4, 4));
    folder.Write("garbage.dat", Bytes(40, 0x77));
    const auto path = [&](const char* name) { return Quote(folder.File(name)); };
    const std::string in = path("in.bmp"), out = path("out.bmp");
    const std::tuple<std::string, int, const char*> cases[] = {
        {"convert " + path("missing.bmp") + " " + out, 1, "missing.bmp"},
        {"convert " + path("garbage.dat") + " " + out, 1, "garbage.dat"},
        {"convert " + in + " " + path("missing/out.tga"), 1, "missing/out.tga"},
        {"convert " + in + " " + out + " --region 50,50,60,60", 1, "out.bmp"},  // outside the picture
        {"zoom " + path("garbage.dat") + " " + out + " --size 4x4", 1, "garbage.dat"},
        {"zoom " + in + " " + out + " --size 4x4 --onto " + path("missing.bmp"), 1, "missing.bmp"},
        {"convert " + in + " " + out + " --max-pixels 15", 1, "in.bmp"},
        {"--max-pixels 15 zoom " + in + " " + out + " --size 4x4", 1, "in.bmp"},
        {"convert " + in + " " + out + " --max-pixels -1", 2, nullptr},
        {"zoom " + in + " " + out + " --size 0x4", 2, nullptr},
        {"convert " + in, 2, nullptr},
        {"rotate " + in + " " + out, 2, nullptr},
        {"convert " + in + " " + out + " --region 1,2,3", 2, nullptr},
        {"pick", 2, ""},
        {"pick --save-buffer " + in, 2, ""}};
    for (const auto& [arguments, exitStatus, named] : cases) {
        const ToolRun run = Kivpic(arguments);
        EXPECT_EQ(run.exitStatus, exitStatus) << arguments;
        EXPECT_TRUE(run.out.empty()) << arguments;
        EXPECT_FALSE(std::filesystem::exists(folder.File("out.bmp"))) << arguments;
        if (!named) continue;
        ASSERT_EQ(run.errorLines.size(), 1u) << arguments;
        EXPECT_NE(run.errorLines[0].find(*named ? folder.File(named) : ""), std::string::npos)
            << run.errorLines[0];
        // The reason: the pixel limit; a zoom's from its one load, not a second try; pick's missing display.
        const bool limit = arguments.find("--max-pixels") != std::string::npos,
                   zoom = arguments.starts_with("zoom");
        const char* reason = limit ? "too large" : zoom ? "cannot load: " : *named ? "" : "no display";
        EXPECT_NE(run.errorLines[0].find(reason), std::string::npos) << run.errorLines[0];
    }
}

TEST(KivpicCatalog, ListsRebuildsThenTrustsTheCache) {
    ScratchFolder folder, cacheHome;
    ::setenv("XDG_CACHE_HOME", cacheHome.Path().c_str(), 1);
    WriteFileBytes(folder.File("a.bmp"), Picture24(8, 6));
    WriteFileBytes(folder.File("b.bmp"), Picture24(3, 2));
    WriteFileBytes(folder.File("c.tga"), Picture24(3, 2));  // a bitmap under a TGA name is no picture
    const std::string dir = Quote(folder.Path().string());
    const ToolRun first = Kivpic("catalog " + dir);
    EXPECT_EQ(first.exitStatus, 0);
    ASSERT_EQ(first.errorLines.size(), 1u) << "no progress bar when standard error is no terminal";
    EXPECT_TRUE(first.errorLines[0].starts_with("2 pictures; cache rebuilt: 3 read, 1 not pictures"));
    std::filesystem::remove(folder.File("c.tga"));
    const ToolRun second = Kivpic("catalog " + dir);
    EXPECT_EQ(second.out, first.out);
    EXPECT_TRUE(second.errorLines.at(0).starts_with("2 pictures; cache trusted, no picture read"));
    EXPECT_TRUE(first.out.find("a.bmp") != std::string::npos && first.out.find("c.tga") == std::string::npos);
    EXPECT_TRUE(Kivpic("catalog " + dir + " --types tga").out.empty());
    EXPECT_EQ(Kivpic("catalog " + dir + " --types 'tga, bmp'").out, first.out)
        << "blanks in the types are ignored";
    const std::string json = Kivpic("catalog " + dir + " --json").out;
    EXPECT_NE(json.find("\"title\":\"a.bmp\",\"width\":8,\"height\":6,\"bits\":24"), std::string::npos)
        << json;
    EXPECT_NE(json.find("\"thumbnail\":[80,60]"), std::string::npos) << json;
    const ToolRun missing = Kivpic("catalog /no/such/folder");
    EXPECT_EQ(missing.exitStatus, 1);
    EXPECT_EQ(missing.errorLines, std::vector<std::string>{"kivpic: /no/such/folder: no such folder"});
}

// A name that is not UTF-8 reaches its file, prints on one line with U+FFFD for its undecodable bytes, and
// keeps its exact bytes in JSON's fileBytes; every output is valid UTF-8.
TEST(KivpicCatalog, NamesThatAreNotUtf8) {
    const std::tuple<std::string, std::string, const char*> cases[] = {
        // name, as printed, its fileBytes
        {"caf\xe9.bmp", "caf\xef\xbf\xbd.bmp", "caf%E9.bmp"},
        {"ab\xe4\xb8z.bmp", "ab\xef\xbf\xbd\xef\xbf\xbdz.bmp", "ab%E4%B8z.bmp"},
        {"cafe\xcc\x81.bmp", "cafe\xcc\x81.bmp", nullptr},  // not NFC, and left so
        {"two\nlines.bmp", "two\\nlines.bmp", nullptr},
        {"\xe6\xb5\xb7\xe9\xb8\xa5.bmp", "\xe6\xb5\xb7\xe9\xb8\xa5.bmp", nullptr}};
    ScratchFolder folder, outputs;
    const std::string dir = folder.Path().string() + "/", outDir = outputs.Path().string() + "/";
    const auto validUtf8 = [](const std::string& text) { return CString::FromUtf8(text).ToUtf8() == text; };
    for (const auto& [name, printed, bytes] : cases) {
        WriteFileBytes(folder.File(name), Picture24(4, 3));
        const std::string out = Quote(outputs.File(name + ".tga"));
        EXPECT_EQ(Kivpic("convert " + Quote(folder.File(name)) + " " + out).exitStatus, 0) << printed;
        EXPECT_EQ(Kivpic("info --json " + out).out,
                  "{\"file\":\"" + outDir + printed + ".tga\"" +
                      (bytes ? ",\"fileBytes\":\"" + outDir + bytes + ".tga\"" : "") +
                      ",\"ok\":true,\"rect\":[0,0,4,3],\"bits\":32}\n");
    }
    const ToolRun plain = Kivpic("catalog " + Quote(dir));
    const ToolRun json = Kivpic("catalog " + Quote(dir) + " --json");
    EXPECT_TRUE(validUtf8(plain.out) && validUtf8(json.out));
    EXPECT_EQ(std::count(plain.out.begin(), plain.out.end(), '\n'), std::ssize(cases)) << "one line each";
    for (const auto& [name, printed, bytes] : cases) {
        EXPECT_NE(plain.out.find(printed + " "), std::string::npos) << printed;
        const std::string members = "{\"file\":\"" + dir + printed + "\"" +
                                    (bytes ? ",\"fileBytes\":\"" + dir + bytes + "\"" : "") +
                                    ",\"title\":\"" + printed + "\",";
        EXPECT_NE(json.out.find(members), std::string::npos) << members;
    }
}
