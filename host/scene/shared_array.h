#pragma once
// A contiguous array that undo records share with its owner until the owner changes it.
//
// Share() hands out the array as it stands without copying it; the owner's next Mutable() copies
// it first if a share is still alive, so the share keeps the records it was given. Every array is
// made non-const and only ever written while nothing else holds it, which is what makes the
// const_cast in Mutable() sound.

#include <cstddef>
#include <memory>
#include <vector>

#include "host/scene/prepare_memory.h"

namespace fm::host {

template <typename T>
class SharedArray {
 public:
  using Shared = std::shared_ptr<const std::vector<T>>;

  SharedArray() : data_(std::make_shared<std::vector<T>>()) {}
  SharedArray(const SharedArray&) = delete;
  SharedArray& operator=(const SharedArray&) = delete;

  const std::vector<T>& Get() const { return *data_; }

  // Writable until the next Share(); a reference kept across a Share() would write into it.
  std::vector<T>& Mutable() {
    if (data_.use_count() > 1) data_ = std::make_shared<std::vector<T>>(*data_);
    return const_cast<std::vector<T>&>(*data_);
  }

  // The first `count` records stay, new ones are zeroed; a shared array is copied only as far as
  // its records stay.
  void Resize(size_t count) {
    if (data_.use_count() > 1) {
      const std::vector<T>& old = *data_;
      auto resized = std::make_shared<std::vector<T>>();
      resized->reserve(count);
      resized->insert(resized->end(), old.begin(),
                      old.begin() + static_cast<ptrdiff_t>(count < old.size() ? count : old.size()));
      resized->resize(count);
      data_ = std::move(resized);
      return;
    }
    Mutable().resize(count);
  }

  Shared Share() const { return data_; }
  Shared Copy() const {
    const std::vector<T>& from = *data_;
    auto copy = std::make_shared<std::vector<T>>();
    copy->reserve(from.size());
    // A large copy lands in memory never touched, and making it present is most of what the copy
    // costs: this thread makes the front half present and copies it, while a second thread makes
    // the back half present and reads it once, so that copying the back half costs little.
    const size_t half = from.size() / 2;
    PrepareInBackground prepare(copy->data() + half, (from.size() - half) * sizeof(T));
    MakePresent(copy->data(), half * sizeof(T));
    copy->insert(copy->end(), from.begin(), from.begin() + static_cast<ptrdiff_t>(half));
    prepare.Wait();
    copy->insert(copy->end(), from.begin() + static_cast<ptrdiff_t>(half), from.end());
    return copy;
  }

  // Takes `shared` as the array (an empty one for null), still sharing it with whoever holds it.
  void Adopt(Shared shared) { data_ = shared ? std::move(shared) : std::make_shared<std::vector<T>>(); }

 private:
  Shared data_;
};

}  // namespace fm::host
