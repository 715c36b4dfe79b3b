// The tree-view control in the class library's shape, over a Qt tree widget.
//
// Items carry the system's fields (text, image, selected image, state, children flag, item data). The
// parent window given to Create hears of the control through WM_NOTIFY: TVN_SELCHANGEDW when the caret
// moves (by the user or SelectItem), TVN_ITEMEXPANDINGW when an item opens, and TVN_DELETEITEMW for every
// item that goes, whether by DeleteItem, DeleteAllItems, DestroyWindow, the object's end or its widget's
// (itemOld.lParam is the item's data, so that the parent can free what it points to). That parent must
// outlive the control's window. Deleting items never moves the caret to another item: when the selected
// item goes, nothing is selected and no selection notification is sent. TVIS_EXPANDEDONCE is the caller's
// own mark: the control never sets it.
#pragma once

#include "platform/CString.h"
#include "platform/WindowStyles.h"
#include "platform/window/ImageList.h"
#include "platform/window/Window.h"

class TreeItem;
using HTREEITEM = TreeItem*;
inline const HTREEITEM TVI_ROOT = reinterpret_cast<HTREEITEM>(static_cast<INT_PTR>(-0x10000));
inline const HTREEITEM TVI_FIRST = reinterpret_cast<HTREEITEM>(static_cast<INT_PTR>(-0x0FFFF));
inline const HTREEITEM TVI_LAST = reinterpret_cast<HTREEITEM>(static_cast<INT_PTR>(-0x0FFFE));
inline const HTREEITEM TVI_SORT = reinterpret_cast<HTREEITEM>(static_cast<INT_PTR>(-0x0FFFD));

// Item fields named by mask.
constexpr UINT TVIF_TEXT = 0x01, TVIF_IMAGE = 0x02, TVIF_PARAM = 0x04, TVIF_STATE = 0x08, TVIF_HANDLE = 0x10,
               TVIF_SELECTEDIMAGE = 0x20, TVIF_CHILDREN = 0x40;
constexpr UINT TVIS_SELECTED = 0x02, TVIS_EXPANDED = 0x20, TVIS_EXPANDEDONCE = 0x40;
// GetNextItem relations.
constexpr UINT TVGN_ROOT = 0, TVGN_NEXT = 1, TVGN_PREVIOUS = 2, TVGN_PARENT = 3, TVGN_CHILD = 4,
               TVGN_FIRSTVISIBLE = 5, TVGN_NEXTVISIBLE = 6, TVGN_CARET = 9;
constexpr UINT TVE_COLLAPSE = 1, TVE_EXPAND = 2, TVE_TOGGLE = 3;
constexpr int TVSIL_NORMAL = 0;
// Styles of Create (TVS_..., platform/WindowStyles.h): the control always draws buttons and lines.
// Notification codes (NMHDR::code).
constexpr UINT TVN_SELCHANGEDW = static_cast<UINT>(-451);
constexpr UINT TVN_ITEMEXPANDINGW = static_cast<UINT>(-454);
constexpr UINT TVN_DELETEITEMW = static_cast<UINT>(-458);
constexpr UINT TVN_SELCHANGED = TVN_SELCHANGEDW, TVN_ITEMEXPANDING = TVN_ITEMEXPANDINGW,
               TVN_DELETEITEM = TVN_DELETEITEMW;

struct TVITEMW {
    UINT mask = 0;
    HTREEITEM hItem = nullptr;
    UINT state = 0;
    UINT stateMask = 0;
    LPWSTR pszText = nullptr;  // GetItem copies at most cchTextMax characters with the end
    int cchTextMax = 0;
    int iImage = 0;
    int iSelectedImage = 0;
    int cChildren = 0;  // 1: the item shows that it can be opened, before it has children
    LPARAM lParam = 0;
};
using TVITEM = TVITEMW;

struct TVINSERTSTRUCTW {
    HTREEITEM hParent = nullptr;      // TVI_ROOT or null: the top level
    HTREEITEM hInsertAfter = nullptr;  // TVI_FIRST, TVI_LAST (also null), TVI_SORT or a sibling
    TVITEMW item;
};

struct NMTREEVIEWW {
    NMHDR hdr;
    UINT action;
    TVITEMW itemOld;
    TVITEMW itemNew;
    POINT ptDrag;
};
using NMTREEVIEW = NMTREEVIEWW;

using PFNTVCOMPARE = int (*)(LPARAM first, LPARAM second, LPARAM sortParam);
struct TVSORTCB {
    HTREEITEM hParent;
    PFNTVCOMPARE lpfnCompare;  // negative, zero or positive, on the two items' data
    LPARAM lParam;
};

class KIV_RUNTIME_API CTreeCtrl : public CWnd {
  public:
    CTreeCtrl() = default;
    // Deletes every item first, so that the parent hears of each.
    ~CTreeCtrl() override;

    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);
    BOOL DestroyWindow() override;

    HTREEITEM InsertItem(const TVINSERTSTRUCTW* insert);
    HTREEITEM InsertItem(LPCWSTR text, HTREEITEM parent = TVI_ROOT, HTREEITEM after = TVI_LAST);
    BOOL DeleteItem(HTREEITEM item);
    BOOL DeleteAllItems();
    // The fields of item->hItem named by item->mask.
    BOOL GetItem(TVITEMW* item) const;
    BOOL SetItem(const TVITEMW* item);
    CString GetItemText(HTREEITEM item) const;
    LPARAM GetItemData(HTREEITEM item) const;
    UINT GetItemState(HTREEITEM item, UINT stateMask) const;
    // The item has children, or its children flag says it will have.
    BOOL ItemHasChildren(HTREEITEM item) const;
    UINT GetCount() const;

    HTREEITEM GetNextItem(HTREEITEM item, UINT relation) const;
    HTREEITEM GetRootItem() const { return GetNextItem(nullptr, TVGN_ROOT); }
    HTREEITEM GetChildItem(HTREEITEM item) const { return GetNextItem(item, TVGN_CHILD); }
    HTREEITEM GetNextSiblingItem(HTREEITEM item) const { return GetNextItem(item, TVGN_NEXT); }
    HTREEITEM GetParentItem(HTREEITEM item) const { return GetNextItem(item, TVGN_PARENT); }
    HTREEITEM GetSelectedItem() const { return GetNextItem(nullptr, TVGN_CARET); }
    // Moves the caret (null: none), sending TVN_SELCHANGEDW when it changes.
    BOOL SelectItem(HTREEITEM item);
    BOOL Expand(HTREEITEM item, UINT code);
    BOOL EnsureVisible(HTREEITEM item);

    // Sorts the children of sort->hParent (TVI_ROOT: the top level) by the callback, keeping equal ones in
    // their order.
    BOOL SortChildrenCB(const TVSORTCB* sort);
    // The list whose icons the items' image indices name; the control does not own it. The previous one.
    HIMAGELIST SetImageList(HIMAGELIST list, int which);
    HIMAGELIST GetImageList(int which) const;
    COLORREF SetBkColor(COLORREF colour);
    COLORREF SetTextColor(COLORREF colour);

  private:
    friend class TreeWidget;
    // Sends TVN_DELETEITEMW for the item and all below it.
    void NotifyDeleted(TreeItem* item);
    void NotifyAllDeleted();
    LRESULT Notify(UINT code, NMTREEVIEWW& notification);
    void ShowIcons(TreeItem* item) const;

    CWnd* notifyParent_ = nullptr;
    HIMAGELIST images_ = nullptr;
    COLORREF bkColour_ = CLR_NONE, textColour_ = CLR_NONE;
};
