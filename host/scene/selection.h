#pragma once
// A selection of elements: one bit per element index. Indices beyond the stored range read as not
// selected; selecting beyond it grows the range.

#include <cstdint>
#include <vector>

namespace fm::host {

class Selection {
 public:
  Selection() = default;

  // Number of selected indices.
  int32_t Count() const;

  // False for negative indices and for indices beyond the stored range.
  bool IsSelected(int32_t index) const;

  // Negative indices are ignored (and answered false); see the table entries for the diagnostic.
  bool Select(int32_t index);
  bool Deselect(int32_t index);

  void Clear();

  // Forgets every index at or beyond `count`; the stored range becomes at most `count`.
  void Truncate(int32_t count);

  // The selected indices in increasing order.
  std::vector<int32_t> Indices() const;

  // One past the highest index ever stored (not necessarily selected).
  int32_t StoredRange() const { return static_cast<int32_t>(bits_.size()); }

  friend bool operator==(const Selection&, const Selection&) = default;

 private:
  std::vector<bool> bits_;
};

}  // namespace fm::host
