#pragma once
// The record a command is registered with. The host copies it during the registration call, so
// it lives only in the registering function's frame. Every byte not named here is zero.
//
// The host calls the command object's operations through the entries. On Windows an entry is a
// module function taking the object and the host's two arguments. On the Itanium layout an entry
// is a 16-byte pointer to a virtual member, {1 + offset in the virtual table, 0}, which the host
// calls as (object->*entry)(a, b); that virtual table holds two destructor entries ahead of slot 1.
// Operation 7 gives a host string by value. On the Itanium layout the host's call of the member
// passes the result slot ahead of the object, as the virtual Operation7 expects. On Windows the
// host calls the entry as a member returning its string class, which Microsoft's compiler does
// with the object first and the result slot second (then the two arguments), giving the slot back.
// mingw-w64's g++ orders a member's slot the other way, so the entry is written out as a plain
// function with the Microsoft order; it calls the member inside the module, so the module's own
// member convention never meets the host's.
//
// The help text is "a pointer to a host string": the address of the caller's holder of it, which
// lives through the registration call.

#include <cstddef>
#include <cstdint>

#include "commanddata.h"
#include "hosttables.h"

namespace fm {

// Frees a registered command object: its virtual destructor, then its memory, through the
// framework. A null object is ignored. The host calls it once, at shut-down.
void ReleaseCommandObject(void* object);

#ifdef _WIN32

struct CommandRegistrationRecord {
  int32_t info;                                      // 0x00: 0
  uint8_t gap0[0x08 - 0x04];
  void (*release)(void* object);                     // 0x08
  uint8_t gap1[0x40 - 0x10];
  CommandData* object;                               // 0x40
  uint8_t gap2[0x80 - 0x48];
  const String* help;                                // 0x80: the caller's holder; the host copies
  void* icon;                                        // 0x88: a bitmap, or null
  bool (*execute)(void* object, void* a, void* b);   // 0x90: slot 1
  int32_t (*state)(void* object, void* a, void* b);  // 0x98: slot 4
  bool (*operation6)(void* object, void* a, void* b);    // 0xa0
  void* none;                                        // 0xa8: always zero
  String* (*operation7)(void* object, String* result, void* a, void* b);  // 0xb0: slot second
  bool (*operation5)(void* object, void* a, void* b);    // 0xb8
  bool (*operation2)(void* object, void* a, void* b);    // 0xc0
  bool (*operation8)(void* object, void* a, void* b);    // 0xc8
  bool (*operation3)(void* object, void* a, void* b);    // 0xd0
  uint8_t tail[384 - 0xd8];
};

static_assert(sizeof(CommandRegistrationRecord) == 384);
static_assert(offsetof(CommandRegistrationRecord, info) == 0x00);
static_assert(offsetof(CommandRegistrationRecord, release) == 0x08);
static_assert(offsetof(CommandRegistrationRecord, object) == 0x40);
static_assert(offsetof(CommandRegistrationRecord, help) == 0x80);
static_assert(offsetof(CommandRegistrationRecord, icon) == 0x88);
static_assert(offsetof(CommandRegistrationRecord, execute) == 0x90);
static_assert(offsetof(CommandRegistrationRecord, state) == 0x98);
static_assert(offsetof(CommandRegistrationRecord, operation6) == 0xa0);
static_assert(offsetof(CommandRegistrationRecord, none) == 0xa8);
static_assert(offsetof(CommandRegistrationRecord, operation7) == 0xb0);
static_assert(offsetof(CommandRegistrationRecord, operation5) == 0xb8);
static_assert(offsetof(CommandRegistrationRecord, operation2) == 0xc0);
static_assert(offsetof(CommandRegistrationRecord, operation8) == 0xc8);
static_assert(offsetof(CommandRegistrationRecord, operation3) == 0xd0);

#else  // Itanium C++ layout

// A pointer to member function as its two words.
struct MemberWords {
  int64_t function;    // 1 + byte offset in the virtual table, for a virtual member
  int64_t adjustment;  // added to the object pointer before the call; 0
};
static_assert(sizeof(MemberWords) == 16);

// The function words of slots 1 to 8 (index 0 unused): 8 bytes per virtual-table entry after the
// two destructor entries, plus the virtual bit.
constexpr int64_t kSlotEntryWord[9] = {0, 17, 25, 33, 41, 49, 57, 65, 73};

struct CommandRegistrationRecord {
  int32_t info;                      // 0x00: 0
  uint8_t gap0[0x08 - 0x04];
  void (*release)(void* object);     // 0x08
  uint64_t releaseTail;              // 0x10: zero
  uint8_t gap1[0x80 - 0x18];
  CommandData* object;               // 0x80
  uint8_t gap2[0x100 - 0x88];
  const String* help;                // 0x100: the caller's holder; the host copies
  void* icon;                        // 0x108: a bitmap, or null
  MemberWords execute;               // 0x110: slot 1
  MemberWords state;                 // 0x120: slot 4
  MemberWords operation6;            // 0x130
  MemberWords none;                  // 0x140: always zero
  MemberWords operation7;            // 0x150
  MemberWords operation5;            // 0x160
  MemberWords operation2;            // 0x170
  MemberWords operation8;            // 0x180
  MemberWords operation3;            // 0x190
  uint8_t tail[768 - 0x1a0];
};

static_assert(sizeof(CommandRegistrationRecord) == 768);
static_assert(offsetof(CommandRegistrationRecord, info) == 0x00);
static_assert(offsetof(CommandRegistrationRecord, release) == 0x08);
static_assert(offsetof(CommandRegistrationRecord, releaseTail) == 0x10);
static_assert(offsetof(CommandRegistrationRecord, object) == 0x80);
static_assert(offsetof(CommandRegistrationRecord, help) == 0x100);
static_assert(offsetof(CommandRegistrationRecord, icon) == 0x108);
static_assert(offsetof(CommandRegistrationRecord, execute) == 0x110);
static_assert(offsetof(CommandRegistrationRecord, state) == 0x120);
static_assert(offsetof(CommandRegistrationRecord, operation6) == 0x130);
static_assert(offsetof(CommandRegistrationRecord, none) == 0x140);
static_assert(offsetof(CommandRegistrationRecord, operation7) == 0x150);
static_assert(offsetof(CommandRegistrationRecord, operation5) == 0x160);
static_assert(offsetof(CommandRegistrationRecord, operation2) == 0x170);
static_assert(offsetof(CommandRegistrationRecord, operation8) == 0x180);
static_assert(offsetof(CommandRegistrationRecord, operation3) == 0x190);

#endif

// Zeroes `record` and fills in the release entry, the object, the help text, the icon and the
// operation entries.
void FillCommandRecord(CommandRegistrationRecord* record, CommandData* object, const String* help,
                       void* icon);

}  // namespace fm
