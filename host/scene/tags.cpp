#include "host/scene/tags.h"

#include <cstring>

namespace fm::host {

void Tag::FollowResize(int32_t, int32_t) {}

std::unique_ptr<Tag> Tag::Clone() const { return std::make_unique<Tag>(Type(), Name()); }

void Tag::Restore(const Tag& saved) { SetName(saved.Name()); }

VariableTag::VariableTag(int32_t type, ElementKind element, int32_t recordSize, int32_t count,
                         std::string name)
    : Tag(type, std::move(name)), element_(element), recordSize_(recordSize < 1 ? 1 : recordSize) {
  SetCount(count);
}

int32_t VariableTag::Count() const { return static_cast<int32_t>(bytes_.size() / recordSize_); }

uint8_t* VariableTag::Record(int32_t index) {
  if (index < 0 || index >= Count()) return nullptr;
  return bytes_.data() + static_cast<size_t>(index) * recordSize_;
}

const uint8_t* VariableTag::Record(int32_t index) const {
  return const_cast<VariableTag*>(this)->Record(index);
}

void VariableTag::SetCount(int32_t count) {
  bytes_.resize(static_cast<size_t>(count < 0 ? 0 : count) * recordSize_, 0);
}

void VariableTag::FollowResize(int32_t points, int32_t polygons) {
  SetCount(element_ == ElementKind::Point ? points : polygons);
}

std::unique_ptr<Tag> VariableTag::Clone() const {
  auto copy = std::make_unique<VariableTag>(Type(), element_, recordSize_, 0, Name());
  copy->bytes_ = bytes_;
  return copy;
}

void VariableTag::Restore(const Tag& saved) {
  Tag::Restore(saved);
  if (auto* data = dynamic_cast<const VariableTag*>(&saved)) bytes_ = data->bytes_;
}

UvwTag::UvwTag(int32_t polygons, std::string name)
    : VariableTag(kUvwTagType, ElementKind::Polygon, sizeof(UvwRecord), polygons, std::move(name)) {
}

UvwRecord UvwTag::Get(int32_t index) const {
  UvwRecord record;
  if (const uint8_t* bytes = Record(index)) std::memcpy(&record, bytes, sizeof record);
  return record;
}

bool UvwTag::Set(int32_t index, const UvwRecord& record) {
  uint8_t* bytes = Record(index);
  if (!bytes) return false;
  std::memcpy(bytes, &record, sizeof record);
  return true;
}

std::unique_ptr<Tag> UvwTag::Clone() const {
  auto copy = std::make_unique<UvwTag>(0, Name());
  copy->Bytes() = Bytes();
  return copy;
}

SelectionTag::SelectionTag(int32_t type, ElementKind element, std::string name)
    : Tag(type, std::move(name)), element_(element) {}

void SelectionTag::FollowResize(int32_t points, int32_t polygons) {
  selection_.Truncate(element_ == ElementKind::Point ? points : polygons);
}

std::unique_ptr<Tag> SelectionTag::Clone() const {
  auto copy = std::make_unique<SelectionTag>(Type(), element_, Name());
  copy->selection_ = selection_;
  return copy;
}

void SelectionTag::Restore(const Tag& saved) {
  Tag::Restore(saved);
  if (auto* data = dynamic_cast<const SelectionTag*>(&saved)) selection_ = data->selection_;
}

}  // namespace fm::host
