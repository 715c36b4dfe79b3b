// The class library's list of object pointers. It never deletes what it holds; owning lists derive from it.
//
// A POSITION names one element and stays valid until that element is removed, whatever else is added or
// removed meanwhile, so a walk may remove the element it has just passed.
#pragma once

#include "platform/Archive.h"
#include "platform/WinTypes.h"

struct ObListNode;
using POSITION = ObListNode*;

class KIV_RUNTIME_API CObList : public CObject {
    DECLARE_DYNAMIC(CObList)

  public:
    CObList() = default;
    CObList(const CObList&) = delete;
    CObList& operator=(const CObList&) = delete;
    // Frees the list's own nodes; the objects are the owner's business.
    ~CObList() override;

    INT_PTR GetCount() const { return count_; }
    INT_PTR GetSize() const { return count_; }
    bool IsEmpty() const { return count_ == 0; }

    POSITION AddHead(CObject* object);
    POSITION AddTail(CObject* object);
    // Appends other's elements, in order. Other still holds them: an owner hands them over by emptying
    // other with RemoveAll next.
    void AddTail(const CObList* other);

    CObject* GetHead() const;
    CObject* GetTail() const;
    CObject* RemoveHead();
    CObject* RemoveTail();
    // Forgets every element without deleting it.
    void RemoveAll();

    POSITION GetHeadPosition() const { return head_; }
    POSITION GetTailPosition() const { return tail_; }
    // The element at position; position moves to the next (or previous) one, null past the end.
    CObject*& GetNext(POSITION& position) const;
    CObject*& GetPrev(POSITION& position) const;
    CObject*& GetAt(POSITION position) const;
    void SetAt(POSITION position, CObject* object);
    void RemoveAt(POSITION position);
    // The position of the element with that index, or null when there is none. It walks from the
    // nearest of the head, the tail and the last element it found, so indexes asked in order (a list
    // control painting its cells) cost a step each. That memory makes a list, like the class library's,
    // an object of one thread at a time, also for this const call.
    POSITION FindIndex(INT_PTR index) const;

  private:
    void ForgetFound() const { foundPosition_ = nullptr; }

    POSITION head_ = nullptr;
    POSITION tail_ = nullptr;
    INT_PTR count_ = 0;
    mutable POSITION foundPosition_ = nullptr;  // the last FindIndex answer, while indexes stay put
    mutable INT_PTR foundIndex_ = 0;
};
