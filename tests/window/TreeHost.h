// A parent for the folder tree: it frees each deleted item's record, passes selections to the tree and
// keeps the last one's path and answer, and finds and opens items by their text.
#pragma once

#include <string>
#include <vector>

#include "dialogs/ShellTree.h"

class TreeHost : public CWnd {
  public:
    CKivPicFileShellTree tree;
    int released = 0;
    CString path;
    BOOL lastSelection = FALSE;

    explicit TreeHost(DWORD style = TVS_HASBUTTONS | TVS_HASLINES, CSize size = CSize(300, 400)) {
        Create(nullptr, L"host", 0, CRect(CPoint(0, 0), size), nullptr, 0);
        tree.Create(style, CRect(CPoint(0, 0), size), this, 1003);
    }
    ~TreeHost() override { DestroyWindow(); }

    BOOL OnNotify(WPARAM, LPARAM lParam, LRESULT* result) override {
        auto* notification = reinterpret_cast<NMTREEVIEWW*>(lParam);
        if (notification->hdr.code == TVN_DELETEITEMW) {
            CKivPicFileShellTree::ReleaseItemData(reinterpret_cast<ShellTreeItemData*>(notification->itemOld.lParam));
            ++released;
        } else if (notification->hdr.code == TVN_SELCHANGEDW) {
            lastSelection = tree.OnSelectionChanged(&notification->hdr, result, path);
        }
        return TRUE;
    }

    std::vector<std::wstring> Texts(HTREEITEM parent) const {
        std::vector<std::wstring> texts;
        for (HTREEITEM item = tree.GetChildItem(parent); item; item = tree.GetNextSiblingItem(item))
            texts.push_back(tree.GetItemText(item).Text());
        return texts;
    }
    // The first child of parent (TVI_ROOT: the top level) whose text contains text.
    HTREEITEM Child(HTREEITEM parent, const std::wstring& text) const {
        for (HTREEITEM item = tree.GetChildItem(parent); item; item = tree.GetNextSiblingItem(item))
            if (tree.GetItemText(item).Text().find(text) != std::wstring::npos) return item;
        return nullptr;
    }
    // Selects and expands that child, and returns it.
    HTREEITEM Open(HTREEITEM parent, const std::wstring& text) {
        const HTREEITEM item = Child(parent, text);
        if (item != nullptr) {
            tree.SelectItem(item);
            tree.Expand(item, TVE_EXPAND);
        }
        return item;
    }
};
