// The platform layer: path splitting, wide text, binary files, module resources and the resource chain.

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestFiles.h"
#include "picture/ModuleState.h"
#include "platform/ExtensionModule.h"
#include "platform/File.h"
#include "platform/ModuleResources.h"
#include "platform/RuntimeLibrary.h"

using namespace kivrt;

namespace {

// Runs body in a forked child and returns its exit code (-1 when it did not exit normally).
int RunInChild(const std::function<int()>& body) {
    const pid_t pid = fork();
    if (pid == 0) _exit(body());
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct SplitCase {
    std::wstring path, drive, dir, fname, ext;
    const char* reason;
};

const SplitCase kSplitCases[] = {
    {L"C:\\Pics\\Sun.Bmp", L"C:", L"\\Pics\\", L"Sun", L".Bmp", "a Windows path with drive"},
    {L"/home/u/pic.tga", L"", L"/home/u/", L"pic", L".tga", "a Linux path"},
    {L"a/b\\c.d", L"", L"a/b\\", L"c", L".d", "both separators in one path"},
    {L"/a/b.c/d", L"", L"/a/b.c/", L"d", L"", "a dot in a folder is not an extension"},
    {L"/a/arch.tar.gz", L"", L"/a/", L"arch.tar", L".gz", "the extension starts at the last dot"},
    {L"/a/b/", L"", L"/a/b/", L"", L"", "a trailing separator leaves no name"},
    {L"name", L"", L"", L"name", L"", "a bare name"},
    {L"x:rel.txt", L"x:", L"", L"rel", L".txt", "a lower-case drive without a folder"},
    {L"1:/a.b", L"", L"1:/", L"a", L".b", "a digit before the colon is no drive"},
    {L"/a/file.", L"", L"/a/", L"file", L".", "a final dot is an empty extension"},
    {L"", L"", L"", L"", L"", "an empty path"},
};

TEST(SplitPath, SplitsIntoFourParts) {
    for (const SplitCase& c : kSplitCases) {
        wchar_t drive[_MAX_DRIVE], dir[_MAX_DIR], fname[_MAX_FNAME], ext[_MAX_EXT];
        _wsplitpath(c.path.c_str(), drive, dir, fname, ext);
        EXPECT_EQ(drive, c.drive) << c.reason;
        EXPECT_EQ(dir, c.dir) << c.reason;
        EXPECT_EQ(fname, c.fname) << c.reason;
        EXPECT_EQ(ext, c.ext) << c.reason;
    }
}

TEST(SplitPath, NullOutputsAreSkipped) {
    wchar_t fname[_MAX_FNAME];
    _wsplitpath(L"C:\\d\\n.e", nullptr, nullptr, fname, nullptr);
    EXPECT_STREQ(fname, L"n");
}

TEST(SplitPath, OverlongPartsAreCutToTheirBuffers) {
    const std::wstring dir(_MAX_DIR + 50, L'd'), name(_MAX_FNAME + 50, L'n'), ext(_MAX_EXT + 50, L'e');
    // One guard character after each buffer catches a write past its end.
    std::wstring dirOut(_MAX_DIR + 1, L'#'), nameOut(_MAX_FNAME + 1, L'#'), extOut(_MAX_EXT + 1, L'#');
    _wsplitpath((dir + L"/" + name + L"." + ext).c_str(), nullptr, dirOut.data(), nameOut.data(),
                extOut.data());
    EXPECT_EQ(dirOut, (dir + L"/").substr(0, _MAX_DIR - 1) + L'\0' + L'#');
    EXPECT_EQ(nameOut, name.substr(0, _MAX_FNAME - 1) + L'\0' + L'#');
    EXPECT_EQ(extOut, (L"." + ext).substr(0, _MAX_EXT - 1) + L'\0' + L'#');
}

TEST(RuntimeLibrary, CompareIgnoringCase) {
    const struct {
        const wchar_t *a, *b;
        int sign;
        const char* reason;
    } cases[] = {
        {L"Sun.BMP", L"sun.bmp", 0, "case is ignored"},
        {L"", L"", 0, "two empty texts"},
        {L"abc", L"ABD", -1, "the first differing letter decides"},
        {L"ab", L"AB1", -1, "a prefix sorts first"},
        {L"b", L"A", 1, "order is by letter, not by code of the upper case"},
        {L"[", L"a", -1, "letters fold to lower case, so '[' (0x5B) sorts before 'a'"},
    };
    for (const auto& c : cases) {
        const int result = _wcsicmp(c.a, c.b);
        EXPECT_EQ((result > 0) - (result < 0), c.sign) << c.reason;
    }
}

TEST(RuntimeLibrary, OpensWidePaths) {
    ScratchFolder folder;
    const CString path = Wide(folder.File("Bild äöü 图.tga"));
    EXPECT_EQ(_wfopen(path, L"rb"), nullptr);  // missing file
    std::FILE* out = _wfopen(path, L"wb");
    ASSERT_NE(out, nullptr);
    std::fputs("xy", out);
    std::fclose(out);
    EXPECT_EQ(ReadFileBytes(folder.File("Bild äöü 图.tga")), (Bytes{'x', 'y'}));
}

TEST(WideText, Utf8RoundTrips) {
    const struct {
        std::string utf8;
        std::wstring wide;
        const char* reason;
    } cases[] = {
        {"", L"", "empty"},
        {"C:\\Pics/a.bmp", L"C:\\Pics/a.bmp", "ASCII"},
        {"Gr\xC3\xBC\xC3\x9F", L"Gr\u00FC\u00DF", "two-byte sequences"},
        {"\xE5\x9B\xBE\xE7\x89\x87", L"\u56FE\u7247", "three-byte sequences"},
        {"\xF0\x9F\x98\x80!", L"\U0001F600!", "a four-byte sequence outside the basic plane"},
        {"\xF4\x8F\xBF\xBF", L"\U0010FFFF", "the last code point"},
        {std::string("a\0b", 3), std::wstring(L"a\0b", 3), "an embedded NUL"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CString::FromUtf8(c.utf8).Text(), c.wide) << c.reason;
        EXPECT_EQ(CString(c.wide).ToUtf8(), c.utf8) << c.reason;
    }
}

TEST(WideText, InvalidUtf8BecomesReplacementCharacters) {
    const struct {
        std::string bytes;
        const char* reason;
    } cases[] = {
        {"\x80", "a lone continuation byte"},
        {"\xFF", "a byte that never starts a sequence"},
        {"\xE4\xB8", "a sequence cut short by the next character"},
        {"\xC0\xAF", "an overlong '/', which must not become a separator"},
        {"\xE0\x80\xAE", "an overlong '.'"},
        {"\xED\xA0\x80", "an encoded surrogate"},
        {"\xF4\x90\x80\x80", "beyond U+10FFFF"},
        {"\xF8\x88\x80\x80\x80", "a five-byte form"},
    };
    for (const auto& c : cases) {
        const std::wstring text = CString::FromUtf8("<" + c.bytes + ">").Text();
        ASSERT_GE(text.size(), 3u) << c.reason;
        EXPECT_EQ(text.front(), L'<') << c.reason;
        EXPECT_EQ(text.back(), L'>') << c.reason;
        EXPECT_EQ(text.find_first_not_of(L'\uFFFD', 1), text.size() - 1) << c.reason;
    }
    EXPECT_EQ(CString::FromUtf8("ab\xE4\xB8").Text().substr(0, 3), L"ab\uFFFD") << "cut short by the end";
}

TEST(WideText, NonCharactersBecomeReplacementInUtf8) {
    for (const wchar_t c : {wchar_t(0xD800), wchar_t(0xDFFF), wchar_t(0x110000)})
        EXPECT_EQ(CString(std::wstring{L'a', c}).ToUtf8(), "a\xEF\xBF\xBD") << static_cast<unsigned>(c);
}

// ---- Binary files ---------------------------------------------------------------------------------------

TEST(File, OpenModes) {
    ScratchFolder folder;
    const CString path = Wide(folder.File("f.bin"));
    CFile file;
    CFileException error;
    EXPECT_FALSE(file.Open(path, CFile::modeRead, &error));
    EXPECT_EQ(error.m_cause, CFileException::fileNotFound);

    WriteFileBytes(folder.File("f.bin"), {1, 2, 3, 4});
    ASSERT_TRUE(file.Open(path, CFile::modeCreate | CFile::modeNoTruncate | CFile::modeWrite));
    EXPECT_EQ(file.GetLength(), 4u) << "modeNoTruncate keeps the contents";
    const BYTE nine = 9;
    file.Write(&nine, 1);
    file.Close();
    ASSERT_TRUE(file.Open(path, CFile::modeRead));
    BYTE buffer[8] = {};
    EXPECT_EQ(file.Read(buffer, 3), 3u);
    EXPECT_EQ(file.Read(buffer, 8), 1u) << "a read is short only at the end";
    EXPECT_EQ(file.Read(buffer, 8), 0u);
    EXPECT_EQ(buffer[0], 4);
    file.Close();
    EXPECT_EQ(ReadFileBytes(folder.File("f.bin")), (Bytes{9, 2, 3, 4})) << "modeNoTruncate wrote in place";

    ASSERT_TRUE(file.Open(path, CFile::modeCreate | CFile::modeWrite));
    EXPECT_EQ(file.GetLength(), 0u) << "modeCreate alone truncates";
    file.Close();

    ASSERT_TRUE(file.Open(Wide(folder.File("new.bin")), CFile::modeCreate | CFile::modeWrite));
    EXPECT_TRUE(std::filesystem::exists(folder.File("new.bin")));
}

TEST(File, DirectoryIsRefused) {
    ScratchFolder folder;
    for (const UINT mode : {UINT(CFile::modeRead), UINT(CFile::modeWrite)}) {
        CFile file;
        CFileException error;
        EXPECT_FALSE(file.Open(Wide(folder.Path().string()), mode, &error)) << mode;
        EXPECT_EQ(error.m_cause, CFileException::accessDenied) << mode;
        EXPECT_FALSE(file.IsOpen());
    }
}

TEST(File, SeekErrorsThrowBadSeek) {
    ScratchFolder folder;
    const CString path = folder.Write("s.bin", {1, 2, 3});
    CFile regular, closed;
    ASSERT_TRUE(regular.Open(path, CFile::modeRead));
    EXPECT_EQ(regular.Seek(-1, CFile::end), 2u);
    const std::vector<std::pair<std::function<void()>, const char*>> cases = {
        {[&] { regular.Seek(-1, CFile::begin); }, "before the start"},
        {[&] { regular.Seek(-4, CFile::end); }, "before the start, counted from the end"},
        {[&] { closed.Seek(0, CFile::begin); }, "a file that is not open"},
    };
    for (const auto& [seek, reason] : cases) {
        try {
            seek();
            ADD_FAILURE() << reason << ": no exception";
        } catch (const CFileException& e) {
            EXPECT_EQ(e.m_cause, CFileException::badSeek) << reason;
        }
    }
}

TEST(File, FullDiskThrowsDiskFull) {
    ScratchFolder folder;
    const std::string limited = folder.File("limited.bin");
    // 0: diskFull thrown; 1: open failed; 2: no exception; 3: another cause.
    const auto writeTenKilobytes = [](const CString& path, bool limitFileSize) {
        if (limitFileSize) {
            signal(SIGXFSZ, SIG_IGN);  // the write then fails with EFBIG instead of killing the process
            const rlimit limit{4096, 4096};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        CFile file;
        if (!file.Open(path, CFile::modeCreate | CFile::modeWrite)) return 1;
        const std::vector<BYTE> data(10000, 0x5A);
        try {
            file.Write(data.data(), static_cast<UINT>(data.size()));
            return 2;
        } catch (const CFileException& e) {
            return e.m_cause == CFileException::diskFull ? 0 : 3;
        }
    };
    EXPECT_EQ(RunInChild([&] { return writeTenKilobytes(Wide(limited), true); }), 0) << "file size limit";
    EXPECT_EQ(std::filesystem::file_size(limited), 4096u) << "what fitted was written";
    EXPECT_EQ(RunInChild([&] { return writeTenKilobytes(CString(L"/dev/full"), false); }), 0) << "/dev/full";
}

TEST(MemFile, ReadsAndSeeksACallersBlock) {
    BYTE block[6] = {10, 11, 12, 13, 14, 15};
    CMemFile file;
    file.Attach(block, sizeof block);
    BYTE out[8] = {};
    EXPECT_EQ(file.Read(out, 4), 4u);
    EXPECT_EQ(out[3], 13);
    EXPECT_EQ(file.Seek(-2, CFile::end), 4u);
    EXPECT_EQ(file.Read(out, 8), 2u) << "short at the end";
    EXPECT_EQ(out[1], 15);
    EXPECT_THROW(file.Seek(-1, CFile::begin), CFileException);
    file.SeekToBegin();
    const BYTE seven = 7;
    file.Write(&seven, 1);
    EXPECT_EQ(block[0], 7) << "writes inside the block land in the caller's memory";
    EXPECT_EQ(file.Detach(), block);
    EXPECT_EQ(file.GetLength(), 0u);
    EXPECT_EQ(file.Read(out, 1), 0u);
}

TEST(MemFile, CallersBlockNeverGrows) {
    // Growth step 0 is the documented fixed block; with a growth step the block is still the caller's, and
    // reallocating memory we did not allocate would be undefined.
    for (const UINT growBytes : {0u, 64u}) {
        BYTE block[4] = {1, 2, 3, 4};
        CMemFile file(block, sizeof block, growBytes);
        file.Seek(2, CFile::begin);
        const BYTE three[3] = {9, 9, 9};
        EXPECT_THROW(file.Write(three, 3), CMemoryException) << growBytes;
        EXPECT_EQ(block[2], 3) << "nothing written on failure";
        EXPECT_EQ(file.GetLength(), 4u);
    }
}

TEST(MemFile, OwnBlockGrows) {
    CMemFile file(16);
    std::vector<BYTE> data(1000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<BYTE>(i * 7);
    for (size_t at = 0; at < data.size(); at += 100) file.Write(data.data() + at, 100);
    EXPECT_EQ(file.GetLength(), 1000u);
    file.Seek(1010, CFile::begin);
    file.Write(data.data(), 1);
    EXPECT_EQ(file.GetLength(), 1011u);
    std::vector<BYTE> back(1011, 0xEE);
    file.SeekToBegin();
    EXPECT_EQ(file.Read(back.data(), 1011), 1011u);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), back.begin()));
    EXPECT_EQ(back[1000], 0) << "a gap left by a seek past the end reads as zeros, as in a disk file";
    EXPECT_EQ(back[1009], 0);
}

// ---- Module resources and the resource chain --------------------------------------------------------------

const BYTE kBitmapBytes[] = {1, 2, 3};
const BYTE kLogoBytes[] = {4, 5};
const BYTE kSettingsBytes[] = {6};
const ModuleResourceEntry kEntries[] = {
    {2, nullptr, 123, nullptr, kBitmapBytes, sizeof kBitmapBytes},
    {0, L"Png", 0, L"Logo", kLogoBytes, sizeof kLogoBytes},
    {10, nullptr, 0, L"Settings", kSettingsBytes, sizeof kSettingsBytes},
};
const ModuleResourceTable kTable{"test module", kEntries, std::size(kEntries)};

TEST(ModuleResources, FindsByIdAndName) {
    const struct {
        LPCWSTR name, type;
        int entry;  // -1: not found
        const char* reason;
    } cases[] = {
        {MAKEINTRESOURCEW(123), RT_BITMAP, 0, "integer identifier and type"},
        {L"#123", RT_BITMAP, 0, "\"#123\" names identifier 123"},
        {MAKEINTRESOURCEW(123), L"#2", 0, "\"#2\" names the bitmap type"},
        {L"LOGO", L"png", 1, "names ignore case"},
        {L"settings", RT_RCDATA, 2, "a name under an integer type"},
        {MAKEINTRESOURCEW(123), RT_RCDATA, -1, "right identifier, wrong type"},
        {L"Settings", RT_BITMAP, -1, "right name, wrong type"},
        {L"Logo", MAKEINTRESOURCEW(0x3E8), -1, "a named type does not match an integer type"},
        {L"123", RT_BITMAP, -1, "digits without '#' are a name"},
        {L"#12x", RT_BITMAP, -1, "'#' followed by more than digits"},
    };
    for (const auto& c : cases) {
        const HRSRC found = FindResourceW(&kTable, c.name, c.type);
        EXPECT_EQ(found, c.entry < 0 ? nullptr : &kEntries[c.entry]) << c.reason;
    }
    EXPECT_EQ(FindResourceW(nullptr, L"Logo", L"Png"), nullptr);
    const HRSRC logo = FindResourceW(&kTable, L"Logo", L"Png");
    EXPECT_EQ(SizeofResource(&kTable, logo), 2u);
    EXPECT_EQ(static_cast<const BYTE*>(LockResource(LoadResource(&kTable, logo)))[1], 5);
}

bool InResourceChain(HMODULE module) {
    for (SIZE_T i = 0; AfxGetResourceChainModule(i); ++i)
        if (AfxGetResourceChainModule(i) == module) return true;
    return false;
}

TEST(ExtensionModule, OwnModuleJoinsTheChainAtLoad) {
    ASSERT_NE(GetKivPictureModuleHandle(), nullptr);
    EXPECT_TRUE(InResourceChain(GetKivPictureModuleHandle()));
}

}  // namespace
