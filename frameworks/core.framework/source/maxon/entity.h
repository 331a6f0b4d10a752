#pragma once
// Entity records: the declarations the module's static initialisation builds for the host's
// framework. Each record starts with the same 72-byte head; the host walks the module list in
// g_maxon, then each module's entity list, and reads the tail of the types it knows.
//
// Records are plain static data (zero until constructed), built by the Construct* functions
// from tiny static initialisers. Composition instead of inheritance keeps every record
// standard-layout, so the offsets below are checked with offsetof.

#include <cstddef>
#include <cstdint>

#include "maxon/literalid.h"

namespace maxon {

struct GlobalRecord;

struct EntityBase {
  enum class TYPE : uint32_t {
    INVALID_0 = 0,
    INTERFACE = 1,
    INTERFACE_NVMTABLE = 2,
    NONVIRTUAL_INTERFACE = 3,
    DECLARATION = 4,
    COMPONENT = 5,
    CLASS = 6,
    TRANSLATION_UNIT = 7,
    MODULE = 8,
    INITIALIZATION = 9,
    DEPENDENCY = 10,
    REGISTRY = 11,
    REGISTRY_MODULE = 12,
    GLOBAL = 13,
    COUNT = 14,
  };

  // Bit n is 1 << n in enumerator order; bits 28..30 hold an interface's reference kind.
  struct FLAGS {
    static constexpr uint64_t NONE = 0;
    static constexpr uint64_t CONSTRUCTED = 0x1;
    static constexpr uint64_t DISABLED = 0x2;
    static constexpr uint64_t INITIALIZED = 0x4;
    static constexpr uint64_t INITIALIZING = 0x8;
    static constexpr uint64_t INITIALIZATION_FAILED = 0x10;
    static constexpr uint64_t NULL_AS_DEFAULT = 0x20;
    static constexpr uint64_t USED = 0x40;
    static constexpr uint64_t HIDDEN = 0x80;
    static constexpr uint64_t REGISTRATION_UNIT = 0x100;
    static constexpr uint64_t DEFINITION = 0x200;
    static constexpr uint64_t SINGLE_BASE = 0x400;
    static constexpr uint64_t FRAMEWORK = 0x1000;
    static constexpr uint64_t CORE = 0x2000;
    static constexpr uint64_t PROXY = 0x4000;
    static constexpr uint64_t CLASS_PROXY = 0x8000;
    static constexpr uint64_t CALLABLE = 0x80000;
    static constexpr uint64_t IMPLEMENTABLE = 0x100000;
    static constexpr uint64_t ADAPTER = 0x200000;
    static constexpr uint64_t LIVE = 0x800000;
    static constexpr uint64_t FRAMEWORK_REGISTRATION = 0x2000000;
    static constexpr uint64_t PUBLIC = 0x8000000;
    static constexpr uint64_t REFERENCE_NONE = 0;
    static constexpr uint64_t REFERENCE_POINTER = 0x10000000;
    static constexpr uint64_t REFERENCE_CONST_POINTER = 0x20000000;
    static constexpr uint64_t REFERENCE_NORMAL = 0x30000000;
    static constexpr uint64_t REFERENCE_CONST = 0x40000000;
    static constexpr uint64_t REFERENCE_COPY_ON_WRITE = 0x50000000;
    static constexpr uint64_t REFERENCE_ALWAYS_COPY_ON_WRITE = 0x60000000;
    static constexpr uint64_t REFERENCE_MASK = 0x70000000;
    // States only the host may set: a record asking for them at construction is malformed.
    static constexpr uint64_t HOST_STATE_MASK =
        DISABLED | INITIALIZED | INITIALIZING | INITIALIZATION_FAILED | USED | CALLABLE |
        IMPLEMENTABLE | LIVE;
  };

  TYPE type;                  // 0
  uint32_t padding;           // 4
  LiteralId id;               // 8
  EntityBase* owner;          // 24: the unit or registry this record belongs to; a unit owns itself
  void* hostReserved;         // 32: the host's; null at construction
  uint64_t flags;             // 40
  EntityBase* next;           // 48: next record of the module's entity list (newest first)
  void* reserved;             // 56: null at construction
  EntityBase* resolving;      // 64: references: the host record that resolves them, set by the binder
};

static_assert(EntityBase::FLAGS::HOST_STATE_MASK == 0x98005E);
static_assert(sizeof(EntityBase) == 72);
static_assert(offsetof(EntityBase, type) == 0);
static_assert(offsetof(EntityBase, id) == 8);
static_assert(offsetof(EntityBase, owner) == 24);
static_assert(offsetof(EntityBase, hostReserved) == 32);
static_assert(offsetof(EntityBase, flags) == 40);
static_assert(offsetof(EntityBase, next) == 48);
static_assert(offsetof(EntityBase, reserved) == 56);
static_assert(offsetof(EntityBase, resolving) == 64);

struct ModuleRecord;

struct TranslationUnitRecord {
  EntityBase head;
  ModuleRecord* module;       // 72
  int64_t sentinels[3];       // 80, 88, 96: -1, -2, -1
};
static_assert(sizeof(TranslationUnitRecord) == 104);
static_assert(offsetof(TranslationUnitRecord, module) == 72);
static_assert(offsetof(TranslationUnitRecord, sentinels) == 80);

struct ModuleRecord {
  EntityBase head;
  EntityBase* entities;       // 72: head of the entity list, newest first
  ModuleRecord* previous;     // 80: the module registered before this one
  GlobalRecord* maxon;         // 88: &g_maxon
  const LiteralId* dependencies;  // 96
  int64_t dependencyCount;    // 104
};
static_assert(sizeof(ModuleRecord) == 112);
static_assert(offsetof(ModuleRecord, entities) == 72);
static_assert(offsetof(ModuleRecord, previous) == 80);
static_assert(offsetof(ModuleRecord, maxon) == 88);
static_assert(offsetof(ModuleRecord, dependencies) == 96);
static_assert(offsetof(ModuleRecord, dependencyCount) == 104);

// The host calls the filler with its binder; the filler writes the interface's own stubs into
// the slots of kind OTHER and then hands the table to the binder.
using Binder = void (*)(EntityBase* reference, void** methods, const uint8_t* nullReturnTypes,
                        int64_t count);
using Filler = void (*)(EntityBase* reference, Binder binder);
// Last resort of late resolution: may fill the table itself (module-side implementations).
using Fallback = void (*)(void** methods);

struct InterfaceReferenceRecord {
  EntityBase head;
  void** methods;             // 72: one slot per method, in blob order
  void* hostSlot;             // 80: the host's
  const char* methodNames;    // 88: NUL-terminated identifiers back to back, then one kind byte each
  int64_t methodCount;        // 96
  Filler filler;              // 104
  void* reserved1;            // 112
  Fallback fallback;          // 120: may be null
  void* reserved2;            // 128
};
static_assert(sizeof(InterfaceReferenceRecord) == 136);
static_assert(offsetof(InterfaceReferenceRecord, methods) == 72);
static_assert(offsetof(InterfaceReferenceRecord, hostSlot) == 80);
static_assert(offsetof(InterfaceReferenceRecord, methodNames) == 88);
static_assert(offsetof(InterfaceReferenceRecord, methodCount) == 96);
static_assert(offsetof(InterfaceReferenceRecord, filler) == 104);
static_assert(offsetof(InterfaceReferenceRecord, reserved1) == 112);
static_assert(offsetof(InterfaceReferenceRecord, fallback) == 120);
static_assert(offsetof(InterfaceReferenceRecord, reserved2) == 128);

// A framework object the module refers to by id (error objects, the 8-bit decoding); the host's
// initialiser stores the object into `cached`.
struct DeclarationRecord {
  EntityBase head;
  EntityBase* registry;       // 72: may be null
  void* cached;               // 80: null until resolved
};
static_assert(sizeof(DeclarationRecord) == 88);
static_assert(offsetof(DeclarationRecord, registry) == 72);
static_assert(offsetof(DeclarationRecord, cached) == 80);

// Hooks the host runs after binding (init, in registration order) and at shut-down (free, newest
// first). `init` gives an error by value, through the caller's result slot; null is success.
class ErrorRef;
using InitializationInit = ErrorRef (*)();
using InitializationFree = void (*)();

struct InitializationRecord {
  EntityBase head;
  const char* sourceName;     // 72: base name of the unit's source
  InitializationInit init;    // 80
  InitializationFree free;    // 88
};
static_assert(sizeof(InitializationRecord) == 96);
static_assert(offsetof(InitializationRecord, sourceName) == 72);
static_assert(offsetof(InitializationRecord, init) == 80);
static_assert(offsetof(InitializationRecord, free) == 88);

// The head's id names what the unit depends on ("configuration").
struct DependencyRecord {
  EntityBase head;
  const char* sourceName;     // 72
};
static_assert(sizeof(DependencyRecord) == 80);
static_assert(offsetof(DependencyRecord, sourceName) == 72);

// Declaration of a virtual interface. With SINGLE_BASE `bases` is the one base record; otherwise
// it points to a null-terminated array of base records (or is null: no bases).
struct InterfaceDeclarationRecord {
  EntityBase head;
  uint64_t marker;            // 72: 0x8000000000000000
  void* reserved1;            // 80
  const void* bases;          // 88
  const char* methodNames;    // 96: the first method identifier
  LiteralId interfaceId;      // 104: the id once more
  const char* declaredName;   // 120: e.g. "maxon.WeakDecoratorInterface"
  int64_t zero;               // 128
  int64_t minusOne;           // 136
};
static_assert(sizeof(InterfaceDeclarationRecord) == 144);
static_assert(offsetof(InterfaceDeclarationRecord, marker) == 72);
static_assert(offsetof(InterfaceDeclarationRecord, bases) == 88);
static_assert(offsetof(InterfaceDeclarationRecord, methodNames) == 96);
static_assert(offsetof(InterfaceDeclarationRecord, interfaceId) == 104);
static_assert(offsetof(InterfaceDeclarationRecord, declaredName) == 120);
static_assert(offsetof(InterfaceDeclarationRecord, zero) == 128);
static_assert(offsetof(InterfaceDeclarationRecord, minusOne) == 136);

// Base name of a source path: after the last '/', failing that after the last '\', else all.
const char* SourceBaseName(const char* path);

// Static registration. Each builds its record, links it at the front of its module's entity list
// and returns the record; a record that fails the construction checks (a programming error in the
// module's own static data) is reported, traps in a debug build, and is left unconstructed and
// unlinked, and the function returns null.
TranslationUnitRecord* ConstructTranslationUnit(TranslationUnitRecord& record, ModuleRecord& module,
                                                const char* sourceFile, uint64_t flags);
ModuleRecord* ConstructModule(ModuleRecord& record, const char* moduleId, EntityBase* owner,
                              uint64_t flags);
InterfaceReferenceRecord* ConstructInterfaceReference(InterfaceReferenceRecord& record,
                                                      const char* interfaceId, void** methods,
                                                      void* hostSlot, const char* methodNames,
                                                      int64_t methodCount, Filler filler,
                                                      Fallback fallback, EntityBase* owner,
                                                      uint64_t flags);
InterfaceDeclarationRecord* ConstructInterfaceDeclaration(InterfaceDeclarationRecord& record,
                                                          const char* interfaceId,
                                                          const char* declaredName,
                                                          const void* bases,
                                                          const char* methodNames,
                                                          EntityBase* owner, uint64_t flags);
DeclarationRecord* ConstructDeclaration(DeclarationRecord& record, const char* declarationId,
                                        EntityBase* registry, EntityBase* owner, uint64_t flags);
InitializationRecord* ConstructInitialization(InitializationRecord& record,
                                              const char* sourceFile, InitializationInit init,
                                              InitializationFree free, EntityBase* owner);
DependencyRecord* ConstructDependency(DependencyRecord& record, EntityBase::TYPE type,
                                      const char* dependencyId, EntityBase* owner,
                                      const char* sourceFile, uint64_t flags);

// Sets the module's dependency list. The list is set once; a second call is a programming error
// that is reported, breaks into an attached debugger, and leaves the first list in place.
bool SetModuleDependencies(ModuleRecord& module, const LiteralId* dependencies, int64_t count);

// Whether `record` names `asked` among its bases, recursively.
bool InterfaceHasBase(const InterfaceDeclarationRecord& record,
                      const InterfaceDeclarationRecord& asked);

// Views of a record through its head (every record type starts with it).
template <typename Record>
inline EntityBase* Head(Record& record) { return &record.head; }

}  // namespace maxon
