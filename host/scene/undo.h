#pragma once
// A document's undo history: groups of steps, each step the state of one object captured before
// it changed. Undoing a group puts every captured object back exactly as it was.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/scene/object.h"

namespace fm::host {

// The undo kind that captures an object before it changes.
inline constexpr int32_t kUndoChangeObject = 40;

class UndoHistory {
 public:
  struct Step {
    Object* object = nullptr;
    ObjectState before;
  };
  using Group = std::vector<Step>;

  // Groups nest: only the outermost Start opens a group, and the matching End closes it.
  void Start();
  // False when no group is open (nothing changes).
  bool End();

  enum class AddResult { Added, AddedAsOwnGroup, UnknownKind };
  // Captures `object` into the open group. Without an open group the step becomes a group of its
  // own, so the change it announces can still be undone.
  AddResult Add(int32_t kind, Object& object);

  // Restores the newest closed group, its steps newest first (so an object captured twice ends up
  // in its earliest state), and drops it. False when no group is closed or one is still open.
  bool Undo();

  bool GroupOpen() const { return depth_ > 0; }
  size_t GroupCount() const { return groups_.size(); }
  const std::vector<Group>& Groups() const { return groups_; }

 private:
  std::vector<Group> groups_;
  int32_t depth_ = 0;
};

}  // namespace fm::host
