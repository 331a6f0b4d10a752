#pragma once
// The record of host function tables the host hands over with the first entry-point message, and
// the tables the module reads. Everything here is the host's: the module never copies, changes or
// frees a table, and reads nothing a table does not declare.
//
// Two binary layouts come from this one declaration. On Windows every entry is an 8-byte plain
// function taking the host object first. On the Itanium C++ layout an entry that is a member
// function of a host class is a 16-byte pointer to member (function word, this-adjustment) and is
// called as a member of its first argument; every entry after it lies further on. Only the entries
// the module uses are named; the gaps stand for the host's other entries.

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "maxon/hoststring.h"
#include "uvwrecord.h"

namespace fm {

// A host string: the host's reference-counted string object.
using String = maxon::StringObject*;

// How a host string crosses the boundary. The host's string class is one word holding a String,
// with a copy that takes a reference and a destructor that drops one. A C++ host declares its
// entries with that class by const reference (by value would copy, and a forward copies nothing),
// and both layouts pass a class argument as the address of a word holding it. So an entry taking
// a host string takes `const String&`: the address of the caller's holder, which keeps its
// reference. "A pointer to a host string" (the shared empty string, a resource text, a record's
// help text) is likewise the address of such a holder, `const String*`.

// A path: one pointer-sized storage word holding a host string whose text is the path (null for
// the empty path). Only the path entries set, copy and destroy it.
using PathWord = void*;

// What an entry gives "by value". The host's string and path classes have a copy and a destructor,
// so no C++ compiler returns them in a register: the caller passes the address of uninitialised
// storage (the hidden result slot) and the callee constructs the result there. These classes are
// declared the same way, one word each and not trivially copyable, so that the compiler of each
// layout puts that slot where the host's own compiler does, for plain functions and members alike.
// They hold what they get until destroyed or handed on with Release.

// A string carrying one reference.
class StringValue {
 public:
  explicit StringValue(String adopted = nullptr) : string_(adopted) {}
  StringValue(const StringValue& other) : string_(other.string_) {
    maxon::StringAddReference(string_);
  }
  StringValue& operator=(const StringValue&) = delete;
  ~StringValue() { maxon::StringRelease(string_); }

  String Get() const { return string_; }
  // Hands the reference to the caller; the value is null afterwards.
  String Release() {
    String string = string_;
    string_ = nullptr;
    return string;
  }

 private:
  String string_;
};

// A path word of its own, freed with PathFree when the value is destroyed (see forwards.h).
class PathValue {
 public:
  explicit PathValue(PathWord adopted = nullptr) : word_(adopted) {}
  PathValue(const PathValue&) = delete;
  PathValue& operator=(const PathValue&) = delete;
  ~PathValue();

  PathWord* Word() { return &word_; }

 private:
  PathWord word_;
};

static_assert(sizeof(StringValue) == sizeof(String) && sizeof(PathValue) == sizeof(PathWord));
static_assert(!std::is_trivially_copyable_v<StringValue> && !std::is_trivially_copyable_v<PathValue>,
              "returned through a hidden result slot, as the host's classes are");

// A tagged value: a type and a payload. Type 19 carries a 64-bit float.
struct TaggedValue {
  int32_t type;
  int32_t reserved;
  double real;
};
static_assert(sizeof(TaggedValue) == 16 && offsetof(TaggedValue, real) == 8);

constexpr int32_t kTaggedReal = 19;

// The class that member entries of the Itanium layout are called on. The module never looks into
// host objects; it only needs a class type for the pointer-to-member call.
class HostObject {};

#ifdef _WIN32
template <typename R, typename... A>
using MemberEntry = R (*)(void* self, A...);
#else
template <typename R, typename... A>
using MemberEntry = R (HostObject::*)(A...);
#endif

// Calls a member entry on `self` in the layout being built.
template <typename R, typename... A, typename... P>
inline R CallMember(MemberEntry<R, A...> entry, void* self, P... args) {
#ifdef _WIN32
  return entry(self, args...);
#else
  return (static_cast<HostObject*>(self)->*entry)(args...);
#endif
}

// Byte offset of an entry in the layout being built.
#ifdef _WIN32
#define FM_AT(windows, itanium) (windows)
#else
#define FM_AT(windows, itanium) (itanium)
#endif

// Width of a member entry in the layout being built.
constexpr std::size_t kMemberWidth = sizeof(MemberEntry<void>);

struct GeneralTable {
  // One console line per call. `text` stays the caller's.
  void (*PrintLine)(const String& text);
  uint8_t gap0[0x40 - 0x08];
  // The host's start-up directory, by value.
  PathValue (*GetHostStartupDirectory)();
  uint8_t gap1[0x78 - 0x48];
  // Modal message; the answer is not used. `text` stays the caller's.
  void (*ShowMessageBox)(const String& text, int32_t style);
  uint8_t gap2[0xa0 - 0x80];
  // 3 while the command runs, 2 afterwards.
  void (*SetHostUiState)(int32_t state);
  uint8_t gap3[0xc0 - 0xa8];
  // Clears status text and progress.
  void (*StatusReset)();
  uint8_t gap4[0xd0 - 0xc8];
  // Progress 0 to 100.
  void (*StatusSetProgress)(int32_t percent);
  // Status text; `text` stays the caller's.
  void (*StatusShowText)(const String& text);
  uint8_t gap5[0x158 - 0xe0];
  // Registers a plug-in. The host copies the record; false when it refuses.
  bool (*PluginRegister)(int32_t api, int32_t kind, int32_t id, const String& name, void* record,
                         int32_t size);
  uint8_t gap6[FM_AT(0x270, 0x290) - 0x160];
  // With 0 the changed document is shown again.
  void (*RequestHostUpdate)(int32_t flags);
};

struct StringTable {
  // Data, not a function: the address of the host's holder of its shared empty string. Never
  // released by the module.
  const String* empty;
  uint8_t gap0[FM_AT(0x40, 0x58) - 0x08];
  // Member of the destination string, called on the caller's holder of it: inserts src[start, end)
  // at `pos`; start and end -1 insert the whole source. The host may make the destination
  // writable by replacing the string in the holder, so the caller reads its holder afterwards.
  MemberEntry<void, int32_t, const String&, int32_t, int32_t> StringInsert;
};

struct BitmapTable {
  // A new, empty bitmap, or null when refused. Freed with BitmapFree.
  void* (*BitmapAlloc)();
  // Frees a bitmap of BitmapAlloc.
  void (*BitmapFree)(void* bitmap);
  uint8_t gap0[0x38 - 0x10];
  // Loads frame `frame` (-1: the default) of the image file at `path`; 1 when loaded.
  int32_t (*BitmapLoadFile)(void* bitmap, PathWord* path, int32_t frame, bool* flag);
  uint8_t gap1[FM_AT(0x180, 0x188) - 0x40];
  // Sets property `id` from a tagged value the caller keeps (100: pixel ratio, type 19).
  void (*BitmapSetProperty)(void* bitmap, int32_t id, const TaggedValue* value);
};

struct PathTable {
  uint8_t gap0[FM_AT(0x30, 0x38)];
  // The path's text, by value.
  StringValue (*PathToString)(PathWord* path);
  // Replaces the path by the text of `text`; `text` stays the caller's.
  void (*PathAssignString)(PathWord* path, const String& text);
  // The path without its last component, by value.
  PathValue (*PathDirectory)(PathWord* path);
  // The last component alone, by value.
  PathValue (*PathFilePart)(PathWord* path);
  uint8_t gap1[0x28];
  bool (*PathEquals)(PathWord* a, PathWord* b);
  // Appends `component` to `path` in place.
  void (*PathAppend)(PathWord* path, PathWord* component);
  // Makes the storage an empty path.
  void (*PathInit)(PathWord* storage);
  // Destroys the path; the host may or may not null the word.
  void (*PathFree)(PathWord* path);
  // Source first: `dst` becomes a copy of `src`.
  void (*PathCopy)(PathWord* src, PathWord* dst);
  uint8_t gap2[0x28];
  // Replaces the path by 8-bit text.
  void (*PathAssignText)(PathWord* path, const char* text);
  // Removes the file-name suffix in place.
  void (*PathStripSuffix)(PathWord* path);
};

struct ResourceTable {
  // The resource set read from `directory`, or null when it does not load. Freed with ResourceFree.
  void* (*ResourceLoad)(PathWord* directory);
  uint8_t gap0[0x10 - 0x08];
  // The holder of the text of string `id`, owned by the set: never released by the caller. Null
  // when the set has no such string.
  const String* (*ResourceGetString)(void* set, int32_t id);
  uint8_t gap1[0x30 - 0x18];
  void (*ResourceFree)(void* set, uint8_t flag);
};

struct TagTable {
  uint8_t gap0[0x20];
  // The selection stored in a polygon-selection tag (host-owned).
  void* (*TagGetSelection)(void* tag);
  uint8_t gap1[0x50 - 0x28];
  // The data handle of a UVW tag (host-owned), or null.
  void* (*TagGetDataHandle)(void* tag);
  // Copies the UVW record of polygon `index` into `out`.
  void (*UvwGet)(void* handle, int32_t index, UvwRecord* out);
  // Stores `record` as the UVW record of polygon `index`.
  void (*UvwSet)(void* handle, int32_t index, const UvwRecord* record);
};

struct ObjectTable {
  uint8_t gap0[FM_AT(0x120, 0x208)];
  // First tag of the object, or null.
  void* (*ObjectFirstTag)(void* object);
  // The index-th tag of a type, or null.
  void* (*ObjectFindTag)(void* object, int32_t type, int32_t index);
  // The writable element array of a data type (5604: polygons), or null. Valid until the object
  // is resized.
  void* (*ObjectTagDataWritable)(void* object, int32_t type, int32_t zero);
  // Element count of a data type (5600 points, 5604 polygons).
  int32_t (*ObjectTagDataCount)(void* object, int32_t type);
  uint8_t gap1[0xc0];
  // The object's polygon selection (host-owned), or null.
  void* (*ObjectPolygonSelection)(void* object);
  uint8_t gap2[0x08];
  // New point and polygon counts, keeping the first records; false when refused.
  bool (*ObjectResize)(void* object, int32_t points, int32_t polygons);
};

struct DocumentTable {
  uint8_t gap0[0x98];
  // Opens an undo group.
  void (*UndoStart)(void* document);
  // Closes the undo group.
  void (*UndoEnd)(void* document);
  uint8_t gap1[FM_AT(0x118, 0x120) - 0xa8];
  // Member of the document: appends its selected objects to `array`.
  MemberEntry<void, void*, int32_t> CollectSelectedObjects;
  uint8_t gap2[FM_AT(0x310, 0x3b0) - FM_AT(0x120, 0x130)];
  // Records `node` in the open undo group (kind 40: its state before it changes).
  void (*UndoAdd)(void* document, int32_t kind, void* node, void* zero);
};

struct SelectionTable {
  uint8_t gap0[0x10];
  int32_t (*SelectionCount)(void* selection);
  uint8_t gap1[0x20 - 0x18];
  void (*SelectionSelect)(void* selection, int32_t index);
  void (*SelectionDeselect)(void* selection, int32_t index);
  uint8_t gap2[0x48 - 0x30];
  // False beyond the stored range.
  bool (*SelectionIsSelected)(void* selection, int32_t index);
};

struct ValueTable {
  // Releases what a tagged value holds; the record itself stays the caller's.
  void (*ValueFree)(TaggedValue* value);
};

struct NodeTable {
  uint8_t gap0[FM_AT(0x10, 0x20)];
  // Member of the node: its type id (5100 polygon object, 5673 polygon-selection tag, ...).
  MemberEntry<int32_t> NodeGetType;
  uint8_t gap1[FM_AT(0x20, 0x40) - FM_AT(0x18, 0x30)];
  // Member of the node: sends message `id` (5: geometry changed).
  MemberEntry<void, int32_t, void*> NodeMessage;
  uint8_t gap2[FM_AT(0x50, 0xa0) - FM_AT(0x28, 0x50)];
  // Member of the node: next sibling (objects) or next tag (tags), or null.
  MemberEntry<void*> NodeNext;
  uint8_t gap3[FM_AT(0x68, 0xd0) - FM_AT(0x58, 0xb0)];
  // Member of the node: first child, or null.
  MemberEntry<void*> NodeDown;
  uint8_t gap4[FM_AT(0xf0, 0x1e0) - FM_AT(0x70, 0xe0)];
  // Member of the node giving its name by value. Microsoft's compiler passes a member's result
  // slot after the object, so on Windows the entry is a plain function taking (node, slot) that
  // writes a new reference into the slot as raw storage and gives the slot back. On the Itanium
  // layout the slot comes before the object, which the compiler arranges from the return type.
#ifdef _WIN32
  String* (*NodeGetName)(void* node, String* result);
#else
  MemberEntry<StringValue> NodeGetName;
#endif
  uint8_t gap5[FM_AT(0x110, 0x220) - FM_AT(0xf8, 0x1f0)];
  // A new, empty node array owned by the caller, or null when refused.
  void* (*NodeArrayAlloc)();
  // Frees the array held by `*array` and nulls the variable.
  void (*NodeArrayFree)(void** array);
  // Member of the array: number of entries.
  MemberEntry<int32_t> NodeArrayCount;
  // Member of the array: entry `index`, or null.
  MemberEntry<void*, int32_t> NodeArrayGet;
};

// The record itself: the host's API version, then 34 table pointers at 0x08 + 8 * k. Positions
// the module never reads are reserved.
struct HostTables {
  int32_t version;
  int32_t reserved0;
  const GeneralTable* general;       // 0x08
  const void* reserved1[3];          // 0x10 .. 0x20
  const StringTable* string;         // 0x28
  const BitmapTable* bitmap;         // 0x30
  const void* reserved2[2];          // 0x38 .. 0x40
  const PathTable* path;             // 0x48
  const void* reserved3[5];          // 0x50 .. 0x70
  const ResourceTable* resource;     // 0x78
  const void* reserved4[1];          // 0x80
  const TagTable* tag;               // 0x88
  const ObjectTable* object;         // 0x90
  const DocumentTable* document;     // 0x98
  const void* reserved5[3];          // 0xa0 .. 0xb0
  const SelectionTable* selection;   // 0xb8
  const void* reserved6[9];          // 0xc0 .. 0x100
  const ValueTable* value;           // 0x108
  const NodeTable* node;             // 0x110
};

#undef FM_AT

// ---------------------------------------------------------------------------------------------
// Every position and entry offset, pinned for the layout being built.

static_assert(sizeof(HostTables) == 0x118, "34 table pointers after the version");
static_assert(offsetof(HostTables, version) == 0x00);
static_assert(offsetof(HostTables, general) == 0x08);
static_assert(offsetof(HostTables, string) == 0x28);
static_assert(offsetof(HostTables, bitmap) == 0x30);
static_assert(offsetof(HostTables, path) == 0x48);
static_assert(offsetof(HostTables, resource) == 0x78);
static_assert(offsetof(HostTables, tag) == 0x88);
static_assert(offsetof(HostTables, object) == 0x90);
static_assert(offsetof(HostTables, document) == 0x98);
static_assert(offsetof(HostTables, selection) == 0xb8);
static_assert(offsetof(HostTables, value) == 0x108);
static_assert(offsetof(HostTables, node) == 0x110);

#ifdef _WIN32

static_assert(kMemberWidth == 8, "Windows entries are plain functions");

static_assert(offsetof(GeneralTable, PrintLine) == 0x00);
static_assert(offsetof(GeneralTable, GetHostStartupDirectory) == 0x40);
static_assert(offsetof(GeneralTable, ShowMessageBox) == 0x78);
static_assert(offsetof(GeneralTable, SetHostUiState) == 0xa0);
static_assert(offsetof(GeneralTable, StatusReset) == 0xc0);
static_assert(offsetof(GeneralTable, StatusSetProgress) == 0xd0);
static_assert(offsetof(GeneralTable, StatusShowText) == 0xd8);
static_assert(offsetof(GeneralTable, PluginRegister) == 0x158);
static_assert(offsetof(GeneralTable, RequestHostUpdate) == 0x270);

static_assert(offsetof(StringTable, empty) == 0x00);
static_assert(offsetof(StringTable, StringInsert) == 0x40);

static_assert(offsetof(BitmapTable, BitmapAlloc) == 0x00);
static_assert(offsetof(BitmapTable, BitmapFree) == 0x08);
static_assert(offsetof(BitmapTable, BitmapLoadFile) == 0x38);
static_assert(offsetof(BitmapTable, BitmapSetProperty) == 0x180);

static_assert(offsetof(PathTable, PathToString) == 0x30);
static_assert(offsetof(PathTable, PathAssignString) == 0x38);
static_assert(offsetof(PathTable, PathDirectory) == 0x40);
static_assert(offsetof(PathTable, PathFilePart) == 0x48);
static_assert(offsetof(PathTable, PathEquals) == 0x78);
static_assert(offsetof(PathTable, PathAppend) == 0x80);
static_assert(offsetof(PathTable, PathInit) == 0x88);
static_assert(offsetof(PathTable, PathFree) == 0x90);
static_assert(offsetof(PathTable, PathCopy) == 0x98);
static_assert(offsetof(PathTable, PathAssignText) == 0xc8);
static_assert(offsetof(PathTable, PathStripSuffix) == 0xd0);

static_assert(offsetof(ObjectTable, ObjectFirstTag) == 0x120);
static_assert(offsetof(ObjectTable, ObjectFindTag) == 0x128);
static_assert(offsetof(ObjectTable, ObjectTagDataWritable) == 0x130);
static_assert(offsetof(ObjectTable, ObjectTagDataCount) == 0x138);
static_assert(offsetof(ObjectTable, ObjectPolygonSelection) == 0x200);
static_assert(offsetof(ObjectTable, ObjectResize) == 0x210);

static_assert(offsetof(DocumentTable, UndoStart) == 0x98);
static_assert(offsetof(DocumentTable, UndoEnd) == 0xa0);
static_assert(offsetof(DocumentTable, CollectSelectedObjects) == 0x118);
static_assert(offsetof(DocumentTable, UndoAdd) == 0x310);

static_assert(offsetof(NodeTable, NodeGetType) == 0x10);
static_assert(offsetof(NodeTable, NodeMessage) == 0x20);
static_assert(offsetof(NodeTable, NodeNext) == 0x50);
static_assert(offsetof(NodeTable, NodeDown) == 0x68);
static_assert(offsetof(NodeTable, NodeGetName) == 0xf0);
static_assert(offsetof(NodeTable, NodeArrayAlloc) == 0x110);
static_assert(offsetof(NodeTable, NodeArrayFree) == 0x118);
static_assert(offsetof(NodeTable, NodeArrayCount) == 0x120);
static_assert(offsetof(NodeTable, NodeArrayGet) == 0x128);

#else  // Itanium C++ layout

static_assert(kMemberWidth == 16, "member entries are pointers to member functions");

static_assert(offsetof(GeneralTable, PrintLine) == 0x00);
static_assert(offsetof(GeneralTable, GetHostStartupDirectory) == 0x40);
static_assert(offsetof(GeneralTable, ShowMessageBox) == 0x78);
static_assert(offsetof(GeneralTable, SetHostUiState) == 0xa0);
static_assert(offsetof(GeneralTable, StatusReset) == 0xc0);
static_assert(offsetof(GeneralTable, StatusSetProgress) == 0xd0);
static_assert(offsetof(GeneralTable, StatusShowText) == 0xd8);
static_assert(offsetof(GeneralTable, PluginRegister) == 0x158);
static_assert(offsetof(GeneralTable, RequestHostUpdate) == 0x290);

static_assert(offsetof(StringTable, empty) == 0x00);
static_assert(offsetof(StringTable, StringInsert) == 0x58);

static_assert(offsetof(BitmapTable, BitmapAlloc) == 0x00);
static_assert(offsetof(BitmapTable, BitmapFree) == 0x08);
static_assert(offsetof(BitmapTable, BitmapLoadFile) == 0x38);
static_assert(offsetof(BitmapTable, BitmapSetProperty) == 0x188);

static_assert(offsetof(PathTable, PathToString) == 0x38);
static_assert(offsetof(PathTable, PathAssignString) == 0x40);
static_assert(offsetof(PathTable, PathDirectory) == 0x48);
static_assert(offsetof(PathTable, PathFilePart) == 0x50);
static_assert(offsetof(PathTable, PathEquals) == 0x80);
static_assert(offsetof(PathTable, PathAppend) == 0x88);
static_assert(offsetof(PathTable, PathInit) == 0x90);
static_assert(offsetof(PathTable, PathFree) == 0x98);
static_assert(offsetof(PathTable, PathCopy) == 0xa0);
static_assert(offsetof(PathTable, PathAssignText) == 0xd0);
static_assert(offsetof(PathTable, PathStripSuffix) == 0xd8);

static_assert(offsetof(ObjectTable, ObjectFirstTag) == 0x208);
static_assert(offsetof(ObjectTable, ObjectFindTag) == 0x210);
static_assert(offsetof(ObjectTable, ObjectTagDataWritable) == 0x218);
static_assert(offsetof(ObjectTable, ObjectTagDataCount) == 0x220);
static_assert(offsetof(ObjectTable, ObjectPolygonSelection) == 0x2e8);
static_assert(offsetof(ObjectTable, ObjectResize) == 0x2f8);

static_assert(offsetof(DocumentTable, UndoStart) == 0x98);
static_assert(offsetof(DocumentTable, UndoEnd) == 0xa0);
static_assert(offsetof(DocumentTable, CollectSelectedObjects) == 0x120);
static_assert(offsetof(DocumentTable, UndoAdd) == 0x3b0);

static_assert(offsetof(NodeTable, NodeGetType) == 0x20);
static_assert(offsetof(NodeTable, NodeMessage) == 0x40);
static_assert(offsetof(NodeTable, NodeNext) == 0xa0);
static_assert(offsetof(NodeTable, NodeDown) == 0xd0);
static_assert(offsetof(NodeTable, NodeGetName) == 0x1e0);
static_assert(offsetof(NodeTable, NodeArrayAlloc) == 0x220);
static_assert(offsetof(NodeTable, NodeArrayFree) == 0x228);
static_assert(offsetof(NodeTable, NodeArrayCount) == 0x230);
static_assert(offsetof(NodeTable, NodeArrayGet) == 0x240);

#endif

// The same in both layouts.
static_assert(offsetof(ResourceTable, ResourceLoad) == 0x00);
static_assert(offsetof(ResourceTable, ResourceGetString) == 0x10);
static_assert(offsetof(ResourceTable, ResourceFree) == 0x30);

static_assert(offsetof(TagTable, TagGetSelection) == 0x20);
static_assert(offsetof(TagTable, TagGetDataHandle) == 0x50);
static_assert(offsetof(TagTable, UvwGet) == 0x58);
static_assert(offsetof(TagTable, UvwSet) == 0x60);

static_assert(offsetof(SelectionTable, SelectionCount) == 0x10);
static_assert(offsetof(SelectionTable, SelectionSelect) == 0x20);
static_assert(offsetof(SelectionTable, SelectionDeselect) == 0x28);
static_assert(offsetof(SelectionTable, SelectionIsSelected) == 0x48);

static_assert(offsetof(ValueTable, ValueFree) == 0x00);

// ---------------------------------------------------------------------------------------------

// The HostTables record of the first entry-point message; null before it, never cleared after.
extern const HostTables* g_hostTables;

// Keeps `tables` as the record every forward reads and gives the host's API version (its first
// int32, or 0 for a null record). The only writer of g_hostTables; it stores even a record the
// caller then refuses.
int32_t BindHostTables(const HostTables* tables);

}  // namespace fm
