#include "host/scene/tags.h"

#include <bit>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// One corner of a UvwRecord's bytes (`in` points at its x); false when it is not of the form
// (f, k, 0). Whole numbers only, and +0.0 rather than -0.0, so that unpacking gives back the same
// bytes: comparing the bits of the number made back from the integer rejects -0.0, fractions and
// NaN at once.
inline bool PackCorner(const uint8_t* in, uint32_t& out) {
#if defined(__SSE2__)
  const __m128d xy = _mm_loadu_pd(reinterpret_cast<const double*>(in));
  // Out of range and NaN convert to 0x80000000, which the range test below refuses.
  const __m128i whole = _mm_cvttpd_epi32(xy);
  const __m128i back = _mm_castpd_si128(_mm_cvtepi32_pd(whole));
  if (_mm_movemask_epi8(_mm_cmpeq_epi32(back, _mm_castpd_si128(xy))) != 0xffff) return false;
  const auto face = static_cast<uint32_t>(_mm_cvtsi128_si32(whole));
  const auto corner = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(whole, 4)));
  uint64_t z;
  std::memcpy(&z, in + 16, sizeof z);
  if (face >= (uint32_t{1} << 30) || corner >= 4 || z != 0) return false;
  out = face << 2 | corner;
  return true;
#else
  constexpr double kCompactFaces = double(uint32_t{1} << 30);
  double v[3];
  std::memcpy(v, in, sizeof v);
  if (!(v[0] >= 0.0 && v[0] < kCompactFaces && v[1] >= 0.0 && v[1] < 4.0)) return false;
  const auto face = static_cast<uint32_t>(v[0]);
  const auto corner = static_cast<uint32_t>(v[1]);
  if (std::bit_cast<uint64_t>(static_cast<double>(face)) != std::bit_cast<uint64_t>(v[0]) ||
      std::bit_cast<uint64_t>(static_cast<double>(corner)) != std::bit_cast<uint64_t>(v[1]) ||
      std::bit_cast<uint64_t>(v[2]) != 0) {
    return false;
  }
  out = face << 2 | corner;
  return true;
#endif
}

// Writes four packed corners as a UvwRecord's bytes at `out`.
inline void UnpackRecord(const uint32_t (&corner)[4], uint8_t* out) {
#if defined(__SSE2__)
  const __m128i packed = _mm_loadu_si128(reinterpret_cast<const __m128i*>(corner));
  const __m128i faces = _mm_srli_epi32(packed, 2);
  const __m128i corners = _mm_and_si128(packed, _mm_set1_epi32(3));
  const __m128i low = _mm_unpacklo_epi32(faces, corners);   // f0 k0 f1 k1
  const __m128i high = _mm_unpackhi_epi32(faces, corners);  // f2 k2 f3 k3
  const __m128d zero = _mm_setzero_pd();
  auto* d = reinterpret_cast<double*>(out);
  _mm_storeu_pd(d + 0, _mm_cvtepi32_pd(low));
  _mm_storeu_pd(d + 3, _mm_cvtepi32_pd(_mm_srli_si128(low, 8)));
  _mm_storeu_pd(d + 6, _mm_cvtepi32_pd(high));
  _mm_storeu_pd(d + 9, _mm_cvtepi32_pd(_mm_srli_si128(high, 8)));
  _mm_store_sd(d + 2, zero);
  _mm_store_sd(d + 5, zero);
  _mm_store_sd(d + 8, zero);
  _mm_store_sd(d + 11, zero);
#else
  for (int k = 0; k < 4; ++k) {
    const double v[3] = {static_cast<double>(corner[k] >> 2), static_cast<double>(corner[k] & 3u),
                         0.0};
    std::memcpy(out + k * sizeof(Vector3), v, sizeof v);
  }
#endif
}

}  // namespace

UvwTag::UvwTag(int32_t polygons, std::string name)
    : VariableTag(kUvwTagType, ElementKind::Polygon, sizeof(UvwRecord), 0, std::move(name)) {
  UvwTag::SetCount(polygons);
}

inline bool UvwTag::Pack(const void* in, CompactRecord& out) {
  const auto* bytes = static_cast<const uint8_t*>(in);
  return PackCorner(bytes, out.corner[0]) && PackCorner(bytes + 24, out.corner[1]) &&
         PackCorner(bytes + 48, out.corner[2]) && PackCorner(bytes + 72, out.corner[3]);
}

inline void UvwTag::Unpack(const CompactRecord& record, void* out) {
  UnpackRecord(record.corner, static_cast<uint8_t*>(out));
}

void UvwTag::ToBytes() const {
  if (!compact_) return;
  std::vector<uint8_t>& bytes = StoredBytes();
  bytes.resize(records_.size() * sizeof(UvwRecord));
  for (size_t i = 0; i < records_.size(); ++i) Unpack(records_[i], bytes.data() + i * sizeof(UvwRecord));
  records_.clear();
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
  Unpack(records_[static_cast<size_t>(index)], out);
  return true;
}

bool UvwTag::CompactCorners(int32_t index, uint32_t (&corners)[4]) const {
  if (!compact_ || index < 0 || static_cast<size_t>(index) >= records_.size()) return false;
  const CompactRecord record = records_[static_cast<size_t>(index)];
  std::memcpy(corners, record.corner, sizeof corners);
  return true;
}

bool UvwTag::Write(int32_t index, const void* in) {
  if (compact_) {
    if (index < 0 || static_cast<size_t>(index) >= records_.size()) return false;
    CompactRecord packed;
    if (Pack(in, packed)) {
      records_.Writable(static_cast<size_t>(index)) = packed;
      return true;
    }
    ToBytes();
  }
  return VariableTag::Write(index, in);
}

void UvwTag::Append(const UvwRecord& record) {
  if (compact_) {
    CompactRecord packed;
    if (Pack(&record, packed)) {
      records_.push_back(packed);
      return;
    }
    ToBytes();
  }
  const auto* raw = reinterpret_cast<const uint8_t*>(&record);
  StoredBytes().insert(StoredBytes().end(), raw, raw + sizeof record);
}

bool UvwTag::GenerateOrigins(uint32_t face, std::vector<bool> triangle) {
  constexpr uint64_t kCompactFaces = uint64_t{1} << 30;
  if (!compact_ || !records_.empty() || uint64_t{face} + triangle.size() > kCompactFaces ||
      triangle.size() > static_cast<size_t>(INT32_MAX)) {
    return false;
  }
  const size_t count = triangle.size();
  auto rule = std::make_shared<const SharedChunks<CompactRecord>::Rule>(
      [face, triangle = std::move(triangle)](size_t first, size_t records, CompactRecord* out) {
        for (size_t i = 0; i < records; ++i) {
          const uint32_t f = (face + static_cast<uint32_t>(first + i)) << 2;
          out[i] = CompactRecord{{f, f | 1, f | 2, f | (triangle[first + i] ? 2u : 3u)}};
        }
      });
  records_.Generate(count, std::move(rule));
  return true;
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
    records_.clear();
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
