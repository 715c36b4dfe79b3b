#include "platform/window/TreeCtrl.h"

#include <algorithm>
#include <cwchar>
#include <string>

#include <QHeaderView>
#include <QPalette>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include "platform/window/QtConversions.h"

// One item: the system's fields, with the text kept exactly as given (a name's escaped bytes included) and
// shown in its display form.
class TreeItem : public QTreeWidgetItem {
  public:
    std::wstring text;
    int image = 0, selectedImage = 0, children = 0;
    UINT state = 0;
    LPARAM data = 0;

    bool operator<(const QTreeWidgetItem& other) const override;
};

class TreeWidget : public QTreeWidget {
  public:
    explicit TreeWidget(CTreeCtrl* owner) : owner_(owner) {
        setHeaderHidden(true);
        setColumnCount(1);
        setRootIsDecorated(true);
        setUniformRowHeights(true);  // layout by arithmetic, however many folders a level holds
        connect(this, &QTreeWidget::currentItemChanged, this, &TreeWidget::CaretMoved);
        connect(this, &QTreeWidget::itemExpanded, this, &TreeWidget::Expanded);
    }
    // The widget can go with its parent's: the items go with it, and the parent hears of each.
    ~TreeWidget() override {
        if (owner_) owner_->NotifyAllDeleted();
        quiet_ = true;
    }
    void Disown() { owner_ = nullptr; }

    // Changes made by the control itself, during which Qt's signals are not the user's doing.
    bool quiet_ = false;
    PFNTVCOMPARE compare_ = nullptr;
    LPARAM compareParam_ = 0;

  private:
    void CaretMoved(QTreeWidgetItem* now, QTreeWidgetItem* before) {
        if (quiet_ || !owner_) return;
        auto* oldItem = static_cast<TreeItem*>(before);
        auto* newItem = static_cast<TreeItem*>(now);
        owner_->ShowIcons(oldItem);
        owner_->ShowIcons(newItem);
        NMTREEVIEWW notification{};
        notification.itemOld = {TVIF_HANDLE | TVIF_PARAM | TVIF_STATE, oldItem, oldItem ? oldItem->state : 0};
        notification.itemOld.lParam = oldItem ? oldItem->data : 0;
        notification.itemNew = {TVIF_HANDLE | TVIF_PARAM | TVIF_STATE, newItem, newItem ? newItem->state : 0};
        notification.itemNew.lParam = newItem ? newItem->data : 0;
        owner_->Notify(TVN_SELCHANGEDW, notification);
    }
    void Expanded(QTreeWidgetItem* item) {
        if (quiet_ || !owner_) return;
        auto* expanded = static_cast<TreeItem*>(item);
        NMTREEVIEWW notification{};
        notification.action = TVE_EXPAND;
        notification.itemNew = {TVIF_HANDLE | TVIF_PARAM | TVIF_STATE, expanded, expanded->state};
        notification.itemNew.lParam = expanded->data;
        owner_->Notify(TVN_ITEMEXPANDINGW, notification);
    }

    CTreeCtrl* owner_;
};

bool TreeItem::operator<(const QTreeWidgetItem& other) const {
    const auto* tree = static_cast<const TreeWidget*>(treeWidget());
    const auto& second = static_cast<const TreeItem&>(other);
    return tree && tree->compare_ && tree->compare_(data, second.data, tree->compareParam_) < 0;
}

namespace {

TreeWidget* Tree(HWND window) { return static_cast<TreeWidget*>(window); }

bool IsRoot(HTREEITEM item) { return item == nullptr || item == TVI_ROOT; }

// Makes the control's own changes without Qt's signals counting as the user's.
class Quiet {
  public:
    explicit Quiet(TreeWidget* tree) : tree_(tree), was_(tree->quiet_) { tree->quiet_ = true; }
    ~Quiet() { tree_->quiet_ = was_; }
    Quiet(const Quiet&) = delete;
    Quiet& operator=(const Quiet&) = delete;

  private:
    TreeWidget* tree_;
    bool was_;
};

bool Contains(QTreeWidgetItem* ancestor, QTreeWidgetItem* item) {
    for (; item; item = item->parent())
        if (item == ancestor) return true;
    return false;
}

}  // namespace

CTreeCtrl::~CTreeCtrl() {
    if (!m_hWnd) return;
    NotifyAllDeleted();
    Tree(m_hWnd)->Disown();
}

BOOL CTreeCtrl::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
    auto* tree = new TreeWidget(this);
    if (!CreateFromWidget(tree, style, rect, parent, id)) return FALSE;
    notifyParent_ = parent;
    return TRUE;
}

BOOL CTreeCtrl::DestroyWindow() {
    if (!m_hWnd) return FALSE;
    NotifyAllDeleted();
    Tree(m_hWnd)->Disown();
    return CWnd::DestroyWindow();
}

LRESULT CTreeCtrl::Notify(UINT code, NMTREEVIEWW& notification) {
    notification.hdr = {m_hWnd, static_cast<ULONGLONG>(GetDlgCtrlID()), code};
    return notifyParent_ ? notifyParent_->SendMessage(WM_NOTIFY, notification.hdr.idFrom,
                                                      reinterpret_cast<LPARAM>(&notification))
                         : 0;
}

void CTreeCtrl::NotifyDeleted(TreeItem* item) {
    for (int i = 0; i < item->childCount(); ++i) NotifyDeleted(static_cast<TreeItem*>(item->child(i)));
    NMTREEVIEWW notification{};
    notification.itemOld = {TVIF_HANDLE | TVIF_PARAM, item};
    notification.itemOld.lParam = item->data;
    Notify(TVN_DELETEITEMW, notification);
}

void CTreeCtrl::NotifyAllDeleted() {
    if (!m_hWnd) return;
    TreeWidget* tree = Tree(m_hWnd);
    // Each item is told once: the items leave the widget before anyone hears of them.
    while (tree->topLevelItemCount() > 0) {
        TreeItem* item;
        {
            const Quiet quiet(tree);
            tree->setCurrentItem(nullptr);
            item = static_cast<TreeItem*>(tree->takeTopLevelItem(tree->topLevelItemCount() - 1));
        }
        NotifyDeleted(item);
        delete item;
    }
}

HTREEITEM CTreeCtrl::InsertItem(const TVINSERTSTRUCTW* insert) {
    if (!m_hWnd || !insert) return nullptr;
    TreeWidget* tree = Tree(m_hWnd);
    auto* item = new TreeItem;
    TVITEMW fields = insert->item;
    fields.mask &= ~TVIF_HANDLE;
    fields.hItem = item;
    SetItem(&fields);

    QTreeWidgetItem* parent = IsRoot(insert->hParent) ? tree->invisibleRootItem() : insert->hParent;
    const int count = parent->childCount();
    int at = count;
    if (insert->hInsertAfter == TVI_FIRST) {
        at = 0;
    } else if (insert->hInsertAfter == TVI_SORT) {
        at = 0;
        while (at < count && CString(static_cast<TreeItem*>(parent->child(at))->text.c_str())
                                     .CompareNoCase(item->text.c_str()) <= 0)
            ++at;
    } else if (insert->hInsertAfter && insert->hInsertAfter != TVI_LAST &&
               (count == 0 || parent->child(count - 1) != insert->hInsertAfter)) {
        const int after = parent->indexOfChild(insert->hInsertAfter);
        if (after >= 0) at = after + 1;
    }
    const Quiet quiet(tree);
    parent->insertChild(at, item);
    return item;
}

HTREEITEM CTreeCtrl::InsertItem(LPCWSTR text, HTREEITEM parent, HTREEITEM after) {
    TVINSERTSTRUCTW insert{parent, after, {}};
    insert.item.mask = TVIF_TEXT;
    insert.item.pszText = const_cast<LPWSTR>(text);
    return InsertItem(&insert);
}

BOOL CTreeCtrl::DeleteItem(HTREEITEM item) {
    if (IsRoot(item)) return DeleteAllItems();
    if (!m_hWnd || item->treeWidget() != m_hWnd) return FALSE;
    TreeWidget* tree = Tree(m_hWnd);
    {
        const Quiet quiet(tree);
        if (Contains(item, tree->currentItem())) tree->setCurrentItem(nullptr);
        QTreeWidgetItem* parent = item->parent() ? item->parent() : tree->invisibleRootItem();
        parent->takeChild(parent->indexOfChild(item));
    }
    NotifyDeleted(item);
    delete item;
    return TRUE;
}

BOOL CTreeCtrl::DeleteAllItems() {
    if (!m_hWnd) return FALSE;
    NotifyAllDeleted();
    return TRUE;
}

BOOL CTreeCtrl::GetItem(TVITEMW* fields) const {
    if (!fields || !fields->hItem || IsRoot(fields->hItem)) return FALSE;
    const TreeItem* item = fields->hItem;
    if (fields->mask & TVIF_TEXT) {
        if (!fields->pszText || fields->cchTextMax <= 0) return FALSE;
        const size_t length = std::min(item->text.size(), static_cast<size_t>(fields->cchTextMax - 1));
        std::wmemcpy(fields->pszText, item->text.c_str(), length);
        fields->pszText[length] = L'\0';
    }
    if (fields->mask & TVIF_IMAGE) fields->iImage = item->image;
    if (fields->mask & TVIF_SELECTEDIMAGE) fields->iSelectedImage = item->selectedImage;
    if (fields->mask & TVIF_PARAM) fields->lParam = item->data;
    if (fields->mask & TVIF_CHILDREN) fields->cChildren = item->children;
    if (fields->mask & TVIF_STATE) fields->state = GetItemState(fields->hItem, fields->stateMask);
    return TRUE;
}

BOOL CTreeCtrl::SetItem(const TVITEMW* fields) {
    if (!fields || !fields->hItem || IsRoot(fields->hItem)) return FALSE;
    TreeItem* item = fields->hItem;
    if (fields->mask & TVIF_TEXT) {
        item->text = fields->pszText ? fields->pszText : L"";
        item->setText(0, ToQString(CString(item->text)));
    }
    if (fields->mask & TVIF_IMAGE) item->image = fields->iImage;
    if (fields->mask & TVIF_SELECTEDIMAGE) item->selectedImage = fields->iSelectedImage;
    if (fields->mask & TVIF_PARAM) item->data = fields->lParam;
    if (fields->mask & TVIF_CHILDREN) {
        item->children = fields->cChildren;
        item->setChildIndicatorPolicy(item->children ? QTreeWidgetItem::ShowIndicator
                                                     : QTreeWidgetItem::DontShowIndicatorWhenChildless);
    }
    // Selection and expansion are the widget's; the other bits are kept as given.
    if (fields->mask & TVIF_STATE) {
        const UINT kept = fields->stateMask & ~(TVIS_SELECTED | TVIS_EXPANDED);
        item->state = (item->state & ~kept) | (fields->state & kept);
    }
    if (fields->mask & (TVIF_IMAGE | TVIF_SELECTEDIMAGE)) ShowIcons(item);
    return TRUE;
}

CString CTreeCtrl::GetItemText(HTREEITEM item) const { return IsRoot(item) ? CString() : CString(item->text); }

LPARAM CTreeCtrl::GetItemData(HTREEITEM item) const { return IsRoot(item) ? 0 : item->data; }

UINT CTreeCtrl::GetItemState(HTREEITEM item, UINT stateMask) const {
    if (IsRoot(item)) return 0;
    UINT state = item->state;
    if (item->isSelected() || (m_hWnd && Tree(m_hWnd)->currentItem() == item)) state |= TVIS_SELECTED;
    if (item->isExpanded()) state |= TVIS_EXPANDED;
    return state & stateMask;
}

BOOL CTreeCtrl::ItemHasChildren(HTREEITEM item) const {
    return !IsRoot(item) && (item->childCount() > 0 || item->children != 0);
}

UINT CTreeCtrl::GetCount() const {
    if (!m_hWnd) return 0;
    UINT count = 0;
    for (QTreeWidgetItemIterator it(Tree(m_hWnd)); *it; ++it) ++count;
    return count;
}

HTREEITEM CTreeCtrl::GetNextItem(HTREEITEM item, UINT relation) const {
    if (!m_hWnd) return nullptr;
    TreeWidget* tree = Tree(m_hWnd);
    QTreeWidgetItem* next = nullptr;
    switch (relation) {
        case TVGN_ROOT:
        case TVGN_FIRSTVISIBLE: next = tree->topLevelItem(0); break;
        case TVGN_CARET: next = tree->currentItem(); break;
        case TVGN_CHILD: next = IsRoot(item) ? tree->topLevelItem(0) : item->child(0); break;
        case TVGN_PARENT: next = IsRoot(item) ? nullptr : item->parent(); break;
        case TVGN_NEXT:
        case TVGN_PREVIOUS: {
            if (IsRoot(item)) break;
            QTreeWidgetItem* parent = item->parent() ? item->parent() : tree->invisibleRootItem();
            next = parent->child(parent->indexOfChild(item) + (relation == TVGN_NEXT ? 1 : -1));
            break;
        }
        case TVGN_NEXTVISIBLE: next = IsRoot(item) ? nullptr : tree->itemBelow(item); break;
        default: break;
    }
    return static_cast<TreeItem*>(next);
}

BOOL CTreeCtrl::SelectItem(HTREEITEM item) {
    if (!m_hWnd || IsRoot(item) != (item == nullptr)) return FALSE;
    Tree(m_hWnd)->setCurrentItem(item);
    return TRUE;
}

BOOL CTreeCtrl::Expand(HTREEITEM item, UINT code) {
    if (!m_hWnd || IsRoot(item)) return FALSE;
    const bool open = code == TVE_EXPAND || (code == TVE_TOGGLE && !item->isExpanded());
    item->setExpanded(open);
    return TRUE;
}

BOOL CTreeCtrl::EnsureVisible(HTREEITEM item) {
    if (!m_hWnd || IsRoot(item)) return FALSE;
    Tree(m_hWnd)->scrollToItem(item);
    return TRUE;
}

BOOL CTreeCtrl::SortChildrenCB(const TVSORTCB* sort) {
    if (!m_hWnd || !sort || !sort->lpfnCompare) return FALSE;
    TreeWidget* tree = Tree(m_hWnd);
    QTreeWidgetItem* parent = IsRoot(sort->hParent) ? tree->invisibleRootItem() : sort->hParent;
    const Quiet quiet(tree);
    tree->compare_ = sort->lpfnCompare;
    tree->compareParam_ = sort->lParam;
    parent->sortChildren(0, Qt::AscendingOrder);  // a stable sort by TreeItem::operator<
    tree->compare_ = nullptr;
    return TRUE;
}

HIMAGELIST CTreeCtrl::SetImageList(HIMAGELIST list, int which) {
    if (which != TVSIL_NORMAL) return nullptr;
    const HIMAGELIST previous = images_;
    images_ = list;
    if (m_hWnd)
        for (QTreeWidgetItemIterator it(Tree(m_hWnd)); *it; ++it) ShowIcons(static_cast<TreeItem*>(*it));
    return previous;
}

HIMAGELIST CTreeCtrl::GetImageList(int which) const { return which == TVSIL_NORMAL ? images_ : nullptr; }

void CTreeCtrl::ShowIcons(TreeItem* item) const {
    if (!item || !m_hWnd) return;
    const bool selected = Tree(m_hWnd)->currentItem() == item;
    const int index = selected ? item->selectedImage : item->image;
    const bool valid = images_ && index >= 0 && index < ImageList_GetImageCount(images_);
    item->setIcon(0, valid ? images_->icons[static_cast<size_t>(index)] : QIcon());
}

COLORREF CTreeCtrl::SetBkColor(COLORREF colour) {
    const COLORREF previous = bkColour_;
    bkColour_ = colour;
    if (m_hWnd) {
        QPalette palette = m_hWnd->palette();
        palette.setColor(QPalette::Base, colour == CLR_NONE ? QPalette().color(QPalette::Base) : ToQColor(colour));
        m_hWnd->setPalette(palette);
    }
    return previous;
}

COLORREF CTreeCtrl::SetTextColor(COLORREF colour) {
    const COLORREF previous = textColour_;
    textColour_ = colour;
    if (m_hWnd) {
        QPalette palette = m_hWnd->palette();
        palette.setColor(QPalette::Text, colour == CLR_NONE ? QPalette().color(QPalette::Text) : ToQColor(colour));
        m_hWnd->setPalette(palette);
    }
    return previous;
}
