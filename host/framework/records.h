#pragma once
// The host's half of the framework records a module builds and the host reads and fills. The module
// declares its own half; both meet only at these byte offsets, so every one of them is pinned here.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "host/framework/errors.h"

namespace fm::host::records {

// Text plus packed word: (length << 44) | 43-bit multiply-by-31 hash; bit 43 marks owned text.
struct LiteralId {
  const char* text;
  uint64_t packed;
};

constexpr uint64_t kLiteralOwnedBit = uint64_t{1} << 43;
constexpr uint64_t kLiteralHashMask = 0x7FFFFFFFFFFull;

// The packed word the module is expected to have computed for `text`.
constexpr uint64_t PackLiteral(std::string_view text) {
  uint64_t h = 0;
  for (char c : text) h = h * 31 + static_cast<unsigned char>(c);
  return (static_cast<uint64_t>(text.size()) << 44) | (h & kLiteralHashMask);
}

enum EntityType : uint32_t {
  kInvalid = 0,
  kInterface = 1,
  kInterfaceNvMTable = 2,
  kNonvirtualInterface = 3,
  kDeclaration = 4,
  kComponent = 5,
  kClass = 6,
  kTranslationUnit = 7,
  kModule = 8,
  kInitialization = 9,
  kDependency = 10,
  kRegistry = 11,
  kRegistryModule = 12,
  kGlobal = 13,
};

enum EntityFlags : uint64_t {
  kConstructed = 0x1,
  kInitialized = 0x4,
  kRegistrationUnit = 0x100,
  kDefinition = 0x200,
  kFramework = 0x1000,
  kCore = 0x2000,
  kFrameworkRegistration = 0x2000000,
  kPublic = 0x8000000,
  kReferenceMask = 0x70000000,
  kReferenceCopyOnWrite = 0x50000000,
};

struct ModuleRecord;
struct GlobalRecord;

// Common head of every entity record.
struct EntityHead {
  uint32_t type;
  uint32_t padding;
  LiteralId id;
  EntityHead* owner;
  void* reserved;  // the host's; null at construction
  uint64_t flags;
  EntityHead* next;  // next record of the module's entity list (newest first)
  void* unused;
  EntityHead* resolving;  // references: set by the host's binder to the host's record
};

struct TranslationUnitRecord {
  EntityHead head;  // owner is the record itself; id is the source's base name ("??" on Windows)
  ModuleRecord* module;
  int64_t sentinels[3];  // -1, -2, -1
};

struct ModuleRecord {
  EntityHead head;
  EntityHead* entities;  // every record of the module's units, translation units included
  ModuleRecord* previous;
  GlobalRecord* maxon;
  const LiteralId* dependencies;
  int64_t dependencyCount;
};

// Writes the host's function into every slot it resolves and a default into every other slot,
// except slots of kind OTHER, which keep what the filler wrote.
using Binder = void (*)(EntityHead* reference, void** methods, const uint8_t* nullReturnTypes,
                        int64_t count);
// Writes the module's stubs into the OTHER slots, then calls the binder once.
using Filler = void (*)(EntityHead* reference, Binder binder);
// The module's last resort when a reference has no resolving entity: fills the table itself.
using Fallback = void (*)(void** methods);

struct InterfaceReferenceRecord {
  EntityHead head;  // id names the interface
  void** methods;
  void* hostSlot;
  const char* blob;  // `count` NUL-terminated method identifiers, then `count` kind bytes
  int64_t count;
  Filler filler;
  void* null1;
  Fallback fallback;  // may be null
  void* null2;
};

struct DeclarationRecord {
  EntityHead head;
  EntityHead* registry;  // may be null
  void* cached;          // the host stores the resolved object here
};

struct InitializationRecord {
  EntityHead head;
  const char* source;
  ErrorValue (*init)();  // gives an error by value (hidden result slot); null is success
  void (*free)();
};

struct DependencyRecord {
  EntityHead head;  // id names what is depended on
  const char* source;
};

// Resolves `entity` for a requester; writes an error pointer to *errorOut (null on success). For
// late binding the requester is the address of the id inside the interface reference record; for
// a declaration it is the declaration itself.
using Initializer = void (*)(void** errorOut, EntityHead* entity, void* requester);

constexpr int64_t kGlobalRecordVersion = 21014;

struct GlobalRecord {
  int64_t magic;          // 21014
  ModuleRecord* modules;  // newest first
  LiteralId id;
  void* pointer;
  Initializer initializer;  // stored by the host before it binds anything
};

struct AllocationSite {
  const char* file;
  int64_t line;
};

struct SourceLocation {
  const char* file;
  int64_t line;
};

struct ConfigurationEntry {
  const char* name;
  const char* help;
  int32_t category;
  int32_t padding0;
  void* variable;
  int32_t type;  // 0 boolean byte, 1 integer, 2 floating point, 3 and 4 counted values
  int32_t padding1;
  int64_t minimum;  // integer, or a double's bits
  int64_t maximum;  // integer, or a double's bits; types 3 and 4: a further pointer
};

static_assert(sizeof(LiteralId) == 16);
static_assert(sizeof(EntityHead) == 72);
static_assert(offsetof(EntityHead, type) == 0);
static_assert(offsetof(EntityHead, id) == 8);
static_assert(offsetof(EntityHead, owner) == 24);
static_assert(offsetof(EntityHead, reserved) == 32);
static_assert(offsetof(EntityHead, flags) == 40);
static_assert(offsetof(EntityHead, next) == 48);
static_assert(offsetof(EntityHead, unused) == 56);
static_assert(offsetof(EntityHead, resolving) == 64);

static_assert(sizeof(TranslationUnitRecord) == 104);
static_assert(offsetof(TranslationUnitRecord, module) == 72);
static_assert(offsetof(TranslationUnitRecord, sentinels) == 80);

static_assert(sizeof(ModuleRecord) == 112);
static_assert(offsetof(ModuleRecord, entities) == 72);
static_assert(offsetof(ModuleRecord, previous) == 80);
static_assert(offsetof(ModuleRecord, maxon) == 88);
static_assert(offsetof(ModuleRecord, dependencies) == 96);
static_assert(offsetof(ModuleRecord, dependencyCount) == 104);

static_assert(sizeof(InterfaceReferenceRecord) == 136);
static_assert(offsetof(InterfaceReferenceRecord, methods) == 72);
static_assert(offsetof(InterfaceReferenceRecord, hostSlot) == 80);
static_assert(offsetof(InterfaceReferenceRecord, blob) == 88);
static_assert(offsetof(InterfaceReferenceRecord, count) == 96);
static_assert(offsetof(InterfaceReferenceRecord, filler) == 104);
static_assert(offsetof(InterfaceReferenceRecord, null1) == 112);
static_assert(offsetof(InterfaceReferenceRecord, fallback) == 120);
static_assert(offsetof(InterfaceReferenceRecord, null2) == 128);

static_assert(sizeof(DeclarationRecord) == 88);
static_assert(offsetof(DeclarationRecord, registry) == 72);
static_assert(offsetof(DeclarationRecord, cached) == 80);

static_assert(sizeof(InitializationRecord) == 96);
static_assert(offsetof(InitializationRecord, source) == 72);
static_assert(offsetof(InitializationRecord, init) == 80);
static_assert(offsetof(InitializationRecord, free) == 88);

static_assert(sizeof(DependencyRecord) == 80);
static_assert(offsetof(DependencyRecord, source) == 72);

static_assert(sizeof(GlobalRecord) == 48);
static_assert(offsetof(GlobalRecord, magic) == 0);
static_assert(offsetof(GlobalRecord, modules) == 8);
static_assert(offsetof(GlobalRecord, id) == 16);
static_assert(offsetof(GlobalRecord, pointer) == 32);
static_assert(offsetof(GlobalRecord, initializer) == 40);

static_assert(sizeof(AllocationSite) == 16);
static_assert(sizeof(SourceLocation) == 16);

static_assert(sizeof(ConfigurationEntry) == 56);
static_assert(offsetof(ConfigurationEntry, name) == 0);
static_assert(offsetof(ConfigurationEntry, help) == 8);
static_assert(offsetof(ConfigurationEntry, category) == 16);
static_assert(offsetof(ConfigurationEntry, variable) == 24);
static_assert(offsetof(ConfigurationEntry, type) == 32);
static_assert(offsetof(ConfigurationEntry, minimum) == 40);
static_assert(offsetof(ConfigurationEntry, maximum) == 48);

static_assert(PackLiteral("net.maxon.core.framework") == 0x1854B7897C12Bull);
static_assert(PackLiteral("abc") == 0x300000017862ull);
static_assert(PackLiteral("") == 0);

}  // namespace fm::host::records
