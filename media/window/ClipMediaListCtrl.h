// The thumbnail list of the picture panel: the GUI library's owner-drawn list whose cell i shows record i
// of a list of media records, as its thumbnail and its title. The list and its records stay the
// caller's; the caller keeps them alive while the control can paint and tells the control the count
// (SetCellCount) whenever the list changes. Painting reads the records only, never a file.
#pragma once

#include "KivPictureBase.h"
#include "libraries/KivPublic.h"
#include "libraries/window/KivGuiList.h"

class CKivClipMediaObj;

class KIV_API CKivClipMediaListCtrl : public CKivAquaListCtrl {
  public:
    CKivClipMediaListCtrl();
    ~CKivClipMediaListCtrl() override;

    // The records to draw; nothing is counted or repainted here.
    void SetClipMediaList(CKivObList* list);

    // The record's thumbnail, fitted into rect.
    void OnDrawIcon(CDC* dc, int index, CRect rect, int state) override;
    // The record's title on one line, vertically centred; when state is nonzero, again in white one pixel
    // up and to the left, over the first.
    void OnDrawText(CDC* dc, int index, CRect rect, int state) override;
    // Records carry no information line.
    void OnDrawInfo(CDC* dc, int index, CRect rect, int state) override;

    CKivObList* m_pClipMediaList = nullptr;

  private:
    // The record of a cell, or null for an index outside the list or an empty element.
    const CKivClipMediaObj* RecordAt(int index) const;
};
