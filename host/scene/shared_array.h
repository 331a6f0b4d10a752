#pragma once
// A contiguous array that undo records share with its owner until the owner changes it.
//
// Share() hands out the array as it stands without copying it; the owner's next Mutable() copies
// it first if a share is still alive, so the share keeps the records it was given. Every array is
// made non-const and only ever written while nothing else holds it, which is what makes the
// const_cast in Mutable() sound.
//
// An array lent out for writing (Lend) cannot be shared, since writes through the pointer are not
// seen: a capture copies it. Where the owner knows a rule that makes the records as they stand
// (an array built from something that stays, such as a file's faces), a capture of a lent array
// keeps the rule instead of a copy, once it has seen that the records are still the rule's: a
// large copy lands in fresh memory, which costs far more than reading the records once.

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <functional>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

#include "host/scene/prepare_memory.h"

namespace fm::host {

template <typename T>
class SharedArray {
 public:
  using Shared = std::shared_ptr<const std::vector<T>>;
  // Fills `out` with the `count` records from index `first` on.
  using Rule = std::function<void(size_t first, size_t count, T* out)>;

  // What an undo record keeps of the array: the records themselves, or the rule that makes its
  // `count` records. Neither (an empty array) for an object without the array.
  struct Snapshot {
    Shared records;
    std::shared_ptr<const Rule> rule;
    size_t count = 0;
  };

  SharedArray() : data_(std::make_shared<std::vector<T>>()) {}
  SharedArray(const SharedArray&) = delete;
  SharedArray& operator=(const SharedArray&) = delete;

  const std::vector<T>& Get() const { return *data_; }
  // Writable until the next Share(); a reference kept across a Share() would write into it.
  std::vector<T>& Mutable() {
    rule_.reset();
    return Own();
  }
  // The records for a caller that writes through them later, unseen. The rule stays: a capture
  // checks it against the records before it stands for them.
  T* Lend() {
    std::vector<T>& records = Own();
    return records.empty() ? nullptr : records.data();
  }
  // The first `count` records stay, new ones are zeroed; a shared array is copied only as far as
  // its records stay.
  void Resize(size_t count) {
    rule_.reset();
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

  // Takes `records`, which belong to the caller and must stay as they are while anything holds
  // this array or a snapshot of it, as the array without copying them. They are never written: the
  // first write copies them, as it would copy records an undo record shares.
  void Borrow(const std::vector<T>& records) {
    rule_.reset();
    data_ = Shared(&records, [](const std::vector<T>*) {});
    // Held here for good, so that the borrowed records always count as shared.
    borrowed_ = data_;
  }

  // The records as they stand are the ones `rule` makes (for records without padding bytes, whose
  // every byte the rule sets). Forgotten at the next Mutable() or Resize().
  void SetRule(std::shared_ptr<const Rule> rule) { rule_ = std::move(rule); }

  Snapshot Share() const { return Snapshot{data_, nullptr, 0}; }
  // A snapshot that does not change with the array: the rule where the records are still its
  // own, else a copy.
  Snapshot Copy() const {
    if (rule_ != nullptr && RuleMakesTheRecords()) return Snapshot{nullptr, rule_, data_->size()};
    const std::vector<T>& from = *data_;
    auto copy = std::make_shared<std::vector<T>>();
    // A large copy lands in memory never touched, and making it present is most of what the copy
    // costs: the back half's room is made ready on a second thread while the front half is copied.
    AppendInHalves(*copy, from.size(), [&](size_t begin, size_t end) {
      copy->insert(copy->end(), from.begin() + static_cast<ptrdiff_t>(begin),
                   from.begin() + static_cast<ptrdiff_t>(end));
    });
    return Snapshot{std::move(copy), nullptr, 0};
  }
  // Takes the snapshot's records as the array, still sharing them with whoever holds them (an
  // empty array for neither); records of a rule are made anew, and the rule stays theirs.
  void Adopt(const Snapshot& snapshot) {
    rule_.reset();
    if (snapshot.rule != nullptr) {
      auto made = std::make_shared<std::vector<T>>(snapshot.count);
      if (snapshot.count > 0) (*snapshot.rule)(0, snapshot.count, made->data());
      data_ = std::move(made);
      rule_ = snapshot.rule;
      return;
    }
    data_ = snapshot.records ? snapshot.records : std::make_shared<std::vector<T>>();
  }

 private:
  // Records compared per block, and arrays from which a second thread compares half of them.
  static constexpr size_t kBlock = 1024;
  static constexpr size_t kTwoThreadsFrom = size_t{1} << 18;

  std::vector<T>& Own() {
    if (data_.use_count() > 1) data_ = std::make_shared<std::vector<T>>(*data_);
    return const_cast<std::vector<T>&>(*data_);
  }

  bool RuleMakesTheRecords() const {
    const std::vector<T>& records = *data_;
    const auto Same = [this, &records](size_t begin, size_t end) {
      std::vector<T> made(std::min(kBlock, end - begin));
      for (size_t at = begin; at < end; at += kBlock) {
        const size_t count = std::min(kBlock, end - at);
        (*rule_)(at, count, made.data());
        if (std::memcmp(made.data(), records.data() + at, count * sizeof(T)) != 0) return false;
      }
      return true;
    };
    if (records.size() < kTwoThreadsFrom) return Same(0, records.size());
    const size_t half = records.size() / 2;
    bool backSame = false;
    try {
      std::jthread back([&] { backSame = Same(half, records.size()); });
      const bool frontSame = Same(0, half);
      back.join();
      return frontSame && backSame;
    } catch (const std::system_error&) {
      return Same(0, records.size());
    }
  }

  Shared data_;
  std::shared_ptr<const Rule> rule_;
  Shared borrowed_;
};

}  // namespace fm::host
