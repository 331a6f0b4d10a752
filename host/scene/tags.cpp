#include "host/scene/tags.h"

#include <bit>
#include <cmath>
#include <cstring>

namespace fm::host {

void Tag::FollowResize(int32_t, int32_t) {}

std::unique_ptr<Tag> Tag::Clone() const { return std::make_unique<Tag>(Type(), Name()); }

void Tag::Restore(const Tag& saved) { SetName(saved.Name()); }

VariableTag::VariableTag(int32_t type, ElementKind element, int32_t recordSize, int32_t count,
                         std::string name)
    : Tag(type, std::move(name)), element_(element), recordSize_(recordSize < 1 ? 1 : recordSize) {
  VariableTag::SetCount(count);
}

int32_t VariableTag::Count() const { return static_cast<int32_t>(bytes_.size() / recordSize_); }

bool VariableTag::Read(int32_t index, void* out) const {
  if (index < 0 || index >= VariableTag::Count()) return false;
  std::memcpy(out, bytes_.data() + static_cast<size_t>(index) * recordSize_, recordSize_);
  return true;
}

bool VariableTag::Write(int32_t index, const void* in) {
  if (index < 0 || index >= VariableTag::Count()) return false;
  std::memcpy(bytes_.data() + static_cast<size_t>(index) * recordSize_, in, recordSize_);
  return true;
}

uint8_t* VariableTag::Record(int32_t index) {
  ToBytes();
  if (index < 0 || index >= VariableTag::Count()) return nullptr;
  return bytes_.data() + static_cast<size_t>(index) * recordSize_;
}

const uint8_t* VariableTag::Record(int32_t index) const {
  return const_cast<VariableTag*>(this)->Record(index);
}

std::vector<uint8_t>& VariableTag::Bytes() {
  ToBytes();
  return bytes_;
}

const std::vector<uint8_t>& VariableTag::Bytes() const {
  ToBytes();
  return bytes_;
}

void VariableTag::SetCount(int32_t count) {
  bytes_.resize(static_cast<size_t>(count < 0 ? 0 : count) * recordSize_, 0);
}

void VariableTag::FollowResize(int32_t points, int32_t polygons) {
  SetCount(element_ == ElementKind::Point ? points : polygons);
}

std::unique_ptr<Tag> VariableTag::Clone() const {
  auto copy = std::make_unique<VariableTag>(Type(), element_, recordSize_, 0, Name());
  copy->bytes_ = Bytes();
  return copy;
}

void VariableTag::Restore(const Tag& saved) {
  Tag::Restore(saved);
  if (auto* data = dynamic_cast<const VariableTag*>(&saved)) {
    ToBytes();
    bytes_ = data->Bytes();
  }
}

namespace {

constexpr double kCompactFaces = double(uint32_t{1} << 30);

// Whole numbers only, and +0.0 rather than -0.0, so that unpacking gives back the same bytes.
bool PackCorner(const Vector3& v, uint32_t& out) {
  if (!(v.x >= 0.0 && v.x < kCompactFaces && v.y >= 0.0 && v.y < 4.0)) return false;
  const auto face = static_cast<uint32_t>(v.x);
  const auto corner = static_cast<uint32_t>(v.y);
  if (static_cast<double>(face) != v.x || static_cast<double>(corner) != v.y) return false;
  if (std::signbit(v.x) || std::signbit(v.y) || std::bit_cast<uint64_t>(v.z) != 0) return false;
  out = face << 2 | corner;
  return true;
}

Vector3 UnpackCorner(uint32_t packed) {
  return Vector3{static_cast<double>(packed >> 2), static_cast<double>(packed & 3u), 0.0};
}

}  // namespace

UvwTag::UvwTag(int32_t polygons, std::string name)
    : VariableTag(kUvwTagType, ElementKind::Polygon, sizeof(UvwRecord), 0, std::move(name)) {
  UvwTag::SetCount(polygons);
}

bool UvwTag::Pack(const UvwRecord& record, CompactRecord& out) {
  return PackCorner(record.a, out.corner[0]) && PackCorner(record.b, out.corner[1]) &&
         PackCorner(record.c, out.corner[2]) && PackCorner(record.d, out.corner[3]);
}

UvwRecord UvwTag::Unpack(const CompactRecord& record) {
  return UvwRecord{UnpackCorner(record.corner[0]), UnpackCorner(record.corner[1]),
                   UnpackCorner(record.corner[2]), UnpackCorner(record.corner[3])};
}

void UvwTag::ToBytes() const {
  if (!compact_) return;
  std::vector<uint8_t>& bytes = StoredBytes();
  bytes.resize(records_.size() * sizeof(UvwRecord));
  for (size_t i = 0; i < records_.size(); ++i) {
    const UvwRecord record = Unpack(records_[i]);
    std::memcpy(bytes.data() + i * sizeof(UvwRecord), &record, sizeof record);
  }
  std::vector<CompactRecord>().swap(records_);
  compact_ = false;
}

int32_t UvwTag::Count() const {
  return compact_ ? static_cast<int32_t>(records_.size()) : VariableTag::Count();
}

UvwRecord UvwTag::Get(int32_t index) const {
  UvwRecord record;
  Read(index, &record);
  return record;
}

bool UvwTag::Set(int32_t index, const UvwRecord& record) { return Write(index, &record); }

bool UvwTag::Read(int32_t index, void* out) const {
  if (!compact_) return VariableTag::Read(index, out);
  if (index < 0 || static_cast<size_t>(index) >= records_.size()) return false;
  const UvwRecord record = Unpack(records_[static_cast<size_t>(index)]);
  std::memcpy(out, &record, sizeof record);
  return true;
}

bool UvwTag::Write(int32_t index, const void* in) {
  if (index < 0 || index >= Count()) return false;
  if (compact_) {
    UvwRecord record;
    std::memcpy(&record, in, sizeof record);
    if (Pack(record, records_[static_cast<size_t>(index)])) return true;
    ToBytes();
  }
  return VariableTag::Write(index, in);
}

void UvwTag::Append(const UvwRecord& record) {
  if (compact_) {
    CompactRecord packed;
    if (Pack(record, packed)) {
      records_.push_back(packed);
      return;
    }
    ToBytes();
  }
  const auto* raw = reinterpret_cast<const uint8_t*>(&record);
  StoredBytes().insert(StoredBytes().end(), raw, raw + sizeof record);
}

void UvwTag::Reserve(int32_t count) {
  const size_t n = static_cast<size_t>(count < 0 ? 0 : count);
  if (compact_) {
    records_.reserve(n);
  } else {
    StoredBytes().reserve(n * sizeof(UvwRecord));
  }
}

void UvwTag::SetCount(int32_t count) {
  if (!compact_) return VariableTag::SetCount(count);
  records_.resize(static_cast<size_t>(count < 0 ? 0 : count), CompactRecord{});  // zeros pack to 0
}

std::unique_ptr<Tag> UvwTag::Clone() const {
  auto copy = std::make_unique<UvwTag>(0, Name());
  copy->compact_ = compact_;
  if (compact_) {
    copy->records_ = records_;
  } else {
    copy->StoredBytes() = StoredBytes();
  }
  return copy;
}

void UvwTag::Restore(const Tag& saved) {
  const auto* data = dynamic_cast<const UvwTag*>(&saved);
  if (!data) return VariableTag::Restore(saved);
  Tag::Restore(saved);
  compact_ = data->compact_;
  if (compact_) {
    records_ = data->records_;
    std::vector<uint8_t>().swap(StoredBytes());
  } else {
    StoredBytes() = data->StoredBytes();
    std::vector<CompactRecord>().swap(records_);
  }
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
