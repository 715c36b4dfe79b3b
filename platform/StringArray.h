// The class library's array of strings, as far as the module uses it: callers hand one in and read the
// strings appended to it.
#pragma once

#include <vector>

#include "platform/CString.h"

class CStringArray {
  public:
    INT_PTR GetSize() const { return INT_PTR(items_.size()); }
    INT_PTR GetCount() const { return GetSize(); }
    bool IsEmpty() const { return items_.empty(); }
    // Returns the new string's index.
    INT_PTR Add(const CString& text) {
        items_.push_back(text);
        return GetSize() - 1;
    }
    const CString& GetAt(INT_PTR index) const { return items_.at(size_t(index)); }
    const CString& operator[](INT_PTR index) const { return GetAt(index); }
    void RemoveAll() { items_.clear(); }

  private:
    std::vector<CString> items_;
};
