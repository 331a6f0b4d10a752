#include "host/loader/command_record.h"

#include <cstring>

#include "host/abi/host_abi.h"
#include "host/framework/strings.h"

namespace fm::host {
namespace {

uint64_t Word(const std::vector<uint8_t>& bytes, uint32_t offset) {
  uint64_t word;
  std::memcpy(&word, bytes.data() + offset, sizeof word);
  return word;
}

// Every operation entry is called by the boundary (host/abi), as a member of the host's command
// class under the host's C++ ABI: on the Itanium layout a 16-byte pointer to a virtual member, the
// result slot of operation 7 ahead of the object; on Windows a code address called with
// Microsoft's convention, the object first and operation 7's result slot second.

}  // namespace

std::optional<CommandRecord> CommandRecord::Make(std::vector<uint8_t> bytes, std::string* error) {
  if (bytes.size() != static_cast<size_t>(kRecordSize)) {
    *error = "the registration record has " + std::to_string(bytes.size()) + " bytes instead of " +
             std::to_string(kRecordSize);
    return std::nullopt;
  }
  if (Word(bytes, kRecordObjectOffset) == 0) {
    *error = "the registration record holds no command object";
    return std::nullopt;
  }
  if (Word(bytes, kRecordReleaseOffset) == 0) {
    *error = "the registration record has no release entry";
    return std::nullopt;
  }
  return CommandRecord(std::move(bytes));
}

void* CommandRecord::Object() const {
  return reinterpret_cast<void*>(Word(bytes_, kRecordObjectOffset));
}

const uint8_t* CommandRecord::Entry(int slot) const {
  const uint32_t offset = RecordEntryOffset(slot);
  if (offset == 0 || released_) return nullptr;
  const uint8_t* entry = bytes_.data() + offset;
  for (uint32_t i = 0; i < kRecordEntryWidth; ++i)
    if (entry[i] != 0) return entry;
  return nullptr;
}

bool CommandRecord::HasEntry(int slot) const { return Entry(slot) != nullptr; }

std::optional<bool> CommandRecord::Execute(void* document, void* parent) const {
  const uint8_t* entry = Entry(1);
  if (entry == nullptr) return std::nullopt;
  return fm_abi_call_bool_operation(entry, Object(), document, parent);
}

std::optional<int32_t> CommandRecord::State(void* document, void* parent) const {
  const uint8_t* entry = Entry(4);
  if (entry == nullptr) return std::nullopt;
  return fm_abi_call_int_operation(entry, Object(), document, parent);
}

std::optional<bool> CommandRecord::BoolOperation(int slot, void* document, void* parent) const {
  if (slot != 2 && slot != 3 && slot != 5 && slot != 6 && slot != 8) return std::nullopt;
  const uint8_t* entry = Entry(slot);
  if (entry == nullptr) return std::nullopt;
  return fm_abi_call_bool_operation(entry, Object(), document, parent);
}

std::optional<HostString*> CommandRecord::StringOperation(void* document, void* parent,
                                                          bool* foreign) const {
  const uint8_t* entry = Entry(7);
  if (entry == nullptr) return std::nullopt;
  auto* string =
      static_cast<HostString*>(fm_abi_call_string_operation(entry, Object(), document, parent));
  const bool unknown = string != nullptr && !IsHostString(string);
  if (foreign != nullptr) *foreign = unknown;
  return unknown ? nullptr : string;
}

bool CommandRecord::Release() {
  if (released_) return false;
  released_ = true;
  using ReleaseFunction = void (*)(void*);
  ReleaseFunction release;
  std::memcpy(&release, bytes_.data() + kRecordReleaseOffset, sizeof release);
  release(Object());
  return true;
}

}  // namespace fm::host
