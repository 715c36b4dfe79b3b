#include "platform/window/ShellNamespace.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <QApplication>
#include <QFileIconProvider>
#include <QIcon>

#include "platform/DirectorySearch.h"

// ---- The shell allocator ----------------------------------------------------------------------------------

namespace {

std::atomic<long> liveBlocks{0};

// One allocator for the process, as the system has: references are counted but it is never destroyed.
class ShellAllocator final : public IMalloc {
  public:
    ULONG AddRef() override { return ++references_; }
    ULONG Release() override { return --references_; }
    void* Alloc(SIZE_T bytes) override {
        void* block = std::malloc(bytes ? bytes : 1);
        if (block) ++liveBlocks;
        return block;
    }
    void Free(void* block) override {
        if (!block) return;
        --liveBlocks;
        std::free(block);
    }

  private:
    std::atomic<ULONG> references_{1};
};

ShellAllocator shellAllocator;

}  // namespace

HRESULT SHGetMalloc(IMalloc** allocator) {
    if (!allocator) return E_INVALIDARG;
    shellAllocator.AddRef();
    *allocator = &shellAllocator;
    return S_OK;
}

long ShellAllocatorLiveBlocks() { return liveBlocks; }

// ---- Items ------------------------------------------------------------------------------------------------

namespace {

enum ItemKind : BYTE { kComputerItem = 1, kVolumeItem = 2, kFolderItem = 3 };
constexpr size_t kCountBytes = 2;  // the 16-bit byte count that starts an item, and the chain's end

WORD ItemBytes(const BYTE* item) {
    WORD count;
    std::memcpy(&count, item, sizeof count);  // items follow each other at any address
    return count;
}

// What one item of ours says; name is the mount point of a volume, the file-system name of a folder.
struct ItemView {
    ItemKind kind;
    UINT driveType = DRIVE_UNKNOWN;
    std::string_view name;
};

// Reads one item within its own byte count; nothing for an item that is not one of ours.
std::optional<ItemView> ReadItem(LPCITEMIDLIST list) {
    if (!list) return std::nullopt;
    const auto* bytes = reinterpret_cast<const BYTE*>(list);
    const WORD count = ItemBytes(bytes);
    if (count < kCountBytes + 1) return std::nullopt;
    const auto kind = static_cast<ItemKind>(bytes[2]);
    const auto text = [&](size_t from) -> std::optional<std::string_view> {
        if (count < from + 1 || bytes[count - 1] != 0) return std::nullopt;
        return std::string_view(reinterpret_cast<const char*>(bytes + from), count - 1 - from);
    };
    switch (kind) {
        case kComputerItem: return ItemView{kind, DRIVE_UNKNOWN, {}};
        case kVolumeItem:
            if (count < 4) return std::nullopt;
            if (auto name = text(4)) return ItemView{kind, bytes[3], *name};
            return std::nullopt;
        case kFolderItem:
            if (auto name = text(3)) return ItemView{kind, DRIVE_UNKNOWN, *name};
            return std::nullopt;
    }
    return std::nullopt;
}

LPCITEMIDLIST NextItem(LPCITEMIDLIST list) {
    return reinterpret_cast<LPCITEMIDLIST>(reinterpret_cast<const BYTE*>(list) +
                                           ItemBytes(reinterpret_cast<const BYTE*>(list)));
}

// One item with its chain's end, as bytes; empty when the name does not fit a 16-bit count.
std::string ItemWithEnd(ItemKind kind, UINT driveType, std::string_view name) {
    std::string item(kCountBytes, '\0');
    item += static_cast<char>(kind);
    if (kind == kVolumeItem) item += static_cast<char>(driveType);
    if (kind != kComputerItem) (item += name) += '\0';
    if (item.size() > 0xFFFF) return {};
    const auto count = static_cast<WORD>(item.size());
    std::memcpy(item.data(), &count, sizeof count);
    return item.append(kCountBytes, '\0');
}

LPITEMIDLIST AllocateList(std::string_view bytes) {
    void* block = shellAllocator.Alloc(bytes.size());
    if (block) std::memcpy(block, bytes.data(), bytes.size());
    return static_cast<LPITEMIDLIST>(block);
}

std::string JoinPath(std::string_view folder, std::string_view name) {
    std::string path(folder);
    if (path.empty() || path.back() != '/') path += '/';
    return path += name;
}

}  // namespace

// ---- The mount table --------------------------------------------------------------------------------------

namespace {

std::string& MountTablePath() {
    static std::string path = "/proc/self/mountinfo";
    return path;
}

// Undoes the kernel's octal escapes of space, tab, newline and backslash.
std::string Unescape(std::string_view field) {
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && std::all_of(field.begin() + i + 1, field.begin() + i + 4,
                                                                   [](char c) { return c >= '0' && c <= '7'; })) {
            out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

// A mountinfo line: "id parent major:minor root mountpoint options [optional...] - type source super".
std::optional<MountEntry> ParseMountLine(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> fields;
    for (std::string field; in >> field;) fields.push_back(field);
    const auto dash = std::find(fields.begin(), fields.end(), "-");
    if (fields.size() < 5 || dash == fields.end() || fields.end() - dash < 3 || dash - fields.begin() < 6)
        return std::nullopt;
    MountEntry entry;
    if (std::sscanf(fields[2].c_str(), "%u:%u", &entry.major, &entry.minor) != 2) return std::nullopt;
    entry.mountPoint = Unescape(fields[4]);
    entry.type = Unescape(dash[1]);
    entry.source = Unescape(dash[2]);
    return entry;
}

// Whether the block device of major:minor is a removable one (a partition asks its disk).
bool IsRemovableDevice(unsigned major, unsigned minor) {
    if (major == 0) return false;  // anonymous devices: network and virtual file systems
    const std::string device = "/sys/dev/block/" + std::to_string(major) + ":" + std::to_string(minor);
    for (const char* name : {"/removable", "/../removable"}) {
        std::ifstream flag(device + name);
        if (char c; flag >> c) return c == '1';
    }
    return false;
}

struct Volume {
    std::string mountPoint;
    UINT type;
};

// Every mount point of the table with the drive type of what is mounted there last (a later mount hides
// an earlier one at the same place), in the table's order.
std::vector<Volume> ReadMountPoints() {
    std::vector<Volume> mounts;
    std::ifstream table(MountTablePath());
    for (std::string line; std::getline(table, line);) {
        const auto entry = ParseMountLine(line);
        if (!entry) continue;
        std::erase_if(mounts, [&](const Volume& v) { return v.mountPoint == entry->mountPoint; });
        mounts.push_back({entry->mountPoint, ClassifyMount(*entry, IsRemovableDevice(entry->major, entry->minor))});
    }
    return mounts;
}

// The volumes of the computer folder. A local mount of something other than a folder (a file bound over
// another, as containers do for /etc/hosts) is not a volume; remote ones are not touched, since a server
// that does not answer would hang the call.
std::vector<Volume> ReadVolumes() {
    auto volumes = ReadMountPoints();
    std::erase_if(volumes, [](const Volume& v) {
        struct stat facts {};
        return v.type == DRIVE_UNKNOWN ||
               (v.type != DRIVE_REMOTE && (::stat(v.mountPoint.c_str(), &facts) != 0 || !S_ISDIR(facts.st_mode)));
    });
    return volumes;
}

bool StartsWith(std::string_view text, std::string_view start) { return text.substr(0, start.size()) == start; }

}  // namespace

void SetMountTableForTesting(const char* path) { MountTablePath() = path ? path : "/proc/self/mountinfo"; }

UINT ClassifyMount(const MountEntry& mount, bool removableDevice) {
    static constexpr std::array<std::string_view, 14> kRemote = {
        "nfs", "nfs4", "cifs", "smb3", "smbfs", "ncpfs", "afs", "9p", "ceph", "glusterfs", "lustre", "davfs",
        "fuse.sshfs", "fuse.rclone"};
    static constexpr std::array<std::string_view, 16> kDisk = {
        "ext2", "ext3", "ext4", "xfs", "btrfs", "zfs", "f2fs", "jfs", "reiserfs", "vfat", "exfat", "ntfs",
        "ntfs3", "fuseblk", "hfsplus", "bcachefs"};
    const auto among = [&](const auto& types) { return std::ranges::find(types, mount.type) != types.end(); };
    const bool remote = among(kRemote) || StartsWith(mount.type, "fuse.s3fs") || mount.type == "fuse.gcsfuse";
    if (remote) return DRIVE_REMOTE;
    if (mount.mountPoint == "/") return DRIVE_FIXED;  // whatever a container's root is made of
    if (mount.type == "iso9660" || mount.type == "udf") return DRIVE_CDROM;
    // Loop-mounted package images are the system's, not the user's.
    if (mount.type == "squashfs") return DRIVE_UNKNOWN;
    // What is neither on a block device nor a disk file system (proc, sysfs, tmpfs, cgroup, overlay
    // layers...) holds no user's files of its own.
    if (!StartsWith(mount.source, "/dev/") && !among(kDisk)) return DRIVE_UNKNOWN;
    if (removableDevice || StartsWith(mount.mountPoint, "/media/") || StartsWith(mount.mountPoint, "/run/media/"))
        return DRIVE_REMOVABLE;
    return DRIVE_FIXED;
}

UINT GetDriveTypeW(LPCWSTR path) {
    if (!path) return DRIVE_NO_ROOT_DIR;
    std::string bytes = CString(path).ToFileSystem();
    while (bytes.size() > 1 && bytes.back() == '/') bytes.pop_back();
    for (const Volume& mount : ReadMountPoints())
        if (mount.mountPoint == bytes) return mount.type;
    return DRIVE_NO_ROOT_DIR;
}

// ---- Folders ----------------------------------------------------------------------------------------------

namespace {

template <class Interface>
class RefCounted : public Interface {
  public:
    ULONG AddRef() override { return ++references_; }
    ULONG Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }
    virtual ~RefCounted() = default;

  private:
    ULONG references_ = 1;
};

// Items made when the enumeration starts, handed out one at a time.
class ItemEnumerator final : public RefCounted<IEnumIDList> {
  public:
    explicit ItemEnumerator(std::vector<std::string> items) : items_(std::move(items)) {}
    HRESULT Next(ULONG count, LPITEMIDLIST* items, ULONG* fetched) override {
        ULONG given = 0;
        for (; given < count && next_ < items_.size(); ++given, ++next_) {
            items[given] = AllocateList(items_[next_]);
            if (!items[given]) break;
        }
        if (fetched) *fetched = given;
        return given == count ? S_OK : S_FALSE;
    }

  private:
    std::vector<std::string> items_;
    size_t next_ = 0;
};

using Volumes = std::shared_ptr<const std::vector<Volume>>;

bool IsRemoteMount(const Volumes& volumes, std::string_view path) {
    return std::ranges::any_of(*volumes, [&](const Volume& v) { return v.type == DRIVE_REMOTE && v.mountPoint == path; });
}

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using Directory = std::unique_ptr<DIR, DirCloser>;

// Whether a directory entry is a folder: from the entry's type when the file system gives one, from the
// target's facts for a link (a link to a folder is a folder) or an unknown type.
bool IsFolderEntry(DIR* dir, const dirent& entry) {
    if (entry.d_type == DT_DIR) return true;
    if (entry.d_type != DT_LNK && entry.d_type != DT_UNKNOWN) return false;
    struct stat facts {};
    return ::fstatat(::dirfd(dir), entry.d_name, &facts, 0) == 0 && S_ISDIR(facts.st_mode);
}

bool IsShown(std::string_view name, bool hidden) {
    return name != "." && name != ".." && (hidden || name.front() != '.');
}

// Stops at the first shown sub-folder, so a large folder is read only as far as its first one.
bool HasSubFolder(const std::string& path) {
    const Directory dir(::opendir(path.c_str()));
    if (!dir) return false;
    while (const dirent* entry = ::readdir(dir.get()))
        if (IsShown(entry->d_name, false) && IsFolderEntry(dir.get(), *entry)) return true;
    return false;
}

class Folder : public RefCounted<IShellFolder> {
  public:
    HRESULT BindToObject(LPCITEMIDLIST items, void*, REFIID iid, void** out) override {
        if (!out) return E_INVALIDARG;
        *out = nullptr;
        if (!(iid == IID_IShellFolder)) return E_NOINTERFACE;
        if (!items || ItemBytes(reinterpret_cast<const BYTE*>(items)) == 0) return E_INVALIDARG;
        Folder* folder = this;
        AddRef();
        for (LPCITEMIDLIST item = items; ItemBytes(reinterpret_cast<const BYTE*>(item)) != 0; item = NextItem(item)) {
            const auto view = ReadItem(item);
            Folder* child = view ? folder->BindChild(*view) : nullptr;
            folder->Release();
            if (!(folder = child)) return E_FAIL;
        }
        *out = static_cast<IShellFolder*>(folder);
        return S_OK;
    }

    HRESULT CompareIDs(LPARAM, LPCITEMIDLIST first, LPCITEMIDLIST second) override {
        while (first && second) {
            const bool firstEnds = ItemBytes(reinterpret_cast<const BYTE*>(first)) == 0;
            const bool secondEnds = ItemBytes(reinterpret_cast<const BYTE*>(second)) == 0;
            if (firstEnds || secondEnds) return static_cast<HRESULT>(static_cast<WORD>(secondEnds - firstEnds));
            const auto a = ReadItem(first), b = ReadItem(second);
            if (!a || !b) return E_INVALIDARG;
            int order = DisplayName(*a).CompareNoCase(DisplayName(*b));
            if (order == 0) order = a->name.compare(b->name);
            if (order != 0) return static_cast<HRESULT>(static_cast<WORD>(order < 0 ? -1 : 1));
            first = NextItem(first);
            second = NextItem(second);
        }
        return E_INVALIDARG;
    }

    HRESULT GetAttributesOf(UINT count, LPCITEMIDLIST* items, ULONG* attributes) override {
        if (!attributes || (count && !items)) return E_INVALIDARG;
        for (UINT i = 0; i < count; ++i) {
            const auto view = ReadItem(items[i]);
            if (!view) return E_INVALIDARG;
            *attributes &= Attributes(*view, *attributes);
        }
        return S_OK;
    }

    HRESULT GetDisplayNameOf(LPCITEMIDLIST item, DWORD, STRRET* name) override {
        const auto view = ReadItem(item);
        if (!view || !name) return E_INVALIDARG;
        switch (view->kind) {
            case kComputerItem:
                name->uType = STRRET_CSTR;
                std::strcpy(name->cStr, "Computer");
                return S_OK;
            case kFolderItem:
                name->uType = STRRET_OFFSET;  // the name's bytes inside the item
                name->uOffset = 3;
                return S_OK;
            case kVolumeItem: {
                const CString display = DisplayName(*view);
                const std::wstring& text = display.Text();
                auto* copy = static_cast<LPWSTR>(shellAllocator.Alloc((text.size() + 1) * sizeof(WCHAR)));
                if (!copy) return E_OUTOFMEMORY;
                std::wmemcpy(copy, text.c_str(), text.size() + 1);
                name->uType = STRRET_WSTR;
                name->pOleStr = copy;
                return S_OK;
            }
        }
        return E_INVALIDARG;
    }

  protected:
    // The folder of one of this folder's items, with one reference; null when it is not one.
    virtual Folder* BindChild(const ItemView& item) = 0;
    // The attributes among wanted that the item has.
    virtual ULONG Attributes(const ItemView& item, ULONG wanted) = 0;

    // A volume shows a name and its mount point in parentheses, so that its mount point finds it: the
    // mount point's last component, or for the root the kind of drive it is.
    static CString DisplayName(const ItemView& item) {
        if (item.kind == kComputerItem) return L"Computer";
        if (item.kind == kFolderItem) return CString::FromFileSystem(item.name);
        std::string_view label = item.name.substr(item.name.rfind('/') + 1);
        CString text = CString::FromFileSystem(label);
        if (label.empty()) {
            static constexpr std::array<LPCWSTR, 6> kDriveNames = {L"Drive", L"Drive", L"Removable Disk",
                                                                   L"Local Disk", L"Network Drive", L"CD Drive"};
            text = kDriveNames[std::min<size_t>(item.driveType, kDriveNames.size() - 1)];
        }
        return text + L" (" + CString::FromFileSystem(item.name) + L")";
    }
};

class FileSystemFolder final : public Folder {
  public:
    FileSystemFolder(std::string path, bool remote, Volumes volumes)
        : path_(std::move(path)), remote_(remote), volumes_(std::move(volumes)) {}

    HRESULT EnumObjects(HWND, DWORD flags, IEnumIDList** out) override {
        if (!out) return E_INVALIDARG;
        std::vector<std::string> items;
        const Directory dir(::opendir(path_.c_str()));
        if (dir && (flags & SHCONTF_FOLDERS)) {
            while (const dirent* entry = ::readdir(dir.get())) {
                if (!IsShown(entry->d_name, flags & SHCONTF_INCLUDEHIDDEN) || !IsFolderEntry(dir.get(), *entry))
                    continue;
                items.push_back(ItemWithEnd(kFolderItem, DRIVE_UNKNOWN, entry->d_name));
            }
        }
        *out = new ItemEnumerator(std::move(items));
        return S_OK;
    }

  protected:
    Folder* BindChild(const ItemView& item) override {
        if (item.kind != kFolderItem) return nullptr;
        std::string path = JoinPath(path_, item.name);
        const bool remote = remote_ || IsRemoteMount(volumes_, path);
        return new FileSystemFolder(std::move(path), remote, volumes_);
    }

    ULONG Attributes(const ItemView& item, ULONG wanted) override {
        if (item.kind != kFolderItem) return 0;
        ULONG has = SFGAO_FOLDER | SFGAO_FILESYSTEM;
        // Asking a server for every folder's contents would make a remote listing crawl: assume sub-folders.
        if (wanted & SFGAO_HASSUBFOLDER) {
            const std::string path = JoinPath(path_, item.name);
            if (remote_ || IsRemoteMount(volumes_, path) || HasSubFolder(path)) has |= SFGAO_HASSUBFOLDER;
        }
        return has;
    }

  private:
    std::string path_;
    bool remote_;
    Volumes volumes_;
};

class ComputerFolder final : public Folder {
  public:
    ComputerFolder() : volumes_(std::make_shared<const std::vector<Volume>>(ReadVolumes())) {}

    HRESULT EnumObjects(HWND, DWORD flags, IEnumIDList** out) override {
        if (!out) return E_INVALIDARG;
        std::vector<std::string> items;
        if (flags & SHCONTF_FOLDERS)
            for (const Volume& volume : *volumes_) items.push_back(ItemWithEnd(kVolumeItem, volume.type, volume.mountPoint));
        *out = new ItemEnumerator(std::move(items));
        return S_OK;
    }

  protected:
    Folder* BindChild(const ItemView& item) override {
        if (item.kind != kVolumeItem) return nullptr;
        return new FileSystemFolder(std::string(item.name), item.driveType == DRIVE_REMOTE, volumes_);
    }

    ULONG Attributes(const ItemView& item, ULONG wanted) override {
        if (item.kind != kVolumeItem) return 0;
        ULONG has = SFGAO_FOLDER | SFGAO_FILESYSTEM;
        if ((wanted & SFGAO_HASSUBFOLDER) &&
            (item.driveType == DRIVE_REMOTE || HasSubFolder(std::string(item.name))))
            has |= SFGAO_HASSUBFOLDER;
        return has;
    }

  private:
    Volumes volumes_;
};

class DesktopFolder final : public Folder {
  public:
    HRESULT EnumObjects(HWND, DWORD flags, IEnumIDList** out) override {
        if (!out) return E_INVALIDARG;
        std::vector<std::string> items;
        if (flags & SHCONTF_FOLDERS) items.push_back(ItemWithEnd(kComputerItem, DRIVE_UNKNOWN, {}));
        *out = new ItemEnumerator(std::move(items));
        return S_OK;
    }

  protected:
    Folder* BindChild(const ItemView& item) override {
        return item.kind == kComputerItem ? new ComputerFolder : nullptr;
    }
    ULONG Attributes(const ItemView& item, ULONG) override {
        return item.kind == kComputerItem ? SFGAO_FOLDER | SFGAO_HASSUBFOLDER : 0;
    }
};

}  // namespace

HRESULT SHGetDesktopFolder(IShellFolder** desktop) {
    if (!desktop) return E_INVALIDARG;
    *desktop = new DesktopFolder;
    return S_OK;
}

HRESULT SHGetSpecialFolderLocation(HWND, int csidl, LPITEMIDLIST* items) {
    if (!items) return E_INVALIDARG;
    *items = nullptr;
    std::string list;
    if (csidl == CSIDL_DESKTOP) list.assign(kCountBytes, '\0');
    else if (csidl == CSIDL_DRIVES) list = ItemWithEnd(kComputerItem, DRIVE_UNKNOWN, {});
    else return E_INVALIDARG;
    *items = AllocateList(list);
    return *items ? S_OK : E_OUTOFMEMORY;
}

BOOL SHGetPathFromIDListW(LPCITEMIDLIST items, LPWSTR path) {
    if (!items || !path) return FALSE;
    std::string bytes;
    for (LPCITEMIDLIST item = items; ItemBytes(reinterpret_cast<const BYTE*>(item)) != 0; item = NextItem(item)) {
        const auto view = ReadItem(item);
        if (!view) return FALSE;
        if (view->kind == kVolumeItem) bytes = view->name;
        else if (view->kind == kFolderItem && !bytes.empty()) bytes = JoinPath(bytes, view->name);
        else if (view->kind == kFolderItem) return FALSE;
    }
    const CString text = CString::FromFileSystem(bytes);
    const std::wstring& wide = text.Text();
    if (bytes.empty() || wide.size() + 1 > MAX_PATH) return FALSE;
    std::wmemcpy(path, wide.c_str(), wide.size() + 1);
    return TRUE;
}

// ---- Icons ------------------------------------------------------------------------------------------------

namespace {

// The system image list's icons, in index order.
enum SystemIcon : int { kDesktopIcon, kComputerIcon, kFixedIcon, kRemovableIcon, kRemoteIcon, kOpticalIcon,
                        kFolderIcon, kOpenFolderIcon };

// Built on first use from the icon theme where it names one, else from Qt's file icons; freed with the
// application object. None before there is one: icons need it.
HIMAGELIST SystemImageList() {
    static KivImageList* list = nullptr;
    if (list || !QCoreApplication::instance()) return list;
    list = new KivImageList;
    qAddPostRoutine([] { delete list; list = nullptr; });
    const QFileIconProvider provider;
    const QIcon folder = provider.icon(QFileIconProvider::Folder);
    const QIcon drive = provider.icon(QFileIconProvider::Drive);
    list->icons = {provider.icon(QFileIconProvider::Desktop),
                   provider.icon(QFileIconProvider::Computer),
                   QIcon::fromTheme("drive-harddisk", drive),
                   QIcon::fromTheme("drive-removable-media", drive),
                   QIcon::fromTheme("folder-remote", provider.icon(QFileIconProvider::Network)),
                   QIcon::fromTheme("drive-optical", drive),
                   folder,
                   QIcon::fromTheme("folder-open", folder)};
    return list;
}

int IconOf(LPCITEMIDLIST items, bool open) {
    std::optional<ItemView> last;
    for (LPCITEMIDLIST item = items; ItemBytes(reinterpret_cast<const BYTE*>(item)) != 0; item = NextItem(item))
        if (!(last = ReadItem(item))) return -1;
    if (!last) return kDesktopIcon;
    switch (last->kind) {
        case kComputerItem: return kComputerIcon;
        case kFolderItem: return open ? kOpenFolderIcon : kFolderIcon;
        case kVolumeItem:
            switch (last->driveType) {
                case DRIVE_REMOVABLE: return kRemovableIcon;
                case DRIVE_REMOTE: return kRemoteIcon;
                case DRIVE_CDROM: return kOpticalIcon;
                default: return kFixedIcon;
            }
    }
    return -1;
}

}  // namespace

ULONGLONG SHGetFileInfoW(LPCITEMIDLIST items, DWORD, SHFILEINFOW* info, UINT infoSize, UINT flags) {
    if (!items || !(flags & SHGFI_PIDL) || !(flags & SHGFI_SYSICONINDEX)) return 0;
    const int icon = IconOf(items, flags & SHGFI_OPENICON);
    if (icon < 0) return 0;
    if (info && infoSize >= sizeof(SHFILEINFOW)) info->iIcon = icon;
    return reinterpret_cast<ULONGLONG>(SystemImageList());
}
