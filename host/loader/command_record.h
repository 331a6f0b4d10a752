#pragma once
// A command's registration record as the host keeps it (a copy of the module's bytes), and the
// calls the host makes through it. The host knows nothing of the module's command class: it calls
// each operation through the record's entry for it, exactly as the application does.
//   Windows x64: 384 bytes; entries are 8-byte code addresses the host calls as members of the
//   object under Microsoft's convention: R (*)(void* object, void*, void*), and for operation 7,
//   which gives a string by value, HostString** (*)(void* object, HostString** slot, void*, void*).
//   Itanium: 768 bytes; entries are 16-byte pointers to members, called as (object->*entry)(a, b).
// The release entry at 0x08 is a plain function void (*)(void* object) in both layouts.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace fm::host {

struct HostString;

#ifdef _WIN32
inline constexpr bool kItaniumRecord = false;
#else
inline constexpr bool kItaniumRecord = true;
#endif

inline constexpr int32_t kRecordSize = kItaniumRecord ? 768 : 384;
inline constexpr uint32_t kRecordReleaseOffset = 0x08;
inline constexpr uint32_t kRecordObjectOffset = kItaniumRecord ? 0x80 : 0x40;
inline constexpr uint32_t kRecordEntryWidth = kItaniumRecord ? 16 : 8;

// Entry offset of a command operation slot (1 execute, 4 state, 2, 3, 5, 6, 7, 8); 0 for a slot
// the record has no entry for.
constexpr uint32_t RecordEntryOffset(int slot) {
  constexpr uint32_t windows[9] = {0, 0x90, 0xc0, 0xd0, 0x98, 0xb8, 0xa0, 0xb0, 0xc8};
  constexpr uint32_t itanium[9] = {0, 0x110, 0x170, 0x190, 0x120, 0x160, 0x130, 0x150, 0x180};
  if (slot < 1 || slot > 8) return 0;
  return kItaniumRecord ? itanium[slot] : windows[slot];
}

static_assert(RecordEntryOffset(1) == (kItaniumRecord ? 0x110 : 0x90));
static_assert(RecordEntryOffset(4) == (kItaniumRecord ? 0x120 : 0x98));
static_assert(RecordEntryOffset(3) + kRecordEntryWidth <= static_cast<uint32_t>(kRecordSize));

class CommandRecord {
 public:
  // Null-free construction only through Make: a record of the wrong size or without a command
  // object or release entry is refused with an error.
  static std::optional<CommandRecord> Make(std::vector<uint8_t> bytes, std::string* error);

  void* Object() const;
  // Whether the record has an entry for `slot`.
  bool HasEntry(int slot) const;

  // Each operation takes the document and the parent window. nullopt when the record has no entry
  // for the operation (it is not called then).
  std::optional<bool> Execute(void* document, void* parent = nullptr) const;
  std::optional<int32_t> State(void* document, void* parent = nullptr) const;
  // Operations 2, 3, 5, 6 and 8.
  std::optional<bool> BoolOperation(int slot, void* document, void* parent = nullptr) const;
  // Operation 7: a string carrying one reference for the caller. An entry that leaves no host
  // string in the result slot (one compiled for another order of object and slot leaves the
  // host's slot as it found it) gives null, and `*foreign` (when given) is set; what the slot held
  // is neither read as a string nor released.
  std::optional<HostString*> StringOperation(void* document, void* parent = nullptr,
                                             bool* foreign = nullptr) const;

  // Hands the command object back to the module through the release entry. Only the first call
  // releases; later ones answer false.
  bool Release();

  const std::vector<uint8_t>& Bytes() const { return bytes_; }

 private:
  explicit CommandRecord(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
  const uint8_t* Entry(int slot) const;
  std::vector<uint8_t> bytes_;
  bool released_ = false;
};

}  // namespace fm::host
