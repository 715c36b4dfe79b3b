#include "platform/ObList.h"

#include <cstdlib>

struct ObListNode {
    ObListNode* next;
    ObListNode* prev;
    CObject* data;
};

IMPLEMENT_DYNAMIC(CObList, CObject)

CObList::~CObList() {
    RemoveAll();
}

POSITION CObList::AddHead(CObject* object) {
    auto* node = new ObListNode{head_, nullptr, object};
    if (head_)
        head_->prev = node;
    else
        tail_ = node;
    head_ = node;
    ++count_;
    ForgetFound();  // every index moved up by one
    return node;
}

POSITION CObList::AddTail(CObject* object) {
    auto* node = new ObListNode{nullptr, tail_, object};
    if (tail_)
        tail_->next = node;
    else
        head_ = node;
    tail_ = node;
    ++count_;
    return node;
}

void CObList::AddTail(const CObList* other) {
    if (!other || other == this) return;
    for (POSITION position = other->head_; position; position = position->next) AddTail(position->data);
}

CObject* CObList::GetHead() const {
    return head_ ? head_->data : nullptr;
}

CObject* CObList::GetTail() const {
    return tail_ ? tail_->data : nullptr;
}

CObject* CObList::RemoveHead() {
    if (!head_) return nullptr;
    CObject* object = head_->data;
    RemoveAt(head_);
    return object;
}

CObject* CObList::RemoveTail() {
    if (!tail_) return nullptr;
    CObject* object = tail_->data;
    RemoveAt(tail_);
    return object;
}

void CObList::RemoveAll() {
    while (head_) {
        ObListNode* next = head_->next;
        delete head_;
        head_ = next;
    }
    tail_ = nullptr;
    count_ = 0;
    ForgetFound();
}

CObject*& CObList::GetNext(POSITION& position) const {
    ObListNode* node = position;
    position = node->next;
    return node->data;
}

CObject*& CObList::GetPrev(POSITION& position) const {
    ObListNode* node = position;
    position = node->prev;
    return node->data;
}

CObject*& CObList::GetAt(POSITION position) const {
    return position->data;
}

void CObList::SetAt(POSITION position, CObject* object) {
    position->data = object;
}

void CObList::RemoveAt(POSITION position) {
    if (position->prev)
        position->prev->next = position->next;
    else
        head_ = position->next;
    if (position->next)
        position->next->prev = position->prev;
    else
        tail_ = position->prev;
    delete position;
    --count_;
    ForgetFound();
}

POSITION CObList::FindIndex(INT_PTR index) const {
    if (index < 0 || index >= count_) return nullptr;
    // Start from whichever known place is nearest: the head, the tail or the last answer.
    POSITION position = head_;
    INT_PTR at = 0;
    if (count_ - 1 - index < index) position = tail_, at = count_ - 1;
    if (foundPosition_ != nullptr && std::abs(foundIndex_ - index) < std::abs(at - index))
        position = foundPosition_, at = foundIndex_;
    for (; at < index; ++at) position = position->next;
    for (; at > index; --at) position = position->prev;
    foundPosition_ = position;
    foundIndex_ = index;
    return position;
}
