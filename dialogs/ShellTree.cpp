#include "dialogs/ShellTree.h"

#include <cstring>
#include <memory>
#include <string_view>

#include "platform/DirectorySearch.h"

namespace {

constexpr UINT kEndBytes = 2;  // the 16-bit zero that ends a list

WORD ItemBytes(const BYTE* item) {
    WORD count;
    std::memcpy(&count, item, sizeof count);
    return count;
}

// The shell allocator for the scope of a call.
struct AllocatorRelease {
    void operator()(IMalloc* allocator) const { allocator->Release(); }
};
using Allocator = std::unique_ptr<IMalloc, AllocatorRelease>;

Allocator ShellAllocator() {
    IMalloc* allocator = nullptr;
    return Allocator(SUCCEEDED(SHGetMalloc(&allocator)) ? allocator : nullptr);
}

template <class Interface>
struct InterfaceRelease {
    void operator()(Interface* object) const { object->Release(); }
};
using FolderRef = std::unique_ptr<IShellFolder, InterfaceRelease<IShellFolder>>;
using EnumRef = std::unique_ptr<IEnumIDList, InterfaceRelease<IEnumIDList>>;

struct ListFree {
    void operator()(ITEMIDLIST* list) const {
        if (const Allocator allocator = ShellAllocator()) allocator->Free(list);
    }
};
using ListRef = std::unique_ptr<ITEMIDLIST, ListFree>;

}  // namespace

// ---- Item-id lists ----------------------------------------------------------------------------------------

UINT CKivPicFileShellPidl::GetIdListSize(LPCITEMIDLIST list) {
    if (!list) return 0;
    UINT size = kEndBytes;
    for (const auto* item = reinterpret_cast<const BYTE*>(list); ItemBytes(item) != 0; item += ItemBytes(item))
        size += ItemBytes(item);
    return size;
}

LPITEMIDLIST CKivPicFileShellPidl::AllocIdList(UINT size) {
    const Allocator allocator = ShellAllocator();
    void* block = allocator ? allocator->Alloc(size) : nullptr;
    if (block) std::memset(block, 0, size);
    return static_cast<LPITEMIDLIST>(block);
}

LPITEMIDLIST CKivPicFileShellPidl::ConcatIdLists(LPCITEMIDLIST first, LPCITEMIDLIST second) {
    const UINT firstItems = first ? GetIdListSize(first) - kEndBytes : 0;
    const UINT secondSize = GetIdListSize(second);
    LPITEMIDLIST list = AllocIdList(firstItems + secondSize);
    if (!list) return nullptr;
    auto* bytes = reinterpret_cast<BYTE*>(list);
    if (firstItems) std::memcpy(bytes, first, firstItems);
    if (secondSize) std::memcpy(bytes + firstItems, second, secondSize);
    return list;
}

LPITEMIDLIST CKivPicFileShellPidl::DuplicateFirstItem(IMalloc* allocator, LPCITEMIDLIST list) {
    if (!allocator || !list) return nullptr;
    const UINT size = ItemBytes(reinterpret_cast<const BYTE*>(list)) + kEndBytes;
    void* copy = allocator->Alloc(size);
    if (copy) std::memcpy(copy, list, size);
    return static_cast<LPITEMIDLIST>(copy);
}

BOOL CKivPicFileShellPidl::GetDisplayText(IShellFolder* folder, LPCITEMIDLIST item, DWORD flags, CString& text) {
    STRRET name{};
    if (!folder || !item || FAILED(folder->GetDisplayNameOf(item, flags, &name))) return FALSE;
    CString got;
    switch (name.uType) {
        case STRRET_WSTR: {
            got = name.pOleStr ? name.pOleStr : L"";
            if (const Allocator allocator = ShellAllocator()) allocator->Free(name.pOleStr);
            break;
        }
        case STRRET_OFFSET: {
            // The name ends at its zero or at the item's end, whichever comes first.
            const auto* bytes = reinterpret_cast<const char*>(item);
            const WORD count = ItemBytes(reinterpret_cast<const BYTE*>(item));
            if (name.uOffset >= count) return FALSE;
            const std::string_view inside(bytes + name.uOffset, count - name.uOffset);
            got = CString::FromFileSystem(inside.substr(0, inside.find('\0')));
            break;
        }
        case STRRET_CSTR:
            got = CString::FromFileSystem(std::string_view(name.cStr, strnlen(name.cStr, sizeof name.cStr)));
            break;
        default: return FALSE;
    }
    std::wstring limited = got.Text().substr(0, MAX_PATH - 1);
    text = CString(std::move(limited));
    return TRUE;
}

int CKivPicFileShellPidl::QueryIconIndex(LPCITEMIDLIST absolute, UINT flags) {
    SHFILEINFOW info{};
    SHGetFileInfoW(absolute, 0, &info, sizeof info, flags);
    return info.iIcon;
}

// ---- The tree ---------------------------------------------------------------------------------------------

void CKivPicFileShellTree::AttachSystemImageList() {
    // The desktop's empty list names the system image list as well as any path would.
    const WORD desktop = 0;
    SHFILEINFOW info{};
    const ULONGLONG list = SHGetFileInfoW(reinterpret_cast<LPCITEMIDLIST>(&desktop), 0, &info, sizeof info,
                                          SHGFI_PIDL | SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
    if (list) SetImageList(reinterpret_cast<HIMAGELIST>(list), TVSIL_NORMAL);
}

void CKivPicFileShellTree::FillFromSpecialFolder(int csidl) {
    IShellFolder* desktopFolder = nullptr;
    if (FAILED(SHGetDesktopFolder(&desktopFolder))) return;
    const FolderRef desktop(desktopFolder);
    DeleteAllItems();
    LPITEMIDLIST special = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(m_hWnd, csidl, &special))) {
        AddChildFolders(desktop.get(), nullptr, TVI_ROOT);
        return;
    }
    const ListRef specialList(special);
    void* bound = nullptr;
    if (FAILED(desktop->BindToObject(special, nullptr, IID_IShellFolder, &bound))) {
        AddChildFolders(desktop.get(), nullptr, TVI_ROOT);
        return;
    }
    const FolderRef folder(static_cast<IShellFolder*>(bound));
    AddChildFolders(folder.get(), special, TVI_ROOT);
}

void CKivPicFileShellTree::AddChildFolders(IShellFolder* folder, LPCITEMIDLIST parentList, HTREEITEM parent) {
    CWnd* ownerWindow = GetParent();
    const HWND owner = ownerWindow ? ownerWindow->m_hWnd : nullptr;
    const Allocator allocator = ShellAllocator();
    IEnumIDList* enumerator = nullptr;
    if (!allocator || !folder || FAILED(folder->EnumObjects(owner, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, &enumerator)))
        return;
    const EnumRef items(enumerator);
    HTREEITEM previous = TVI_LAST;
    LPITEMIDLIST next = nullptr;
    ULONG fetched = 0;
    while (items->Next(1, &next, &fetched) == S_OK && fetched == 1) {
        const ListRef item(next);
        LPCITEMIDLIST asked = item.get();
        ULONG attributes = SFGAO_FOLDER | SFGAO_HASSUBFOLDER;
        if (FAILED(folder->GetAttributesOf(1, &asked, &attributes)) || !(attributes & SFGAO_FOLDER)) continue;

        TVINSERTSTRUCTW insert{parent, previous, {}};
        insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM;
        if (attributes & SFGAO_HASSUBFOLDER) {
            insert.item.mask |= TVIF_CHILDREN;
            insert.item.cChildren = 1;
        }
        auto* data = static_cast<ShellTreeItemData*>(allocator->Alloc(sizeof(ShellTreeItemData)));
        if (!data) break;
        CString text;
        if (!GetDisplayText(folder, item.get(), SHGDN_NORMAL, text)) {
            allocator->Free(data);
            break;
        }
        insert.item.pszText = const_cast<LPWSTR>(text.GetString());
        {
            const ListRef absolute(ConcatIdLists(parentList, item.get()));
            SetItemIcons(absolute.get(), &insert.item);
        }
        folder->AddRef();
        *data = {folder, DuplicateFirstItem(allocator.get(), item.get()), ConcatIdLists(parentList, item.get())};
        insert.item.lParam = reinterpret_cast<LPARAM>(data);
        const HTREEITEM inserted = InsertItem(&insert);
        if (!inserted) {
            ReleaseItemData(data);
            break;
        }
        previous = inserted;
    }
}

void CKivPicFileShellTree::SetItemIcons(LPCITEMIDLIST absolute, TVITEMW* item) {
    item->iImage = QueryIconIndex(absolute, SHGFI_PIDL | SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
    item->iSelectedImage = QueryIconIndex(absolute, SHGFI_PIDL | SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_OPENICON);
}

int CKivPicFileShellTree::CompareItems(LPARAM first, LPARAM second, LPARAM) {
    const auto* a = reinterpret_cast<const ShellTreeItemData*>(first);
    const auto* b = reinterpret_cast<const ShellTreeItemData*>(second);
    const HRESULT order = a->pParentFolder->CompareIDs(0, a->pidlRelative, b->pidlRelative);
    return FAILED(order) ? 0 : static_cast<short>(order & 0xFFFF);
}

BOOL CKivPicFileShellTree::OnSelectionChanged(NMHDR* notification, LRESULT* result, CString& path) {
    if (result) *result = 0;
    const HTREEITEM selected = GetSelectedItem();
    const auto* data = selected ? reinterpret_cast<const ShellTreeItemData*>(GetItemData(selected)) : nullptr;
    if (!data || !data->pParentFolder || !data->pidlRelative) return FALSE;
    void* bound = nullptr;
    if (FAILED(data->pParentFolder->BindToObject(data->pidlRelative, nullptr, IID_IShellFolder, &bound))) return FALSE;
    const FolderRef folder(static_cast<IShellFolder*>(bound));

    BOOL isFolder = FALSE;
    LPCITEMIDLIST asked = data->pidlRelative;
    ULONG attributes = SFGAO_FILESYSTEM;
    WCHAR folderPath[MAX_PATH];
    if (SUCCEEDED(data->pParentFolder->GetAttributesOf(1, &asked, &attributes)) && (attributes & SFGAO_FILESYSTEM) &&
        SHGetPathFromIDListW(data->pidlAbsolute, folderPath)) {
        path = folderPath;
        isFolder = TRUE;
    }

    const HTREEITEM item = notification ? reinterpret_cast<NMTREEVIEWW*>(notification)->itemNew.hItem : nullptr;
    if (item && ItemHasChildren(item) && !(GetItemState(item, TVIS_EXPANDEDONCE) & TVIS_EXPANDEDONCE)) {
        AddChildFolders(folder.get(), data->pidlAbsolute, item);
        const TVSORTCB sort{item, &CompareItems, 0};
        SortChildrenCB(&sort);
        TVITEMW once{};
        once.mask = TVIF_STATE;
        once.hItem = item;
        once.state = once.stateMask = TVIS_EXPANDEDONCE;
        SetItem(&once);
    }
    return isFolder;
}

void CKivPicFileShellTree::ReleaseItemData(ShellTreeItemData* data) {
    const Allocator allocator = ShellAllocator();
    if (!data || !allocator) return;
    if (data->pParentFolder) data->pParentFolder->Release();
    allocator->Free(data->pidlRelative);
    allocator->Free(data->pidlAbsolute);
    allocator->Free(data);
}
