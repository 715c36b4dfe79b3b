// What every writer promises about the file system: a failed save (a full disk) returns 0, leaves the
// earlier file byte for byte and leaves no temporary file behind; a successful save replaces the earlier
// file, keeps its permissions, and writes through a symbolic link to the file it names.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "TestFiles.h"

namespace {

using SaveFunction = int (*)(CString, DWORD*, CSize, CRect);

struct Writer {
    const char* name;
    const char* extension;
    SaveFunction save;
    Bytes start;  // the first bytes of every file the writer makes
};

const Writer kWriters[] = {
    {"BMP", "bmp", KivPictureSaveBMPFile, {'B', 'M'}},
    {"TGA", "tga", KivPictureSaveTGAFile, {64, 0, 2}},
    {"PCX", "pcx", KivPictureSavePCXFile, {10, 5, 1, 8}},
    {"JPEG", "jpg", KivPictureSaveJPGFile, {0xFF, 0xD8, 0xFF}},
};

constexpr int kSide = 16;

// Noise: no run for the PCX coder to shorten and no smooth area for the JPEG coder, so every writer's
// file is well over a few hundred bytes.
std::vector<DWORD> Noise() {
    std::vector<DWORD> pixels(kSide * kSide);
    DWORD state = 12345;
    for (DWORD& p : pixels) {
        state = state * 1103515245u + 12345u;
        p = state ^ (state >> 13);
    }
    return pixels;
}

int Save(const Writer& writer, const std::string& path) {
    auto pixels = Noise();
    return writer.save(Wide(path), pixels.data(), CSize(kSide, kSide), CRect(0, 0, kSide, kSide));
}

std::string FileName(const Writer& writer, const std::string& stem) {
    return stem + "." + writer.extension;
}

// Every entry, hidden ones (a temporary file) included.
std::vector<std::string> FolderEntries(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

bool StartsWith(const Bytes& bytes, const Bytes& start) {
    return bytes.size() >= start.size() && std::equal(start.begin(), start.end(), bytes.begin());
}

unsigned Permissions(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : ~0u;
}

// Saves in a child process whose files may not grow past limit bytes; a write beyond fails with EFBIG
// (SIGXFSZ is ignored) as on a full disk. The child's result, or -1 when it did not exit normally.
int SaveWithFileSizeLimit(const Writer& writer, const std::string& path, rlim_t limit) {
    const pid_t child = fork();
    if (child < 0) return -1;
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit bound{limit, limit};
        if (setrlimit(RLIMIT_FSIZE, &bound) != 0) _exit(100);
        _exit(Save(writer, path));
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

Bytes OldContents() {
    Bytes old(300);
    for (size_t i = 0; i < old.size(); ++i) old[i] = static_cast<std::uint8_t>(i * 7 + 3);
    return old;
}

}  // namespace

TEST(WriterSafety, FullDiskLeavesTheOldFileAsItWas) {
    for (const Writer& writer : kWriters) {
        // The size of a complete file, to fail it at its very last byte.
        ScratchFolder reference;
        ASSERT_EQ(Save(writer, reference.File(FileName(writer, "whole"))), 1) << writer.name;
        const rlim_t whole = std::filesystem::file_size(reference.File(FileName(writer, "whole")));
        ASSERT_GT(whole, 400u) << writer.name;

        struct LimitCase {
            rlim_t limit;
            const char* reason;
        };
        const LimitCase limits[] = {
            {0, "not a byte can be written"},
            {200, "the disk fills within the first block of the file"},
            {whole - 1, "the disk fills at the last byte: the rename must wait for it"},
        };
        for (const LimitCase& c : limits) {
            ScratchFolder folder;
            const std::string name = FileName(writer, "kept");
            const std::string path = folder.File(name);
            WriteFileBytes(path, OldContents());
            EXPECT_EQ(SaveWithFileSizeLimit(writer, path, c.limit), 0) << writer.name << ": " << c.reason;
            EXPECT_EQ(ReadFileBytes(path), OldContents()) << writer.name << ": " << c.reason;
            EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{name})
                << writer.name << ": " << c.reason << ": the temporary file is left";
        }
        // A limit the file fits under: the same child setup saves normally.
        ScratchFolder folder;
        const std::string path = folder.File(FileName(writer, "fits"));
        WriteFileBytes(path, OldContents());
        EXPECT_EQ(SaveWithFileSizeLimit(writer, path, whole), 1)
            << writer.name << ": a file of exactly the limit";
        EXPECT_TRUE(StartsWith(ReadFileBytes(path), writer.start)) << writer.name;
    }
}

TEST(WriterSafety, ExistingFileIsReplacedAndKeepsItsPermissions) {
    struct ModeCase {
        unsigned mode;
        const char* reason;
    };
    const ModeCase modes[] = {
        {0640, "owner read-write, group read: tighter than a new file would get"},
        {0604, "an unusual mode no default would give"},
        {0666, "wider than the usual creation mask allows"},
    };
    for (const Writer& writer : kWriters)
        for (const ModeCase& c : modes) {
            ScratchFolder folder;
            const std::string name = FileName(writer, "old");
            const std::string path = folder.File(name);
            WriteFileBytes(path, Bytes(5000, 0xAB));
            ASSERT_EQ(::chmod(path.c_str(), c.mode), 0);
            ASSERT_EQ(Save(writer, path), 1) << writer.name << ": " << c.reason;
            const Bytes written = ReadFileBytes(path);
            EXPECT_TRUE(StartsWith(written, writer.start)) << writer.name << ": " << c.reason;
            EXPECT_NE(written.size(), 5000u) << writer.name << ": the old contents are gone";
            EXPECT_EQ(Permissions(path), c.mode) << writer.name << ": " << c.reason;
            EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{name})
                << writer.name << ": no temporary file is left";
        }
}

TEST(WriterSafety, SymbolicLinkIsWrittenThrough) {
    for (const Writer& writer : kWriters) {
        ScratchFolder folder;
        std::filesystem::create_directory(folder.Path() / "real");
        const std::string relative = "real/" + FileName(writer, "picture");
        const std::string target = folder.File(relative);
        WriteFileBytes(target, Bytes(10, 1));
        ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
        const std::string link = folder.File(FileName(writer, "link"));
        std::filesystem::create_symlink(relative, link);

        ASSERT_EQ(Save(writer, link), 1) << writer.name;
        EXPECT_TRUE(std::filesystem::is_symlink(link)) << writer.name << ": the link stays a link";
        EXPECT_EQ(std::filesystem::read_symlink(link), relative) << writer.name << ": to the same file";
        EXPECT_TRUE(StartsWith(ReadFileBytes(target), writer.start))
            << writer.name << ": the named file is new";
        EXPECT_EQ(Permissions(target), 0640u) << writer.name;
        EXPECT_EQ(FolderEntries(folder.Path()), (std::vector<std::string>{FileName(writer, "link"), "real"}))
            << writer.name;
        EXPECT_EQ(FolderEntries(folder.Path() / "real"),
                  std::vector<std::string>{FileName(writer, "picture")})
            << writer.name << ": the temporary file was made beside the named file and renamed";
    }
}

TEST(WriterSafety, NothingToReplace) {
    for (const Writer& writer : kWriters) {
        ScratchFolder folder;
        std::filesystem::create_directory(folder.Path() / "folder.x");
        EXPECT_EQ(Save(writer, folder.File("folder.x")), 0) << writer.name << ": a folder is never replaced";
        EXPECT_TRUE(std::filesystem::is_directory(folder.Path() / "folder.x")) << writer.name;
        EXPECT_EQ(Save(writer, folder.File("missing/" + FileName(writer, "x"))), 0)
            << writer.name << ": a folder that does not exist";
        EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{"folder.x"}) << writer.name;
    }
}

// A file the user may not write stays as it is, although the folder would let a new file take its name:
// saving is writing to that file, which the file's permissions forbid. A process with the privilege to
// write any file would never see the refusal, so the save runs in a child that gives up that privilege.
TEST(WriterSafety, ReadOnlyFileIsNotReplaced) {
    for (const Writer& writer : kWriters) {
        ScratchFolder folder;
        std::filesystem::permissions(folder.Path(), std::filesystem::perms::all);  // anyone may add files
        const std::string name = FileName(writer, "locked");
        const std::string path = folder.File(name);
        WriteFileBytes(path, OldContents());
        ASSERT_EQ(::chmod(path.c_str(), 0444), 0);

        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            constexpr uid_t kNobody = 65534;
            if (geteuid() == 0 && (setgid(kNobody) != 0 || setuid(kNobody) != 0)) _exit(100);
            _exit(Save(writer, path));
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        ASSERT_NE(WEXITSTATUS(status), 100) << "could not give up the privilege";
        EXPECT_EQ(WEXITSTATUS(status), 0) << writer.name << ": the save must fail";
        EXPECT_EQ(ReadFileBytes(path), OldContents()) << writer.name;
        EXPECT_EQ(Permissions(path), 0444u) << writer.name;
        EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{name}) << writer.name;
    }
}
