// The smallest shell namespace the folder tree needs, over the Linux file system.
//
// The desktop holds one item, the computer folder (CSIDL_DRIVES); the computer folder holds the mounted
// volumes of the kernel's mount table, in the table's order; a volume and each of its folders hold their
// sub-folders. Items are named by item-id lists in the system's chain format: each item starts with its
// 16-bit byte count, and a 16-bit zero ends the chain. An item's bytes after the count are ours:
//   computer:  kind 1
//   volume:    kind 2, drive type (DRIVE_...), mount point bytes, 0
//   folder:    kind 3, file-system name bytes, 0
// Names stay the file system's bytes, so a path built from a list leads back to the same folder whatever
// its encoding. Files are never items: the namespace serves a tree of folders.
//
// Objects are reference counted (AddRef, Release) and live on the user-interface thread.
#pragma once

#include <cstdint>

#include "platform/CString.h"
#include "platform/Shell.h"
#include "platform/WinTypes.h"
#include "platform/window/ImageList.h"
#include "platform/window/Window.h"

using HRESULT = std::int32_t;
using ULONG = std::uint32_t;

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000E);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057);
constexpr bool SUCCEEDED(HRESULT result) { return result >= 0; }
constexpr bool FAILED(HRESULT result) { return result < 0; }

#pragma pack(push, 1)
struct SHITEMID {
    WORD cb;        // bytes of this item, the count included
    BYTE abID[1];   // the item's own bytes (cb - 2 of them)
};
struct ITEMIDLIST {
    SHITEMID mkid;
};
#pragma pack(pop)
using LPITEMIDLIST = ITEMIDLIST*;
using LPCITEMIDLIST = const ITEMIDLIST*;

struct GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
    friend bool operator==(const GUID&, const GUID&) = default;
};
using REFIID = const GUID&;
inline constexpr GUID IID_IShellFolder = {0x000214E6, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// The shell allocator: every id list and record of the namespace and its callers comes from it.
class IMalloc {
  public:
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
    virtual void* Alloc(SIZE_T bytes) = 0;  // null when the memory is not there
    virtual void Free(void* block) = 0;     // null is allowed

  protected:
    ~IMalloc() = default;
};
KIV_RUNTIME_API HRESULT SHGetMalloc(IMalloc** allocator);
// Blocks of the shell allocator not yet freed: what leak checks compare.
KIV_RUNTIME_API long ShellAllocatorLiveBlocks();

// Folders are enumerated one item at a time; each item is a one-level list the caller frees.
class IEnumIDList {
  public:
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
    // Up to count lists into items; S_OK when all were given, S_FALSE when fewer (none at the end).
    virtual HRESULT Next(ULONG count, LPITEMIDLIST* items, ULONG* fetched) = 0;

  protected:
    ~IEnumIDList() = default;
};

// EnumObjects flags.
constexpr DWORD SHCONTF_FOLDERS = 0x20;
constexpr DWORD SHCONTF_NONFOLDERS = 0x40;  // accepted; this namespace holds no files
constexpr DWORD SHCONTF_INCLUDEHIDDEN = 0x80;
// Attributes.
constexpr ULONG SFGAO_HASSUBFOLDER = 0x80000000;
constexpr ULONG SFGAO_FOLDER = 0x20000000;
constexpr ULONG SFGAO_FILESYSTEM = 0x40000000;
// Display-name flags: every form gives the same name here.
constexpr DWORD SHGDN_NORMAL = 0;

// A display name as a folder gives it: the caller frees pOleStr with the shell allocator.
constexpr UINT STRRET_WSTR = 0;    // pOleStr, wide
constexpr UINT STRRET_OFFSET = 1;  // uOffset: a narrow string inside the item, at that offset from its start
constexpr UINT STRRET_CSTR = 2;    // cStr, narrow
struct STRRET {
    UINT uType;
    union {
        LPWSTR pOleStr;
        UINT uOffset;
        char cStr[260];
    };
};

class IShellFolder {
  public:
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
    // The folder's items; hidden (dot) folders only with SHCONTF_INCLUDEHIDDEN. An unreadable folder
    // gives an empty enumeration.
    virtual HRESULT EnumObjects(HWND owner, DWORD flags, IEnumIDList** items) = 0;
    // The folder of an item list relative to this one (one or more levels); only IID_IShellFolder.
    virtual HRESULT BindToObject(LPCITEMIDLIST items, void* bindContext, REFIID iid, void** folder) = 0;
    // Low 16 bits of a success: negative, zero or positive as the first item sorts before, with or after
    // the second: display names without regard to case, then their exact bytes, level by level.
    virtual HRESULT CompareIDs(LPARAM how, LPCITEMIDLIST first, LPCITEMIDLIST second) = 0;
    // On entry the attributes asked for; on return those of them that every item has.
    virtual HRESULT GetAttributesOf(UINT count, LPCITEMIDLIST* items, ULONG* attributes) = 0;
    virtual HRESULT GetDisplayNameOf(LPCITEMIDLIST item, DWORD flags, STRRET* name) = 0;

  protected:
    ~IShellFolder() = default;
};

constexpr int CSIDL_DESKTOP = 0x0000;
constexpr int CSIDL_DRIVES = 0x0011;

KIV_RUNTIME_API HRESULT SHGetDesktopFolder(IShellFolder** desktop);
// The absolute list of a special folder (the desktop's empty list, or the computer folder's); the caller
// frees it with the shell allocator.
KIV_RUNTIME_API HRESULT SHGetSpecialFolderLocation(HWND owner, int csidl, LPITEMIDLIST* items);
// The file-system path of an absolute list (MAX_PATH characters with the end); FALSE for the desktop, the
// computer folder, or a path too long.
KIV_RUNTIME_API BOOL SHGetPathFromIDListW(LPCITEMIDLIST items, LPWSTR path);

// Drive types.
constexpr UINT DRIVE_UNKNOWN = 0;
constexpr UINT DRIVE_NO_ROOT_DIR = 1;
constexpr UINT DRIVE_REMOVABLE = 2;
constexpr UINT DRIVE_FIXED = 3;
constexpr UINT DRIVE_REMOTE = 4;
constexpr UINT DRIVE_CDROM = 5;
// The type of the volume mounted exactly at path (a trailing '/' allowed); DRIVE_NO_ROOT_DIR when no
// volume is mounted there.
KIV_RUNTIME_API UINT GetDriveTypeW(LPCWSTR path);

// One line of the mount table, as the kernel gives it.
struct MountEntry {
    std::string mountPoint;  // bytes, octal escapes undone
    std::string type;        // "ext4", "nfs4", "fuse.sshfs"...
    std::string source;      // "/dev/sda1", "server:/export"...
    unsigned major = 0, minor = 0;
};
// The drive type of a mounted file system, or DRIVE_UNKNOWN for one that is not a volume (a pseudo file
// system, a package image); removable says whether its block device is a removable one.
KIV_RUNTIME_API UINT ClassifyMount(const MountEntry& mount, bool removableDevice);
// Reads the mount table from the file named for tests instead of /proc/self/mountinfo; null restores it.
KIV_RUNTIME_API void SetMountTableForTesting(const char* path);

// SHGetFileInfoW on an absolute item-id list (flag SHGFI_PIDL): with SHGFI_SYSICONINDEX, info->iIcon is
// the item's index in the system image list and the result is that list (SHGFI_SMALLICON: its small one;
// SHGFI_OPENICON: the open form of a folder). Zero on failure.
constexpr UINT SHGFI_SMALLICON = 0x0001;
constexpr UINT SHGFI_OPENICON = 0x0002;
constexpr UINT SHGFI_PIDL = 0x0008;
constexpr UINT SHGFI_SYSICONINDEX = 0x4000;
KIV_RUNTIME_API ULONGLONG SHGetFileInfoW(LPCITEMIDLIST items, DWORD attributes, SHFILEINFOW* info,
                                         UINT infoSize, UINT flags);
