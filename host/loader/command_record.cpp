#include "host/loader/command_record.h"

#include <cstring>

#include "host/framework/strings.h"

namespace fm::host {
namespace {

uint64_t Word(const std::vector<uint8_t>& bytes, uint32_t offset) {
  uint64_t word;
  std::memcpy(&word, bytes.data() + offset, sizeof word);
  return word;
}

// Operation 7 gives the host's string class by value, which the entry receives as a member
// returning a class. On the Itanium layout the compiler passes that result slot ahead of the
// object for the member call. A host built by Microsoft's compiler calls the Windows entry with
// the object first, the result slot second, then the two arguments, and gets the slot back; mingw's
// g++ would order a member's slot the other way, so the Windows call is spelt out.

#ifdef _WIN32

template <typename R>
R Call(const uint8_t* entry, void* object, void* a, void* b) {
  using Function = R (*)(void*, void*, void*);
  Function function;
  std::memcpy(&function, entry, sizeof function);
  return function(object, a, b);
}

StringValue CallStringOperation(const uint8_t* entry, void* object, void* a, void* b) {
  using Function = HostString** (*)(void* object, HostString** result, void* a, void* b);
  Function function;
  std::memcpy(&function, entry, sizeof function);
  HostString* result = nullptr;
  function(object, &result, a, b);
  return StringValue(result);
}

#else

// The host's stand-in for the module's command class: the entries are pointers to its virtual
// members, and the object is called through them without the host knowing the class.
class AnyCommand {};

template <typename R>
R Call(const uint8_t* entry, void* object, void* a, void* b) {
  using Member = R (AnyCommand::*)(void*, void*);
  static_assert(sizeof(Member) == 16, "an Itanium pointer to member is a function word and an adjustment");
  Member member;
  std::memcpy(&member, entry, sizeof member);
  return (static_cast<AnyCommand*>(object)->*member)(a, b);
}

StringValue CallStringOperation(const uint8_t* entry, void* object, void* a, void* b) {
  return Call<StringValue>(entry, object, a, b);
}

#endif

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
  return Call<bool>(entry, Object(), document, parent);
}

std::optional<int32_t> CommandRecord::State(void* document, void* parent) const {
  const uint8_t* entry = Entry(4);
  if (entry == nullptr) return std::nullopt;
  return Call<int32_t>(entry, Object(), document, parent);
}

std::optional<bool> CommandRecord::BoolOperation(int slot, void* document, void* parent) const {
  if (slot != 2 && slot != 3 && slot != 5 && slot != 6 && slot != 8) return std::nullopt;
  const uint8_t* entry = Entry(slot);
  if (entry == nullptr) return std::nullopt;
  return Call<bool>(entry, Object(), document, parent);
}

std::optional<HostString*> CommandRecord::StringOperation(void* document, void* parent) const {
  const uint8_t* entry = Entry(7);
  if (entry == nullptr) return std::nullopt;
  return CallStringOperation(entry, Object(), document, parent).Take();
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
