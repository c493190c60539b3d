#pragma once
#include <cstdint>

#include "base/GrowBuf.h"

// Pointers to owned objects. Out-of-range access yields null; the objects
// are deleted from last to first when the list is cleared or destroyed.
template <class T>
class PtrList {
public:
  explicit PtrList(int32_t granularity = 4096) : buf_(granularity) {}
  ~PtrList() { Clear(); }
  PtrList(const PtrList&) = delete;
  PtrList& operator=(const PtrList&) = delete;

  int32_t Count() const { return buf_.Size() / int32_t(sizeof(T*)); }
  T* Get(int32_t i) const { return (i >= 0 && i < Count()) ? buf_.As<T*>()[i] : nullptr; }
  T* operator[](int32_t i) const { return Get(i); }

  // Appends; returns false (and does not take ownership) when storage is short.
  bool Add(T* item) { return buf_.Append(&item, int32_t(sizeof(T*))); }

  // Inserts at index (clamped into 0..count); false when storage is short.
  bool Insert(int32_t index, T* item) {
    const int32_t count = Count();
    if (index < 0) index = 0;
    if (index > count) index = count;
    if (!buf_.Resize((count + 1) * int32_t(sizeof(T*)), false)) return false;
    T** items = buf_.As<T*>();
    for (int32_t k = count; k > index; --k) items[k] = items[k - 1];
    items[index] = item;
    return true;
  }

  // Removes without deleting; returns the object (or null).
  T* Take(int32_t index) {
    T* item = Get(index);
    if (!item && (index < 0 || index >= Count())) return nullptr;
    const int32_t count = Count();
    T** items = buf_.As<T*>();
    for (int32_t k = index; k + 1 < count; ++k) items[k] = items[k + 1];
    buf_.Resize((count - 1) * int32_t(sizeof(T*)));
    return item;
  }

  void Clear() {
    for (int32_t i = Count() - 1; i >= 0; --i) delete buf_.As<T*>()[i];
    buf_.Resize(0);
  }

private:
  GrowBuf buf_;
};
