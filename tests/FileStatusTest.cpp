// File status: reading it, writing the read-only attribute back, removing, and the report of a failure.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestFiles.h"
#include "platform/File.h"
#include "platform/MessageBox.h"

namespace {

mode_t ModeOf(const std::string& path) {
    struct stat facts {};
    EXPECT_EQ(lstat(path.c_str(), &facts), 0);
    return facts.st_mode & 07777;
}

TEST(FileStatus, ReadsSizeTimesAndAttributes) {
    ScratchFolder folder;
    const CString path = folder.Write("sea.bmp", Bytes(1234, 'x'));
    const timespec times[2] = {{1100000000, 0}, {1000000000, 500}};
    ASSERT_EQ(utimensat(AT_FDCWD, folder.File("sea.bmp").c_str(), times, 0), 0);
    CFileStatus status;
    ASSERT_TRUE(CFile::GetStatus(path, status));
    EXPECT_EQ(status.m_size, 1234u);
    EXPECT_EQ(status.m_mtime.GetTime(), 1000000000);
    EXPECT_EQ(status.m_atime.GetTime(), 1100000000);
    EXPECT_EQ(status.m_attribute, CFile::normal);
    EXPECT_EQ(status.m_szFullName, path);
}

struct AttributeCase {
    std::string name;
    mode_t mode;
    bool folder;
    BYTE attribute;
    const char* reason;
};

const AttributeCase kAttributeCases[] = {
    {"plain.bmp", 0644, false, CFile::normal, "writable by its owner"},
    {"locked.bmp", 0444, false, CFile::readOnly, "no write permission"},
    {"others.bmp", 0466, false, CFile::readOnly, "only others may write: the owner's bit counts"},
    {".dot.bmp", 0644, false, CFile::hidden, "a dot-name is hidden"},
    {"pics", 0755, true, CFile::directory, "a folder"},
    {"locked-pics", 0555, true, CFile::directory, "folders are never read-only"},
};

TEST(FileStatus, AttributesFollowTheMode) {
    ScratchFolder folder;
    for (const AttributeCase& c : kAttributeCases) {
        const std::string path = folder.File(c.name);
        if (c.folder)
            ASSERT_EQ(mkdir(path.c_str(), 0755), 0);
        else
            folder.Write(c.name, {});
        ASSERT_EQ(chmod(path.c_str(), c.mode), 0);
        CFileStatus status;
        ASSERT_TRUE(CFile::GetStatus(Wide(path), status)) << c.reason;
        EXPECT_EQ(status.m_attribute, c.attribute) << c.reason;
    }
}

TEST(FileStatus, MissingNamesHaveNoStatus) {
    ScratchFolder folder;
    ASSERT_EQ(symlink("gone", folder.File("dangling").c_str()), 0);
    CFileStatus status;
    EXPECT_FALSE(CFile::GetStatus(Wide(folder.File("missing")), status));
    EXPECT_FALSE(CFile::GetStatus(Wide(folder.File("dangling")), status));
    EXPECT_FALSE(CFile::GetStatus(L"", status));
}

struct SetCase {
    mode_t before;
    BYTE attribute;
    mode_t after;
    const char* reason;
};

const SetCase kSetCases[] = {
    {0644, CFile::readOnly, 0444, "read-only removes the owner's write permission"},
    {0666, CFile::readOnly, 0444, "and everyone's"},
    {0444, CFile::normal, 0644, "normal gives the owner write permission"},
    {0400, CFile::normal, 0600, "and no one else's"},
    {0644, CFile::normal, 0644, "an unchanged attribute changes nothing"},
    {0640, CFile::hidden, 0640, "other attributes are not written"},
};

TEST(FileStatus, SetStatusWritesTheReadOnlyAttribute) {
    ScratchFolder folder;
    for (const SetCase& c : kSetCases) {
        const CString path = folder.Write("f.bmp", {});
        ASSERT_EQ(chmod(folder.File("f.bmp").c_str(), c.before), 0);
        CFileStatus status;
        ASSERT_TRUE(CFile::GetStatus(path, status));
        status.m_attribute = c.attribute;
        CFile::SetStatus(path, status);
        EXPECT_EQ(ModeOf(folder.File("f.bmp")), c.after) << c.reason;
        CFile::Remove(path);
    }
}

TEST(FileStatus, SetStatusLeavesALinksTargetAlone) {
    ScratchFolder folder;
    folder.Write("target.bmp", {});
    ASSERT_EQ(chmod(folder.File("target.bmp").c_str(), 0444), 0);
    ASSERT_EQ(symlink("target.bmp", folder.File("link.pmf").c_str()), 0);
    CFileStatus status;
    ASSERT_TRUE(CFile::GetStatus(Wide(folder.File("link.pmf")), status));
    EXPECT_EQ(status.m_attribute, CFile::readOnly) << "the status is the target's";
    status.m_attribute = CFile::normal;
    CFile::SetStatus(Wide(folder.File("link.pmf")), status);
    EXPECT_EQ(ModeOf(folder.File("target.bmp")), 0444u);

    ASSERT_EQ(symlink("gone", folder.File("dangling.pmf").c_str()), 0);
    EXPECT_NO_THROW(CFile::SetStatus(Wide(folder.File("dangling.pmf")), CFileStatus{}));
}

TEST(FileStatus, RemoveTakesTheLinkNotItsTarget) {
    ScratchFolder folder;
    folder.Write("target.bmp", {});
    ASSERT_EQ(symlink("target.bmp", folder.File("link.pmf").c_str()), 0);
    CFile::Remove(Wide(folder.File("link.pmf")));
    EXPECT_NE(access(folder.File("link.pmf").c_str(), F_OK), 0);
    EXPECT_EQ(access(folder.File("target.bmp").c_str(), F_OK), 0);
}

TEST(FileStatus, AReadOnlyCacheFileIsResetThenRemoved) {
    ScratchFolder folder;
    const CString path = folder.Write("cache.pmf", Bytes(10, 0));
    ASSERT_EQ(chmod(folder.File("cache.pmf").c_str(), 0444), 0);
    CFileStatus status;
    ASSERT_TRUE(CFile::GetStatus(path, status));
    status.m_attribute = 0;
    CFile::SetStatus(path, status);
    CFile::Remove(path);
    EXPECT_NE(access(folder.File("cache.pmf").c_str(), F_OK), 0);
}

TEST(FileStatus, FailuresThrowAndAreReportedInAMessageBox) {
    ScratchFolder folder;
    const CString missing = Wide(folder.File("missing.pmf"));
    std::vector<std::wstring> shown;
    const MessageBoxHandler previous = SetMessageBoxHandler([&](const CString& text, UINT type) {
        EXPECT_EQ(type, MB_OK);
        shown.push_back(text.Text());
        return IDOK;
    });
    try {
        CFile::SetStatus(missing, CFileStatus{});
        ADD_FAILURE() << "a missing file was accepted";
    } catch (const CFileException& e) {
        EXPECT_EQ(e.m_cause, CFileException::fileNotFound);
        EXPECT_EQ(ReportError(e), IDOK);
    }
    try {
        CFile::Remove(missing);
        ADD_FAILURE() << "a missing file was removed";
    } catch (const CFileException& e) {
        ReportError(e);
    }
    SetMessageBoxHandler(previous);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0], missing.Text() + L" was not found.");
    EXPECT_EQ(AfxMessageBox(L"to standard error"), IDOK) << "the default handler answers OK";
}

}  // namespace
