// The file-name helper: the parts of a path, its type name, and whether it exists.

#include <gtest/gtest.h>

#include <filesystem>

#include "TestFiles.h"
#include "media/FileName.h"

namespace {

struct PartsCase {
    const wchar_t* path;
    const wchar_t* pure;
    const wchar_t* title;
    const wchar_t* extension;
    const wchar_t* folder;
    const wchar_t* typeName;
    const char* reason;
};

TEST(FileName, PartsOfAPath) {
    const PartsCase cases[] = {
        {L"/pics/sea.jpg", L"sea.jpg", L"sea", L".jpg", L"/pics/", L"JPG File", "an ordinary path"},
        {L"C:\\pics\\sea.jpg", L"sea.jpg", L"sea", L".jpg", L"C:\\pics\\", L"JPG File",
         "backslashes and a drive"},
        {L"sea", L"sea", L"sea", L"", L"", L"File", "no separator and no dot: the whole path is the name"},
        {L"/a/a.b.jpg", L"a.b.jpg", L"a.b", L".jpg", L"/a/", L"JPG File",
         "two dots: the extension is the last"},
        {L"/a.d/file", L"file", L"file", L"", L"/a.d/", L"File", "a dot in the folder is not an extension"},
        {L"/pics/", L"", L"", L"", L"/pics/", L"File", "a folder path has no name"},
    };
    for (const PartsCase& c : cases) {
        CKivFileName name(c.path);
        EXPECT_EQ(name.GetPureFileName(), CString(c.pure)) << c.reason;
        EXPECT_EQ(name.GetFileTitle(), CString(c.title)) << c.reason;
        EXPECT_EQ(name.GetFileExtName(), CString(c.extension)) << c.reason;
        EXPECT_EQ(name.GetFileDir(), CString(c.folder)) << c.reason;
        EXPECT_EQ(name.GetFileTypeName(), CString(c.typeName)) << c.reason;
    }
}

TEST(FileName, SetFileNameReplacesThePath) {
    CKivFileName name(L"/x/one.bmp");
    name.SetFileName(L"/y/two.tga");
    EXPECT_EQ(name.GetPureFileName(), CString(L"two.tga"));
    EXPECT_EQ(name.GetFileDir(), CString(L"/y/"));
}

TEST(FileName, IsFileExist) {
    ScratchFolder folder;
    WriteFileBytes(folder.File("sea.jpg"), Bytes(4, 1));
    std::filesystem::create_directory(folder.Path() / "pics");
    const std::string base = folder.Path().string();
    const struct {
        std::string path;
        bool exists;
        const char* reason;
    } cases[] = {
        {base + "/sea.jpg", true, "an existing file"},
        {base + "/SEA.JPG", true, "letter case does not matter, as on the system the paths come from"},
        {base + "/pics", true, "an existing folder"},
        {base + "/pics/", true, "a folder with a trailing separator"},
        {base + "\\pics\\", true, "a trailing backslash"},
        {base + "/*.jpg", true, "a wildcard that matches"},
        {base + "/*.gif", false, "a wildcard that matches nothing"},
        {base + "/missing.jpg", false, "a missing file"},
        {base + "/missing/sea.jpg", false, "a missing folder"},
    };
    for (const auto& c : cases) EXPECT_EQ(CKivFileName(Wide(c.path)).IsFileExist(), c.exists) << c.reason;
}

}  // namespace
