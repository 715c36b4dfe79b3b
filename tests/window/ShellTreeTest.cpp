// The shell namespace and the folder tree over a scratch folder tree and a mount table of our own: item-id
// lists, volume types, the tree's first-selection fills, hidden folders, files, unreadable folders, a link
// cycle, and every record given back to the shell allocator.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "CoreTestSupport.h"
#include "TestFiles.h"
#include "TreeHost.h"
#include "dialogs/ShellTree.h"

namespace fs = std::filesystem;

namespace {

using Pidl = CKivPicFileShellPidl;

// A list from items given as their own bytes (count added), ended; from the shell allocator.
LPITEMIDLIST MakeList(const std::vector<std::string>& items) {
    std::string bytes;
    for (const std::string& item : items) {
        const auto count = static_cast<WORD>(item.size() + 2);
        bytes.append(reinterpret_cast<const char*>(&count), 2) += item;
    }
    bytes.append(2, '\0');
    LPITEMIDLIST list = Pidl::AllocIdList(static_cast<UINT>(bytes.size()));
    std::memcpy(list, bytes.data(), bytes.size());
    return list;
}

std::string ListBytes(LPCITEMIDLIST list) {
    return std::string(reinterpret_cast<const char*>(list), Pidl::GetIdListSize(list));
}

void Free(LPITEMIDLIST list) {
    IMalloc* allocator = nullptr;
    SHGetMalloc(&allocator);
    allocator->Free(list);
    allocator->Release();
}

// vol/{a/x, B (a file only), .hidden/y, locked/sub, loop -> vol, c.txt}, mounted in a table of our own
// beside a network share and file systems that are not volumes.
class ShellTree : public testing::Test {
  protected:
    void SetUp() override {
        vol_ = folder_.Path() / "vol";
        for (const char* name : {"a/x", "B", ".hidden/y", "locked/sub"}) fs::create_directories(vol_ / name);
        WriteFileBytes((vol_ / "B" / "file.txt").string(), {});
        WriteFileBytes((vol_ / "c.txt").string(), {});
        fs::create_directory_symlink(vol_, vol_ / "loop");
        WriteFileBytes((folder_.Path() / "hosts").string(), {});
        std::ofstream table(folder_.File("mountinfo"));
        table << "22 27 0:21 / /proc rw - proc proc rw\n"
              << "25 24 0:23 / /dev/shm rw - tmpfs tmpfs rw\n"
              << "27 1 8:1 / " << vol_.string() << " rw - ext4 /dev/sda1 rw\n"
              << "28 1 0:50 / /net/server rw - nfs4 server:/export rw\n"
              << "29 1 8:1 /etc/hosts " << folder_.File("hosts") << " rw - ext4 /dev/sda1 rw\n";
        table.close();
        SetMountTableForTesting(folder_.File("mountinfo").c_str());
        baseBlocks_ = ShellAllocatorLiveBlocks();
    }
    void TearDown() override {
        SetMountTableForTesting(nullptr);
        EXPECT_EQ(ShellAllocatorLiveBlocks(), baseBlocks_) << "every id list and record goes back";
    }
    std::wstring Volume() const { return L"vol (" + Wide(vol_.string()).Text() + L")"; }

    ScratchFolder folder_;
    fs::path vol_;
    long baseBlocks_ = 0;
};

}  // namespace

TEST(ShellPidl, ListOperations) {
    const long base = ShellAllocatorLiveBlocks();
    LPITEMIDLIST one = MakeList({"\3ab"});
    LPITEMIDLIST two = MakeList({"\3x", "\3yz"});
    const LPITEMIDLIST end = MakeList({});
    EXPECT_EQ(Pidl::GetIdListSize(nullptr), 0u);
    EXPECT_EQ(Pidl::GetIdListSize(end), 2u);
    EXPECT_EQ(Pidl::GetIdListSize(two), 2u + 4 + 5);
    IMalloc* allocator = nullptr;
    SHGetMalloc(&allocator);
    const struct Case {
        const char* reason;
        LPITEMIDLIST made;
        std::string expected;
    } cases[] = {
        {"second alone when first is null", Pidl::ConcatIdLists(nullptr, one), ListBytes(one)},
        {"first's items, then second with its end", Pidl::ConcatIdLists(one, two),
         ListBytes(one).substr(0, 5) + ListBytes(two)},
        {"an empty first adds nothing", Pidl::ConcatIdLists(end, one), ListBytes(one)},
        {"first item and the two bytes after it", Pidl::DuplicateFirstItem(allocator, two),
         ListBytes(two).substr(0, 6)},
        {"zero-filled", Pidl::AllocIdList(5), std::string(5, '\0')},
    };
    allocator->Release();
    for (const Case& c : cases) {
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(c.made), c.expected.size()), c.expected) << c.reason;
        Free(c.made);
    }
    for (LPITEMIDLIST list : {one, two, end}) Free(list);
    EXPECT_EQ(ShellAllocatorLiveBlocks(), base);
}

TEST(ShellNamespace, ClassifiesMounts) {
    const struct {
        MountEntry mount;
        bool removableDevice;
        UINT type;
    } cases[] = {
        {{"/", "ext4", "/dev/vda"}, false, DRIVE_FIXED},
        {{"/", "overlay", "overlay"}, false, DRIVE_FIXED},  // a container's root
        {{"/home", "btrfs", "/dev/nvme0n1p2"}, false, DRIVE_FIXED},
        {{"/tank", "zfs", "tank"}, false, DRIVE_FIXED},  // no device path, a disk file system
        {{"/mnt/usb", "vfat", "/dev/sdb1"}, true, DRIVE_REMOVABLE},
        {{"/media/me/STICK", "exfat", "/dev/sdc1"}, false, DRIVE_REMOVABLE},
        {{"/run/media/me/disk", "ext4", "/dev/sdc2"}, false, DRIVE_REMOVABLE},
        {{"/mnt/nfs", "nfs4", "server:/export"}, false, DRIVE_REMOTE},
        {{"/mnt/share", "cifs", "//server/share"}, false, DRIVE_REMOTE},
        {{"/mnt/ssh", "fuse.sshfs", "me@host:"}, false, DRIVE_REMOTE},
        {{"/media/me/DVD", "iso9660", "/dev/sr0"}, true, DRIVE_CDROM},
        {{"/mnt/bd", "udf", "/dev/sr1"}, false, DRIVE_CDROM},
        {{"/proc", "proc", "proc"}, false, DRIVE_UNKNOWN},
        {{"/sys", "sysfs", "sysfs"}, false, DRIVE_UNKNOWN},
        {{"/run", "tmpfs", "tmpfs"}, false, DRIVE_UNKNOWN},
        {{"/var/lib/docker/overlay2/x/merged", "overlay", "overlay"}, false, DRIVE_UNKNOWN},
        {{"/snap/core/1", "squashfs", "/dev/loop0"}, false, DRIVE_UNKNOWN},
    };
    for (const auto& c : cases) EXPECT_EQ(ClassifyMount(c.mount, c.removableDevice), c.type) << c.mount.mountPoint << " " << c.mount.type;
}

TEST_F(ShellTree, VolumesOfTheTableAndTheirDriveTypes) {
    TreeHost host;
    host.tree.FillFromSpecialFolder(CSIDL_DRIVES);
    // Only the volumes, in the table's order; the file bound over another is none.
    EXPECT_EQ(host.Texts(TVI_ROOT), (std::vector<std::wstring>{Volume(), L"server (/net/server)"}));
    for (HTREEITEM volume = host.tree.GetRootItem(); volume; volume = host.tree.GetNextSiblingItem(volume))
        EXPECT_TRUE(host.tree.ItemHasChildren(volume)) << "a share is assumed to hold folders";
    // The panel's walk over the top level goes through the visible items.
    EXPECT_EQ(host.tree.GetNextItem(host.tree.GetRootItem(), TVGN_NEXTVISIBLE),
              host.tree.GetNextSiblingItem(host.tree.GetRootItem()));
    for (const auto& [path, type] : {std::pair{vol_.string() + "/", DRIVE_FIXED},
                                     {"/net/server", DRIVE_REMOTE},
                                     {"/proc", DRIVE_UNKNOWN},
                                     {folder_.Path().string(), DRIVE_NO_ROOT_DIR}})
        EXPECT_EQ(GetDriveTypeW(Wide(path)), type) << path;

    // From the desktop: the computer is no file-system folder, yet it fills on its first selection.
    host.path = L"unchanged";
    host.tree.FillFromSpecialFolder(CSIDL_DESKTOP);
    EXPECT_EQ(host.Texts(TVI_ROOT), std::vector<std::wstring>{L"Computer"});
    host.tree.SelectItem(host.tree.GetRootItem());
    EXPECT_FALSE(host.lastSelection);
    EXPECT_EQ(host.path, CString(L"unchanged"));
    EXPECT_EQ(host.Texts(host.tree.GetRootItem()), (std::vector<std::wstring>{L"server (/net/server)", Volume()}));
}

TEST_F(ShellTree, FirstSelectionFillsSortedSubFoldersOnceAndGivesThePath) {
    TreeHost host;
    host.tree.AttachSystemImageList();
    ASSERT_NE(host.tree.GetImageList(TVSIL_NORMAL), nullptr);
    host.tree.FillFromSpecialFolder(CSIDL_DRIVES);
    const HTREEITEM volume = host.tree.GetRootItem();
    host.tree.SelectItem(volume);
    EXPECT_TRUE(host.lastSelection);
    EXPECT_EQ(host.path, Wide(vol_.string()));
    // Folders only, hidden ones left out, in name order without regard to case.
    EXPECT_EQ(host.Texts(volume), (std::vector<std::wstring>{L"a", L"B", L"locked", L"loop"}));
    for (const auto& [name, children] :
         {std::pair{L"a", true}, {L"B", false}, {L"locked", true}, {L"loop", true}})
        EXPECT_EQ(host.tree.ItemHasChildren(host.Child(volume, name)), children) << name;

    const HTREEITEM a = host.Child(volume, L"a");
    TVITEMW icons{TVIF_IMAGE | TVIF_SELECTEDIMAGE, a};
    host.tree.GetItem(&icons);
    EXPECT_NE(icons.iImage, icons.iSelectedImage) << "a folder opens when selected";
    host.tree.SelectItem(a);
    host.tree.SelectItem(volume);
    EXPECT_EQ(host.Texts(volume).size(), 4u) << "a second selection adds nothing";
    EXPECT_EQ(host.Texts(a), std::vector<std::wstring>{L"x"});

    const HTREEITEM b = host.Child(volume, L"B");
    host.tree.SelectItem(b);
    EXPECT_EQ(host.path, Wide((vol_ / "B").string()));
    EXPECT_EQ(host.tree.GetChildItem(b), nullptr);
}

TEST_F(ShellTree, LinkCycleBrowsesDeeperOnlyWhenAsked) {
    TreeHost host;
    host.tree.FillFromSpecialFolder(CSIDL_DRIVES);
    HTREEITEM item = host.tree.GetRootItem();
    host.tree.SelectItem(item);
    fs::path expected = vol_;
    for (int level = 0; level < 3; ++level) {
        item = host.Child(item, L"loop");
        ASSERT_NE(item, nullptr) << level;
        EXPECT_EQ(host.tree.GetChildItem(item), nullptr) << "nothing fills before it is selected";
        host.tree.SelectItem(item);
        expected /= "loop";
        EXPECT_EQ(host.path, Wide(expected.string()));
        EXPECT_EQ(host.Texts(item).size(), 4u);
    }
}

TEST_F(ShellTree, UnreadableFolderHasNoChildrenAndNoError) {
    fs::permissions(folder_.Path(), fs::perms::all);
    fs::permissions(vol_ / "locked", fs::perms::none);
    const int status = InChild([&] {
        if (!ActAsNobody()) return 10;
        IShellFolder* desktop = nullptr;
        LPITEMIDLIST drives = nullptr;
        SHGetDesktopFolder(&desktop);
        SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &drives);
        void* computer = nullptr;
        if (FAILED(desktop->BindToObject(drives, nullptr, IID_IShellFolder, &computer))) return 11;
        // The first volume of the computer, then its folder "locked".
        IEnumIDList* items = nullptr;
        LPITEMIDLIST volume = nullptr;
        static_cast<IShellFolder*>(computer)->EnumObjects(nullptr, SHCONTF_FOLDERS, &items);
        if (items->Next(1, &volume, nullptr) != S_OK) return 12;
        void* vol = nullptr;
        static_cast<IShellFolder*>(computer)->BindToObject(volume, nullptr, IID_IShellFolder, &vol);
        auto* folder = static_cast<IShellFolder*>(vol);
        IEnumIDList* folders = nullptr;
        folder->EnumObjects(nullptr, SHCONTF_FOLDERS, &folders);
        for (LPITEMIDLIST item = nullptr; folders->Next(1, &item, nullptr) == S_OK;) {
            CString name;
            Pidl::GetDisplayText(folder, item, SHGDN_NORMAL, name);
            if (name != CString(L"locked")) continue;
            LPCITEMIDLIST asked = item;
            ULONG attributes = SFGAO_FOLDER | SFGAO_HASSUBFOLDER;
            folder->GetAttributesOf(1, &asked, &attributes);
            void* lockedFolder = nullptr;
            IEnumIDList* inside = nullptr;
            LPITEMIDLIST first = nullptr;
            if (FAILED(folder->BindToObject(item, nullptr, IID_IShellFolder, &lockedFolder)) ||
                FAILED(static_cast<IShellFolder*>(lockedFolder)->EnumObjects(nullptr, SHCONTF_FOLDERS, &inside)))
                return 13;
            if (inside->Next(1, &first, nullptr) != S_FALSE) return 14;
            return attributes == SFGAO_FOLDER ? 0 : 15;
        }
        return 16;  // the child exits: what it holds goes with it
    });
    fs::permissions(vol_ / "locked", fs::perms::owner_all);
    EXPECT_EQ(status, 0) << "10: could not give up root; 13: refused; 14: listed; 15: said it has sub-folders";
}

TEST_F(ShellTree, EveryRecordGoesBackWithItsItem) {
    auto host = std::make_unique<TreeHost>();
    host->tree.FillFromSpecialFolder(CSIDL_DRIVES);
    host->tree.SelectItem(host->tree.GetRootItem());
    const UINT items = host->tree.GetCount();
    EXPECT_EQ(items, 6u);
    host->tree.DeleteItem(host->Child(host->tree.GetRootItem(), L"a"));
    EXPECT_EQ(host->released, 1);
    host->tree.DeleteAllItems();
    EXPECT_EQ(host->released, int(items));
    EXPECT_EQ(ShellAllocatorLiveBlocks(), baseBlocks_);
    EXPECT_EQ(host->tree.GetSelectedItem(), nullptr);

    // A refill, then the end of the control: the destruction of its window with the host's.
    host->tree.FillFromSpecialFolder(CSIDL_DRIVES);
    host->tree.SelectItem(host->tree.GetRootItem());
    EXPECT_GT(ShellAllocatorLiveBlocks(), baseBlocks_);
    host.reset();
}
