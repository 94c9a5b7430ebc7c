// Reference counting of the log system's objects: IReference, the template
// that implements it over any interface, and a holder that makes adopting and
// sharing a reference explicit.
#pragma once

#include <atomic>
#include <utility>

namespace opLogSys {

// The count that every object handed around in the log system carries. A new
// object starts at one, owned by its creator.
class IReference {
 public:
  virtual ~IReference() = default;
  // Adds a reference; returns the new count.
  virtual long AddRef() = 0;
  // Drops a reference and deletes the object at zero; returns the new count.
  virtual long Release() = 0;
};

namespace Common {

// IReference over the interface T (which declares AddRef and Release, from
// IReference or in its own slots).
template <class T>
class CReference : public T {
 public:
  long AddRef() override { return count_.fetch_add(1, std::memory_order_relaxed) + 1; }
  long Release() override {
    // Act on the value the decrement returned: reading the count again could
    // see another thread's decrement and free the object twice.
    const long left = count_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
  }

 protected:
  CReference() = default;
  CReference(const CReference&) = delete;
  CReference& operator=(const CReference&) = delete;

 private:
  std::atomic<long> count_{1};
};

// Holds one reference on a log object. Adopt takes over the reference that
// the caller owns (a new object's first one); Share adds one of its own.
template <class T>
class CRefPtr {
 public:
  CRefPtr() noexcept = default;
  CRefPtr(const CRefPtr& other) noexcept : p_(other.p_) {
    if (p_) p_->AddRef();
  }
  CRefPtr(CRefPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  template <class U>
  CRefPtr(CRefPtr<U>&& other) noexcept : p_(other.Detach()) {}  // NOLINT: as a pointer converts
  ~CRefPtr() { Reset(); }
  CRefPtr& operator=(CRefPtr other) noexcept {
    std::swap(p_, other.p_);
    return *this;
  }

  static CRefPtr Adopt(T* owned) noexcept {
    CRefPtr held;
    held.p_ = owned;
    return held;
  }
  static CRefPtr Share(T* object) noexcept {
    if (object) object->AddRef();
    return Adopt(object);
  }

  T* Get() const noexcept { return p_; }
  T* operator->() const noexcept { return p_; }
  T& operator*() const noexcept { return *p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }
  // Hands the reference out to the caller.
  T* Detach() noexcept { return std::exchange(p_, nullptr); }
  void Reset() noexcept {
    if (T* old = std::exchange(p_, nullptr)) old->Release();
  }

 private:
  T* p_ = nullptr;
};

}  // namespace Common
}  // namespace opLogSys
