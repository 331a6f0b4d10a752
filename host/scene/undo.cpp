#include "host/scene/undo.h"

#include <utility>

namespace fm::host {

void UndoHistory::Start() {
  if (depth_++ == 0) groups_.emplace_back();
}

bool UndoHistory::End() {
  if (depth_ == 0) return false;
  --depth_;
  return true;
}

UndoHistory::AddResult UndoHistory::Add(int32_t kind, Object& object) {
  if (kind != kUndoChangeObject) return AddResult::UnknownKind;
  Step step{&object, object.Capture()};
  if (depth_ > 0) {
    groups_.back().push_back(std::move(step));
    return AddResult::Added;
  }
  groups_.emplace_back().push_back(std::move(step));
  return AddResult::AddedAsOwnGroup;
}

bool UndoHistory::Undo() {
  if (depth_ > 0 || groups_.empty()) return false;
  Group group = std::move(groups_.back());
  groups_.pop_back();
  for (auto step = group.rbegin(); step != group.rend(); ++step)
    step->object->Restore(step->before);
  return true;
}

}  // namespace fm::host
