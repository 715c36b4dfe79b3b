// The folder tree of the file panel: the shell namespace's folders in a tree control, each item turned
// into a file-system path when it is selected, its sub-folders filled on its first selection.
//
// Every item's data is a ShellTreeItemData record from the shell allocator. The control tells its parent
// window of every deleted item (TVN_DELETEITEMW, itemOld.lParam the record), and the parent hands the
// record to ReleaseItemData: so a window holding the tree must answer that notification, and destroy its
// own window (DestroyWindow) while it is whole, so that the tree's last deletions still reach it.
#pragma once

#include "platform/CString.h"
#include "platform/window/ShellNamespace.h"
#include "platform/window/TreeCtrl.h"

struct ShellTreeItemData {
    IShellFolder* pParentFolder;  // the folder that enumerated the item; one reference held for the record
    LPITEMIDLIST pidlRelative;    // the item's one-level list relative to pParentFolder
    LPITEMIDLIST pidlAbsolute;    // the item's list from the desktop
};

// Item-id-list operations; every block comes from the shell allocator.
class CKivPicFileShellPidl {
  public:
    // 2 (the end) plus every item's byte count; 0 for a null list.
    static UINT GetIdListSize(LPCITEMIDLIST list);
    // size bytes, zero-filled; null on failure.
    static LPITEMIDLIST AllocIdList(UINT size);
    // The items of first (none when null) followed by second with its end; null on failure.
    static LPITEMIDLIST ConcatIdLists(LPCITEMIDLIST first, LPCITEMIDLIST second);
    // The first item and the two bytes after it (for a one-level list, its end), from allocator.
    static LPITEMIDLIST DuplicateFirstItem(IMalloc* allocator, LPCITEMIDLIST list);
    // The item's display name from folder, in at most MAX_PATH - 1 characters; FALSE when the folder
    // gives none or one of a form not known.
    static BOOL GetDisplayText(IShellFolder* folder, LPCITEMIDLIST item, DWORD flags, CString& text);
    // The system image list index of an absolute list's icon (flags: SHGFI_...).
    static int QueryIconIndex(LPCITEMIDLIST absolute, UINT flags);
};

class CKivPicFileShellTree : public CTreeCtrl, public CKivPicFileShellPidl {
  public:
    // The system's small icons as the tree's normal image list.
    void AttachSystemImageList();
    // Deletes all items and fills the top level with a special folder's sub-folders, in its order.
    void FillFromSpecialFolder(int csidl);
    // The sub-folders of folder under parent; parentList is folder's absolute list (null: the desktop).
    void AddChildFolders(IShellFolder* folder, LPCITEMIDLIST parentList, HTREEITEM parent);
    void SetItemIcons(LPCITEMIDLIST absolute, TVITEMW* item);
    // The sort callback of SortChildrenCB: two items' records, as their folder orders them.
    static int CompareItems(LPARAM first, LPARAM second, LPARAM ignored);
    // On TVN_SELCHANGEDW: TRUE with path set when the selected item is a file-system folder; fills the
    // new item's sub-folders the first time it is selected. *result becomes 0.
    BOOL OnSelectionChanged(NMHDR* notification, LRESULT* result, CString& path);
    // Releases a record's folder reference, both lists and the record.
    static void ReleaseItemData(ShellTreeItemData* data);
};
