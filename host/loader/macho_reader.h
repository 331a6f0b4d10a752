#pragma once
// A cursor over a byte range that never reads past its end: every read says whether it fit.
// Multi-byte values are little-endian, as on x86-64.

#include <cstdint>
#include <cstring>
#include <string>

namespace fm::host::macho {

class ByteReader {
 public:
  ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  size_t Position() const { return position_; }
  size_t Size() const { return size_; }
  bool AtEnd() const { return position_ >= size_; }
  bool Seek(uint64_t position) {
    if (position > size_) return false;
    position_ = static_cast<size_t>(position);
    return true;
  }

  bool U8(uint8_t* value) {
    if (size_ - position_ < 1) return false;
    *value = data_[position_++];
    return true;
  }
  bool U32(uint32_t* value) { return Fixed(value); }
  bool U64(uint64_t* value) { return Fixed(value); }

  // Unsigned LEB128; false when it runs off the end or does not fit 64 bits.
  bool Uleb(uint64_t* value) {
    uint64_t result = 0;
    for (unsigned shift = 0;; shift += 7) {
      uint8_t byte;
      if (!U8(&byte)) return false;
      const uint64_t bits = byte & 0x7f;
      if (shift >= 64 || (shift > 0 && (bits >> (64 - shift)) != 0)) return false;
      result |= bits << shift;
      if ((byte & 0x80) == 0) break;
    }
    *value = result;
    return true;
  }

  // Signed LEB128.
  bool Sleb(int64_t* value) {
    uint64_t result = 0;
    unsigned shift = 0;
    uint8_t byte;
    do {
      if (!U8(&byte) || shift >= 64) return false;
      result |= static_cast<uint64_t>(byte & 0x7f) << shift;
      shift += 7;
    } while (byte & 0x80);
    if (shift < 64 && (byte & 0x40)) result |= ~uint64_t{0} << shift;
    *value = static_cast<int64_t>(result);
    return true;
  }

  // A NUL-terminated string; false when no NUL comes before the end.
  bool CString(std::string* value) {
    const void* end = std::memchr(data_ + position_, 0, size_ - position_);
    if (end == nullptr) return false;
    const size_t length = static_cast<const uint8_t*>(end) - (data_ + position_);
    value->assign(reinterpret_cast<const char*>(data_ + position_), length);
    position_ += length + 1;
    return true;
  }

 private:
  template <typename T>
  bool Fixed(T* value) {
    if (size_ - position_ < sizeof(T)) return false;
    T result = 0;
    for (size_t i = 0; i < sizeof(T); ++i) result |= static_cast<T>(data_[position_ + i]) << (8 * i);
    position_ += sizeof(T);
    *value = result;
    return true;
  }

  const uint8_t* data_;
  size_t size_;
  size_t position_ = 0;
};

// Fixed-size names in load commands (segment and section names) are padded with NULs, and a
// 16-byte name need not end in one.
inline std::string FixedName(const uint8_t* bytes, size_t size) {
  size_t length = 0;
  while (length < size && bytes[length] != 0) ++length;
  return std::string(reinterpret_cast<const char*>(bytes), length);
}

// A name from the file as an error shows it: a hostile file may hold names of any length, and an
// error must stay one short line.
inline std::string Clipped(const std::string& name) {
  constexpr size_t kShown = 120;
  return name.size() <= kShown ? name : name.substr(0, kShown) + "...";
}

}  // namespace fm::host::macho
