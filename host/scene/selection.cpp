#include "host/scene/selection.h"

#include <algorithm>

namespace fm::host {

int32_t Selection::Count() const {
  return static_cast<int32_t>(std::count(bits_.begin(), bits_.end(), true));
}

bool Selection::IsSelected(int32_t index) const {
  return index >= 0 && static_cast<size_t>(index) < bits_.size() && bits_[index];
}

bool Selection::Select(int32_t index) {
  if (index < 0) return false;
  if (static_cast<size_t>(index) >= bits_.size()) bits_.resize(static_cast<size_t>(index) + 1);
  bits_[index] = true;
  return true;
}

bool Selection::Deselect(int32_t index) {
  if (index < 0) return false;
  if (static_cast<size_t>(index) < bits_.size()) bits_[index] = false;
  return true;
}

void Selection::Clear() { bits_.clear(); }

void Selection::Truncate(int32_t count) {
  const size_t keep = count < 0 ? 0 : static_cast<size_t>(count);
  if (bits_.size() > keep) bits_.resize(keep);
}

std::vector<int32_t> Selection::Indices() const {
  std::vector<int32_t> out;
  for (size_t i = 0; i < bits_.size(); ++i) {
    if (bits_[i]) out.push_back(static_cast<int32_t>(i));
  }
  return out;
}

}  // namespace fm::host
