// Private profile files: values read as integers, keys written with every other byte of the file kept.

#include <cstdlib>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "TestFiles.h"
#include "platform/PrivateProfile.h"

namespace {

// Sets or clears an environment variable for the life of the object, then puts the old value back.
class EnvironmentOverride {
  public:
    EnvironmentOverride(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        Set(name, value);
    }
    ~EnvironmentOverride() { Set(name_, old_ ? old_->c_str() : nullptr); }
    EnvironmentOverride(const EnvironmentOverride&) = delete;
    EnvironmentOverride& operator=(const EnvironmentOverride&) = delete;

  private:
    static void Set(const char* name, const char* value) { value ? setenv(name, value, 1) : unsetenv(name); }
    const char* name_;
    std::optional<std::string> old_;
};

TEST(ProfileDocument, ParseAndSerializeKeepEveryByte) {
    const struct {
        std::string text;
        const char* reason;
    } cases[] = {
        {"", "empty file"},
        {"\n", "one blank line"},
        {"\r\n\r\n", "blank CRLF lines"},
        {"[A]\r\nk=v\r\n", "CRLF file"},
        {"[A]\nk=v\r\n; c\n", "mixed line ends"},
        {"[A]\nk=v", "no final newline"},
        {"a\r\r\n\r", "CR before CRLF, then a lone CR"},
        {"  [ A ]  ; note\n\t k \t=\t v \t\n", "blanks and tabs around everything"},
        {std::string("k=\0\xFF\xFE\n", 6), "NUL and bytes that are not UTF-8"},
    };
    for (const auto& c : cases) EXPECT_EQ(ProfileDocument::Parse(c.text).Serialize(), c.text) << c.reason;
}

TEST(ProfileDocument, SetValueChangesOnlyWhatItMust) {
    const struct {
        std::string before, section, key, after;
        const char* reason;
    } cases[] = {
        {"; top\n[A]\nk=1\n\n[S]\n; note\nk = 5\nz=2\n\n[T]\nk=9\n", "S", "k",
         "; top\n[A]\nk=1\n\n[S]\n; note\nk=v\nz=2\n\n[T]\nk=9\n",
         "only the key's line of its section changes"},
        {"[ s ]\n  K\t= 5\n", "S", "k", "[ s ]\nk=v\n",
         "section and key match without regard to case and blanks"},
        {"[A]\r\nx=1\r\n[S]\r\ny=2\r\n", "S", "k", "[A]\r\nx=1\r\n[S]\r\ny=2\r\nk=v\r\n",
         "a CRLF file gets CRLF"},
        {"[S]\ny=1\n; c\n\n\n[T]\n", "S", "k", "[S]\ny=1\n; c\nk=v\n\n\n[T]\n",
         "a new key goes after the section's last non-blank line"},
        {"[A]\na=1\n", "S", "k", "[A]\na=1\n[S]\nk=v\n", "a new section is appended"},
        {"[A]\na=1", "S", "k", "[A]\na=1\n[S]\nk=v\n", "a new section after a last line without newline"},
        {"[A]\r\n[S]", "S", "k", "[A]\r\n[S]\r\nk=v\r\n", "a header without newline ending a CRLF file"},
        {"", "S", "k", "[S]\nk=v\n", "an empty file"},
        {"[S]\n;k=1\n#k=2\n", "S", "k", "[S]\n;k=1\n#k=2\nk=v\n", "commented-out keys are not keys"},
        {"[S] ; note\nk=1\n", "S", "k", "[S] ; note\nk=v\n", "a comment after the header"},
        {"[S]\nkk=1\nk2=2\n", "S", "k", "[S]\nkk=1\nk2=2\nk=v\n",
         "a key that starts like ours is another key"},
    };
    for (const auto& c : cases) {
        ProfileDocument document = ProfileDocument::Parse(c.before);
        document.SetValue(c.section, c.key, "v");
        EXPECT_EQ(document.Serialize(), c.after) << c.reason;
    }
}

TEST(PrivateProfile, ReadsTheLeadingNumber) {
    ScratchFolder folder;
    const struct {
        std::string file;
        int expected;
        const char* reason;
    } cases[] = {
        {"[S]\nk=12abc\n", 12, "text after the number is ignored"},
        {"[S]\nk=-1\n", -1, "a negative value stays negative as an int"},
        {"[S]\nk=+7\n", 7, "an explicit plus sign"},
        {"[S]\r\nk = 42 \r\n", 42, "blanks and CR around the value"},
        {"[S]\nk=\n", 55, "an empty value gives the default"},
        {"[S]\nk=   \n", 55, "a blank value gives the default"},
        {"[S]\nk=abc\n", 0, "a value that is not a number reads as 0"},
        {"[S]\nother=3\n", 55, "missing key"},
        {"[T]\nk=3\n", 55, "missing section"},
        {"[s]\nK=3\n[S]\nk=4\n", 3, "the first section that matches without regard to case"},
    };
    const CString path = Wide(folder.File("p.ini"));
    for (const auto& c : cases) {
        WriteFileBytes(folder.File("p.ini"), Bytes(c.file.begin(), c.file.end()));
        EXPECT_EQ(static_cast<int>(GetPrivateProfileIntW(L"S", L"k", 55, path)), c.expected) << c.reason;
    }
    EXPECT_EQ(static_cast<int>(GetPrivateProfileIntW(L"S", L"k", -9, Wide(folder.File("none.ini")))), -9);
    EXPECT_EQ(GetPrivateProfileIntW(L"S", L"k", 4, Wide(folder.Path().string())), 4u)
        << "a folder, not a file";
}

TEST(PrivateProfile, NullValueRemovesKeyAndNullKeyRemovesSection) {
    ScratchFolder folder;
    const std::string file = folder.File("w.ini");
    const CString path = Wide(file);
    const std::string original = "; settings\r\n[A]\r\na=1\r\n\r\n[S]\r\nk=1\r\nj=2\r\n";
    WriteFileBytes(file, Bytes(original.begin(), original.end()));
    const auto contents = [&] {
        const Bytes bytes = ReadFileBytes(file);
        return std::string(bytes.begin(), bytes.end());
    };
    EXPECT_TRUE(WritePrivateProfileStringW(L"s", L"K", nullptr, path));
    EXPECT_EQ(contents(), "; settings\r\n[A]\r\na=1\r\n\r\n[S]\r\nj=2\r\n") << "a null value removes the key";
    EXPECT_TRUE(WritePrivateProfileStringW(L"A", nullptr, nullptr, path));
    EXPECT_EQ(contents(), "; settings\r\n[S]\r\nj=2\r\n") << "a null key removes the section";
    EXPECT_FALSE(WritePrivateProfileStringW(nullptr, L"k", L"1", path));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()), {}), 1)
        << "no temporary left";
}

TEST(PrivateProfile, ByteOrderMarkAndLinksSurviveAWrite) {
    ScratchFolder folder;
    const std::string real = folder.File("real.ini");
    const std::string original = "\xEF\xBB\xBF[COMMON_SETUP]\nOpenPicDlg=0\n";
    WriteFileBytes(real, Bytes(original.begin(), original.end()));
    std::filesystem::permissions(real,
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    std::filesystem::create_symlink(real, folder.File("link.ini"));
    const CString link = Wide(folder.File("link.ini"));
    EXPECT_EQ(GetPrivateProfileIntW(L"COMMON_SETUP", L"OpenPicDlg", 5, link), 0u)
        << "the mark is not part of the name";
    EXPECT_TRUE(WritePrivateProfileStringW(L"COMMON_SETUP", L"OpenPicDlg", L"1", link));
    const Bytes bytes = ReadFileBytes(real);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "\xEF\xBB\xBF[COMMON_SETUP]\nOpenPicDlg=1\n")
        << "the key is set in place, the mark kept, no second section added";
    EXPECT_TRUE(std::filesystem::is_symlink(folder.File("link.ini"))) << "the link still points at the file";
    EXPECT_EQ(std::filesystem::status(real).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write)
        << "permissions kept";
}

TEST(PrivateProfile, BareNamesResolveInTheSettingsFolder) {
    const EnvironmentOverride home("HOME", "/home/someone");
    const struct {
        const char *kivConfig, *xdgConfig;
        const wchar_t* name;
        std::wstring expected;
        const char* reason;
    } cases[] = {
        {"/etc/kiv", "/xdg", L"KivClient.ini", L"/etc/kiv/KivClient.ini", "KIV_CONFIG_DIR comes first"},
        {"", "/xdg", L"KivClient.ini", L"/xdg/KivClient.ini", "an empty KIV_CONFIG_DIR counts as unset"},
        {nullptr, "/xdg", L"KivClient.ini", L"/xdg/KivClient.ini", "then XDG_CONFIG_HOME"},
        {nullptr, "relative", L"a.ini", L"/home/someone/.config/a.ini",
         "a relative XDG_CONFIG_HOME is ignored"},
        {nullptr, nullptr, L"a.ini", L"/home/someone/.config/a.ini", "else ~/.config"},
        {"/etc/kiv", nullptr, L"sub/a.ini", L"sub/a.ini", "a name with a folder is used as given"},
        {"/etc/kiv", nullptr, L"C:\\Win\\a.ini", L"C:\\Win\\a.ini", "so is one with a backslash"},
    };
    for (const auto& c : cases) {
        const EnvironmentOverride kiv("KIV_CONFIG_DIR", c.kivConfig);
        const EnvironmentOverride xdg("XDG_CONFIG_HOME", c.xdgConfig);
        EXPECT_EQ(ResolveProfilePath(c.name).Text(), c.expected) << c.reason;
    }
}

TEST(PrivateProfile, BareNameReadAndWrittenThroughTheSettingsFolder) {
    ScratchFolder folder;
    const std::string settings = (folder.Path() / "new-folder").string();
    const EnvironmentOverride kiv("KIV_CONFIG_DIR", settings.c_str());
    EXPECT_TRUE(WritePrivateProfileStringW(L"S", L"k", L"3", L"bare.ini"))
        << "the folder is made when missing";
    EXPECT_EQ(ReadFileBytes(settings + "/bare.ini"), (Bytes{'[', 'S', ']', '\n', 'k', '=', '3', '\n'}));
    EXPECT_EQ(GetPrivateProfileIntW(L"S", L"k", 0, L"bare.ini"), 3u);
}

}  // namespace
