// The platform layer the module stands on: settings files that keep every byte they do not change, the
// directory search, memory files, wide text, paths and module resources.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>
#include <optional>

#include "CoreTestSupport.h"
#include "picture/ModuleState.h"
#include "platform/DirectorySearch.h"
#include "platform/ExtensionModule.h"
#include "platform/ModuleResources.h"
#include "platform/PrivateProfile.h"
#include "platform/RuntimeLibrary.h"

namespace fs = std::filesystem;

namespace {

std::string Text(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// Sets or clears an environment variable for the life of the object.
class Environment {
  public:
    Environment(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~Environment() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

// The names a directory search reports, in order, and the facts of each.
std::vector<std::pair<std::wstring, WIN32_FIND_DATAW>> Search(const std::string& pattern) {
    std::vector<std::pair<std::wstring, WIN32_FIND_DATAW>> entries;
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW(Wide(pattern).GetString(), &data);
    if (search == INVALID_HANDLE_VALUE) return entries;
    do entries.emplace_back(data.cFileName, data);
    while (FindNextFileW(search, &data));
    EXPECT_TRUE(FindClose(search));
    return entries;
}

std::vector<std::wstring> Names(const std::string& pattern) {
    std::vector<std::wstring> names;
    for (const auto& entry : Search(pattern)) names.push_back(entry.first);
    return names;
}

}  // namespace

// ---- Settings files --------------------------------------------------------------------------------------

// Each file reads and writes back byte for byte; setting S/k changes only what it must (no second value: the
// round trip alone).
TEST(PrivateProfile, SettingAValueChangesOnlyItsLine) {
    const std::string binary("k=\0\xFF\n", 5);
    // clang-format off
    const std::tuple<std::string, std::string> cases[] = {
        {"; top\n[A]\nk=1\n\n[S]\n; note\nk = 5\nz=2\n\n[T]\nk=9\n", "; top\n[A]\nk=1\n\n[S]\n; note\nk=v\nz=2\n\n[T]\nk=9\n"},
        {"[ s ]\n  K\t= 5\n", "[ s ]\nk=v\n"},  // section and key without regard to case and blanks
        {"[A]\r\nx=1\r\n[S]\r\ny=2\r\n", "[A]\r\nx=1\r\n[S]\r\ny=2\r\nk=v\r\n"},  // a CRLF file gets CRLF
        {"[S]\ny=1\n; c\n\n\n[T]\n", "[S]\ny=1\n; c\nk=v\n\n\n[T]\n"},  // after the section's last non-blank line
        {"[A]\na=1", "[A]\na=1\n[S]\nk=v\n"},  // a new section after a last line without newline
        {"[S]\n;k=1\nkk=1\n", "[S]\n;k=1\nkk=1\nk=v\n"},  // neither a comment nor a longer key is the key
        {binary, binary + "[S]\nk=v\n"},  // NUL and bytes that are not UTF-8 kept
        {"a\r\r\n\r", ""}, {"", "[S]\nk=v\n"},
    };
    // clang-format on
    for (const auto& [before, after] : cases) {
        EXPECT_EQ(ProfileDocument::Parse(before).Serialize(), before) << "parsing keeps every byte";
        ProfileDocument document = ProfileDocument::Parse(before);
        document.SetValue("S", "k", "v");
        EXPECT_EQ(after.empty() ? after : document.Serialize(), after) << before;
    }
}

TEST(PrivateProfile, ReadsAndRemovesThroughFilesAndLinks) {
    ScratchFolder folder;
    const CString path = Wide(folder.File("p.ini"));
    // clang-format off
    const std::tuple<std::string, int> reads[] = {{"[S]\nk=12abc\n", 12}, {"[S]\r\nk = -1 \r\n", -1}, {"[S]\nk=   \n", 55},
                                                  {"[S]\nk=abc\n", 0}, {"[s]\nK=3\n[S]\nk=4\n", 3}};
    // clang-format on
    for (const auto& [file, expected] : reads) {
        WriteFileBytes(folder.File("p.ini"), Bytes(file.begin(), file.end()));
        EXPECT_EQ(static_cast<int>(GetPrivateProfileIntW(L"S", L"k", 55, path)), expected) << file;
    }
    EXPECT_EQ(GetPrivateProfileIntW(L"S", L"k", 4, Wide(folder.Path().string())), 4u) << "a folder";

    // Through a link to a file with a byte-order mark: the mark is no part of a name and stays.
    const std::string bom = "\xEF\xBB\xBF";
    const std::string original = bom + "[A]\r\na=1\r\n\r\n[S]\r\nk=1\r\nj=2\r\n";
    WriteFileBytes(folder.File("real.ini"), Bytes(original.begin(), original.end()));
    fs::permissions(folder.File("real.ini"), fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink("real.ini", folder.File("link.ini"));
    const CString link = Wide(folder.File("link.ini"));
    const auto real = [&] { return Text(ReadFileBytes(folder.File("real.ini"))); };
    EXPECT_TRUE(WritePrivateProfileStringW(L"A", L"a", L"2", link));
    EXPECT_EQ(real(), bom + "[A]\r\na=2\r\n\r\n[S]\r\nk=1\r\nj=2\r\n") << "set in place, no second section";
    EXPECT_TRUE(WritePrivateProfileStringW(L"s", L"K", nullptr, link));
    EXPECT_EQ(real(), bom + "[A]\r\na=2\r\n\r\n[S]\r\nj=2\r\n") << "a null value removes the key";
    EXPECT_TRUE(WritePrivateProfileStringW(L"S", nullptr, nullptr, link));
    EXPECT_EQ(real(), bom + "[A]\r\na=2\r\n\r\n") << "a null key removes the section";
    EXPECT_FALSE(WritePrivateProfileStringW(nullptr, L"k", L"1", link));
    EXPECT_TRUE(fs::is_symlink(folder.File("link.ini")));
    EXPECT_EQ(fs::status(folder.File("real.ini")).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(FolderEntries(folder.Path()), (std::vector<std::string>{"link.ini", "p.ini", "real.ini"}));
}

TEST(PrivateProfile, BareNamesLiveInTheSettingsFolder) {
    const Environment home("HOME", "/home/someone");
    const std::tuple<const char*, const char*, const wchar_t*, std::wstring> cases[] = {
        {"/etc/kiv", "/xdg", L"KivClient.ini", L"/etc/kiv/KivClient.ini"},  // KIV_CONFIG_DIR first
        {nullptr, "relative", L"a.ini",
         L"/home/someone/.config/a.ini"},                             // a relative XDG_CONFIG_HOME is ignored
        {"/etc/kiv", nullptr, L"C:\\Win\\a.ini", L"C:\\Win\\a.ini"},  // a name with a folder is used as given
    };
    for (const auto& [kiv, xdg, name, expected] : cases) {
        const Environment kivConfig("KIV_CONFIG_DIR", kiv), xdgConfig("XDG_CONFIG_HOME", xdg);
        EXPECT_EQ(ResolveProfilePath(name).Text(), expected);
    }
    ScratchFolder folder;
    const std::string settings = folder.File("new-folder");
    const Environment kivConfig("KIV_CONFIG_DIR", settings.c_str());
    EXPECT_TRUE(WritePrivateProfileStringW(L"S", L"k", L"3", L"bare.ini"))
        << "the folder is made when missing";
    EXPECT_EQ(Text(ReadFileBytes(settings + "/bare.ini")), "[S]\nk=3\n");
}

// ---- Directory search ------------------------------------------------------------------------------------

TEST(DirectorySearch, MasksMatchAsTheSystemDoes) {
    // clang-format off
    const std::tuple<std::wstring, std::wstring, bool> cases[] = {
        {L"SEA.BMP", L"*.bmp", true}, {L"a.b.c.bmp", L"*.BmP", true}, {L"sea.bmp.txt", L"*.bmp", false},
        {L"sea.jpeg", L"*.jpg", false}, {L"sea.bmp.", L"*.bmp", false}, {L".bmp", L"*.bmp", true}, {L"bmp", L"*.bmp", false},
        {L"trail...", L"*.", true}, {L"a.b", L"*.", false}, {L".hidden", L"*.", false}, {L"noext", L"*.*", true},
        {L"abc", L"abc.*", true}, {L"abcd", L"abc.*", false}, {L"Sea.Bmp", L"sea.bmp", true}, {L"a1c", L"a?c", true},
        {L"ac", L"a?c", false}, {L"caf\u00e9.tga", L"*.TGA", true}, {L"", L"*", false}, {L"a", L"", false},
        {L"aaaaaaaaaaaaaaaaaaaaaaaaaaaaab", L"*a*a*a*a*a*a*c", false},  // many stars fail in time
    };
    // clang-format on
    for (const auto& [name, mask, matches] : cases)
        EXPECT_EQ(MatchesFileMask(name, mask), matches)
            << CString(name).ToUtf8() << " " << CString(mask).ToUtf8();
}

TEST(DirectorySearch, ListsReachableEntriesInOrderWithTheirFacts) {
    ScratchFolder folder;
    for (const char* name : {"a.bmp", "B.BMP", "c.Bmp.txt", "noext", ".hidden.bmp"})
        folder.Write(name, Bytes(3, 'x'));
    folder.Write("big.bmp", Bytes(1000, 'x'));
    ASSERT_EQ(mkdir(folder.File("x.bmp").c_str(), 0755), 0);
    ASSERT_EQ(symlink("big.bmp", folder.File("link.bmp").c_str()), 0);
    ASSERT_EQ(symlink("gone.bmp", folder.File("dangling.bmp").c_str()), 0);
    ASSERT_EQ(mkfifo(folder.File("fifo.bmp").c_str(), 0644), 0);
    ASSERT_EQ(chmod(folder.File("a.bmp").c_str(), 0444), 0);
    const std::string base = folder.Path().string();
    EXPECT_EQ(Names(base + "/*.bmp"), (std::vector<std::wstring>{L".hidden.bmp", L"a.bmp", L"B.BMP",
                                                                 L"big.bmp", L"link.bmp", L"x.bmp"}))
        << "ordered without regard to case; no fifo, no dangling link";
    EXPECT_EQ(Names(base + "\\*."), (std::vector<std::wstring>{L"noext"})) << "a backslash separates too";
    EXPECT_EQ(Names(base + "/b.bmp"), (std::vector<std::wstring>{L"B.BMP"}))
        << "the name as the folder holds it";
    for (const char* none : {"/dangling.bmp", "/fifo.bmp", "/.", "/", "/missing/*"})
        EXPECT_TRUE(Names(base + none).empty()) << none;

    std::map<std::wstring, WIN32_FIND_DATAW> facts;
    for (const auto& [name, data] : Search(base + "/*.bmp")) facts[name] = data;
    EXPECT_EQ(facts[L"a.bmp"].dwFileAttributes, FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(facts[L"B.BMP"].dwFileAttributes, FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(facts[L"x.bmp"].dwFileAttributes, FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(facts[L".hidden.bmp"].dwFileAttributes, FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(facts[L"link.bmp"].nFileSizeLow, 1000u) << "a link has its target's size and time";
    EXPECT_EQ(facts[L"link.bmp"].ftLastWriteTime.dwLowDateTime,
              facts[L"big.bmp"].ftLastWriteTime.dwLowDateTime);

    ASSERT_EQ(truncate(folder.File("big.bmp").c_str(), 0x140000000LL), 0);  // sparse: 5 GiB of nothing
    const WIN32_FIND_DATAW big = Search(base + "/big.bmp").at(0).second;
    EXPECT_EQ(ULONGLONG{big.nFileSizeHigh} << 32 | big.nFileSizeLow, 0x140000000ULL);
}

TEST(DirectorySearch, AnEntryRemovedDuringTheSearchIsSkipped) {
    ScratchFolder folder;
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp"}) folder.Write(name, {});
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW(Wide(folder.File("*.bmp")).GetString(), &data);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    ASSERT_EQ(unlink(folder.File("b.bmp").c_str()), 0);
    ASSERT_TRUE(FindNextFileW(search, &data));
    EXPECT_EQ(std::wstring(data.cFileName), L"c.bmp");
    EXPECT_FALSE(FindNextFileW(search, &data));
    EXPECT_TRUE(FindClose(search));
    EXPECT_FALSE(FindNextFileW(INVALID_HANDLE_VALUE, &data) || FindClose(INVALID_HANDLE_VALUE));
}

// ---- Memory files, text and paths ---------------------------------------------------------------------

// A block given by the caller never grows: reallocating memory we did not allocate would be undefined.
TEST(File, MemFileNeverGrowsACallersBlock) {
    for (const UINT growBytes : {0u, 64u}) {
        BYTE block[4] = {1, 2, 3, 4};
        CMemFile file(block, sizeof block, growBytes);
        file.Seek(2, CFile::begin);
        const BYTE three[3] = {9, 9, 9};
        EXPECT_THROW(file.Write(three, 3), CMemoryException) << growBytes;
        EXPECT_EQ(block[2], 3) << "nothing written on failure";
    }
}

TEST(WideText, InvalidUtf8AndNonCharactersAreReplaced) {
    // An overlong '/' must not become a separator, nor an overlong '.' a dot.
    for (const std::string bytes :
         {"\x80", "\xFF", "\xE4\xB8", "\xC0\xAF", "\xE0\x80\xAE", "\xED\xA0\x80", "\xF4\x90\x80\x80"}) {
        const std::wstring text = CString::FromUtf8("<" + bytes + ">").Text();
        EXPECT_TRUE(text.size() >= 3 && text.front() == L'<' && text.back() == L'>' &&
                    text.find_first_not_of(L'\uFFFD', 1) == text.size() - 1)
            << CString(text).ToUtf8();
    }
    for (const wchar_t c : {wchar_t(0xD800), wchar_t(0x110000)})
        EXPECT_EQ(CString(std::wstring{L'a', c}).ToUtf8(), "a\xEF\xBF\xBD") << static_cast<unsigned>(c);
}

// One guard character after each buffer catches a write past its end.
TEST(Paths, SplitPathCutsOverlongPartsToTheirBuffers) {
    const std::wstring dir(_MAX_DIR + 50, L'd'), name(_MAX_FNAME + 50, L'n'), ext(_MAX_EXT + 50, L'e');
    std::wstring dirOut(_MAX_DIR + 1, L'#'), nameOut(_MAX_FNAME + 1, L'#'), extOut(_MAX_EXT + 1, L'#');
    _wsplitpath((dir + L"/" + name + L"." + ext).c_str(), nullptr, dirOut.data(), nameOut.data(),
                extOut.data());
    EXPECT_EQ(dirOut, dir.substr(0, _MAX_DIR - 1) + L'\0' + L'#');
    EXPECT_EQ(nameOut, name.substr(0, _MAX_FNAME - 1) + L'\0' + L'#');
    EXPECT_EQ(extOut, (L"." + ext).substr(0, _MAX_EXT - 1) + L'\0' + L'#');
}

// "#123" names identifier 123, also for types; digits alone or '#' with more than digits are names.
TEST(ModuleResources, NumberedNamesAndTheModulesChain) {
    const BYTE bytes[] = {1, 2, 3};
    const ModuleResourceEntry entries[] = {{2, nullptr, 123, nullptr, bytes, sizeof bytes}};
    const ModuleResourceTable table{"test module", entries, 1};
    const std::tuple<LPCWSTR, LPCWSTR, bool> cases[] = {{L"#123", L"#2", true},
                                                        {L"123", RT_BITMAP, false},
                                                        {L"#12x", RT_BITMAP, false},
                                                        {L"#123", RT_RCDATA, false}};
    for (const auto& [name, type, found] : cases)
        EXPECT_EQ(FindResourceW(&table, name, type), found ? entries : nullptr) << CString(name).ToUtf8();
    bool inChain = false;
    for (SIZE_T i = 0; AfxGetResourceChainModule(i); ++i)
        inChain |= AfxGetResourceChainModule(i) == GetKivPictureModuleHandle();
    EXPECT_TRUE(inChain && GetKivPictureModuleHandle()) << "the module joins the resource chain at load";
}
