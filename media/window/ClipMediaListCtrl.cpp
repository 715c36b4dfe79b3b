#include "media/window/ClipMediaListCtrl.h"

#include "libraries/window/KivGuiSkin.h"
#include "media/ClipMediaObj.h"

namespace {

constexpr UINT kTitleFormat = DT_SINGLELINE | DT_VCENTER;  // one line, left-aligned, no ellipsis
constexpr COLORREF kHighlightedTitle = RGB(255, 255, 255);

}  // namespace

CKivClipMediaListCtrl::CKivClipMediaListCtrl() = default;

CKivClipMediaListCtrl::~CKivClipMediaListCtrl() = default;

void CKivClipMediaListCtrl::SetClipMediaList(CKivObList* list) { m_pClipMediaList = list; }

const CKivClipMediaObj* CKivClipMediaListCtrl::RecordAt(int index) const {
    if (m_pClipMediaList == nullptr || index < 0 || index >= m_pClipMediaList->GetCount()) return nullptr;
    return dynamic_cast<const CKivClipMediaObj*>(m_pClipMediaList->GetAt(m_pClipMediaList->FindIndex(index)));
}

void CKivClipMediaListCtrl::OnDrawIcon(CDC* dc, int index, CRect rect, int /*state*/) {
    if (const CKivClipMediaObj* record = RecordAt(index)) record->m_Icon.DrawIcon(dc, rect);
}

void CKivClipMediaListCtrl::OnDrawText(CDC* dc, int index, CRect rect, int state) {
    const CKivClipMediaObj* record = RecordAt(index);
    if (record == nullptr || dc == nullptr) return;
    CFont* oldFont = dc->SelectObject(CKivGuiFont::GetFont());
    dc->DrawText(record->m_strShowName, &rect, kTitleFormat);
    if (state != 0) {
        const COLORREF oldColour = dc->SetTextColor(kHighlightedTitle);
        CRect raised(rect.left - 1, rect.top - 1, rect.right - 1, rect.bottom - 1);
        dc->DrawText(record->m_strShowName, &raised, kTitleFormat);
        dc->SetTextColor(oldColour);
    }
    dc->SelectObject(oldFont);
}

void CKivClipMediaListCtrl::OnDrawInfo(CDC*, int, CRect, int) {}
