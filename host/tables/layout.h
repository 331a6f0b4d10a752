#pragma once
// The HostTables record and the byte offset of every entry a module calls, for the layout being
// built. On Windows every entry is an 8-byte plain function taking the object first. On the
// Itanium layout the member entries are 16-byte pointers to member functions ({function, 0})
// called as members of the first argument, and the entries after them lie further on.

#include <cstddef>
#include <cstdint>

namespace fm::host {

#ifdef _WIN32
inline constexpr bool kItaniumLayout = false;
#else
inline constexpr bool kItaniumLayout = true;
#endif

inline constexpr int kTablePositionCount = 34;
// Every host table, used or not, is this many bytes of entries; none a module uses lies further.
inline constexpr uint32_t kTableBytes = 0x400;

struct HostTablesRecord {
  int32_t version;
  int32_t reserved;
  const void* tables[kTablePositionCount];  // positions 0x08 ... 0x110
};
static_assert(offsetof(HostTablesRecord, version) == 0);
static_assert(offsetof(HostTablesRecord, tables) == 0x08);
static_assert(sizeof(HostTablesRecord) == 0x118);

constexpr uint32_t TablePosition(int index) { return 0x08 + 8 * static_cast<uint32_t>(index); }
constexpr int TableIndex(uint32_t position) { return static_cast<int>((position - 0x08) / 8); }

// One entry as a module addresses it: the table's position in the record, the entry's byte offset
// in that table on each layout, and whether it is a member entry (16 bytes on Itanium).
struct Entry {
  uint32_t table;
  uint32_t windows;
  uint32_t itanium;
  bool member = false;
  const char* name = nullptr;
  constexpr uint32_t Offset() const { return kItaniumLayout ? itanium : windows; }
  constexpr uint32_t Width() const { return kItaniumLayout && member ? 16 : 8; }
};

// The one declaration of every entry the host provides: per table a list of
//   X(T, name, Windows offset, Itanium offset, form)
// where form is Plain (an 8-byte function pointer), Data (a pointer to host data) or Member (a
// member of the first argument: 16 bytes on Itanium). The constants below, the record's test and
// the tests' view of the tables are all derived from these lists, so an entry is added here once.
#define FM_GENERAL_TABLE(X, T)                 \
  X(T, PrintLine, 0x00, 0x00, Plain)           \
  X(T, GetHostStartupDirectory, 0x40, 0x40, Plain) \
  X(T, ShowMessageBox, 0x78, 0x78, Plain)      \
  X(T, SetHostUiState, 0xa0, 0xa0, Plain)      \
  X(T, StatusReset, 0xc0, 0xc0, Plain)         \
  X(T, StatusSetProgress, 0xd0, 0xd0, Plain)   \
  X(T, StatusShowText, 0xd8, 0xd8, Plain)      \
  X(T, PluginRegister, 0x158, 0x158, Plain)    \
  X(T, RequestHostUpdate, 0x270, 0x290, Plain)

#define FM_STRING_TABLE(X, T)                  \
  X(T, EmptyString, 0x00, 0x00, Data)          \
  X(T, StringInsert, 0x40, 0x58, Member)

#define FM_BITMAP_TABLE(X, T)                  \
  X(T, BitmapAlloc, 0x00, 0x00, Plain)         \
  X(T, BitmapFree, 0x08, 0x08, Plain)          \
  X(T, BitmapLoadFile, 0x38, 0x38, Plain)      \
  X(T, BitmapSetProperty, 0x180, 0x188, Plain)

#define FM_PATH_TABLE(X, T)                    \
  X(T, PathToString, 0x30, 0x38, Plain)        \
  X(T, PathAssignString, 0x38, 0x40, Plain)    \
  X(T, PathDirectory, 0x40, 0x48, Plain)       \
  X(T, PathFilePart, 0x48, 0x50, Plain)        \
  X(T, PathEquals, 0x78, 0x80, Plain)          \
  X(T, PathAppend, 0x80, 0x88, Plain)          \
  X(T, PathInit, 0x88, 0x90, Plain)            \
  X(T, PathFree, 0x90, 0x98, Plain)            \
  X(T, PathCopy, 0x98, 0xa0, Plain)            \
  X(T, PathAssignText, 0xc8, 0xd0, Plain)      \
  X(T, PathStripSuffix, 0xd0, 0xd8, Plain)

#define FM_RESOURCE_TABLE(X, T)                \
  X(T, ResourceLoad, 0x00, 0x00, Plain)        \
  X(T, ResourceGetString, 0x10, 0x10, Plain)   \
  X(T, ResourceFree, 0x30, 0x30, Plain)

#define FM_TAG_TABLE(X, T)                     \
  X(T, TagGetSelection, 0x20, 0x20, Plain)     \
  X(T, TagGetDataHandle, 0x50, 0x50, Plain)    \
  X(T, UvwGet, 0x58, 0x58, Plain)              \
  X(T, UvwSet, 0x60, 0x60, Plain)

#define FM_OBJECT_TABLE(X, T)                  \
  X(T, ObjectFirstTag, 0x120, 0x208, Plain)    \
  X(T, ObjectFindTag, 0x128, 0x210, Plain)     \
  X(T, ObjectTagDataWritable, 0x130, 0x218, Plain) \
  X(T, ObjectTagDataCount, 0x138, 0x220, Plain) \
  X(T, ObjectPolygonSelection, 0x200, 0x2e8, Plain) \
  X(T, ObjectResize, 0x210, 0x2f8, Plain)

#define FM_DOCUMENT_TABLE(X, T)                \
  X(T, UndoStart, 0x98, 0x98, Plain)           \
  X(T, UndoEnd, 0xa0, 0xa0, Plain)             \
  X(T, CollectSelectedObjects, 0x118, 0x120, Member) \
  X(T, UndoAdd, 0x310, 0x3b0, Plain)

#define FM_SELECTION_TABLE(X, T)               \
  X(T, SelectionCount, 0x10, 0x10, Plain)      \
  X(T, SelectionSelect, 0x20, 0x20, Plain)     \
  X(T, SelectionDeselect, 0x28, 0x28, Plain)   \
  X(T, SelectionIsSelected, 0x48, 0x48, Plain)

#define FM_VALUE_TABLE(X, T) X(T, ValueFree, 0x00, 0x00, Plain)

#define FM_NODE_TABLE(X, T)                    \
  X(T, NodeGetType, 0x10, 0x20, Member)        \
  X(T, NodeMessage, 0x20, 0x40, Member)        \
  X(T, NodeNext, 0x50, 0xa0, Member)           \
  X(T, NodeDown, 0x68, 0xd0, Member)           \
  X(T, NodeGetName, 0xf0, 0x1e0, Member)       \
  X(T, NodeArrayAlloc, 0x110, 0x220, Plain)    \
  X(T, NodeArrayFree, 0x118, 0x228, Plain)     \
  X(T, NodeArrayCount, 0x120, 0x230, Member)   \
  X(T, NodeArrayGet, 0x128, 0x240, Member)

// The tables a module reads: T(entries struct, position, name, entry list). The names name the
// traps too.
#define FM_HOST_TABLES(T)                                         \
  T(GeneralEntries, 0x08, "GeneralTable", FM_GENERAL_TABLE)       \
  T(StringEntries, 0x28, "StringTable", FM_STRING_TABLE)          \
  T(BitmapEntries, 0x30, "BitmapTable", FM_BITMAP_TABLE)          \
  T(PathEntries, 0x48, "PathTable", FM_PATH_TABLE)                \
  T(ResourceEntries, 0x78, "ResourceTable", FM_RESOURCE_TABLE)    \
  T(TagEntries, 0x88, "TagTable", FM_TAG_TABLE)                   \
  T(ObjectEntries, 0x90, "ObjectTable", FM_OBJECT_TABLE)          \
  T(DocumentEntries, 0x98, "DocumentTable", FM_DOCUMENT_TABLE)    \
  T(SelectionEntries, 0xb8, "SelectionTable", FM_SELECTION_TABLE) \
  T(ValueEntries, 0x108, "ValueTable", FM_VALUE_TABLE)            \
  T(NodeEntries, 0x110, "NodeTable", FM_NODE_TABLE)

#define FM_ENTRY_IS_MEMBER_Plain false
#define FM_ENTRY_IS_MEMBER_Data false
#define FM_ENTRY_IS_MEMBER_Member true
#define FM_ENTRY_CONSTANT(T, name, windows, itanium, form) \
  static constexpr Entry name{kPosition, windows, itanium, FM_ENTRY_IS_MEMBER_##form, #name};
#define FM_ENTRY_OF(T, name, windows, itanium, form) name,
#define FM_QUALIFIED_ENTRY(T, name, windows, itanium, form) T::name,
#define FM_TABLE_ENTRIES(Struct, position, tableName, LIST) \
  struct Struct {                                           \
    static constexpr uint32_t kPosition = position;         \
    static constexpr const char* kName = tableName;         \
    LIST(FM_ENTRY_CONSTANT, Struct)                         \
    static constexpr Entry kAll[] = {LIST(FM_ENTRY_OF, Struct)}; \
  };
#define FM_USED_TABLE(Struct, position, tableName, LIST) {position, tableName},
#define FM_ALL_ENTRIES_OF(Struct, position, tableName, LIST) LIST(FM_QUALIFIED_ENTRY, Struct)

FM_HOST_TABLES(FM_TABLE_ENTRIES)

// The positions a module reads, with the tables' names.
struct UsedTable {
  uint32_t position;
  const char* name;
};
inline constexpr UsedTable kUsedTables[] = {FM_HOST_TABLES(FM_USED_TABLE)};

// Every entry of every used table, table by table.
inline constexpr Entry kAllEntries[] = {FM_HOST_TABLES(FM_ALL_ENTRIES_OF)};

// Every table's entries lie in increasing order without overlapping in both layouts, widening
// member entries only ever moves the later ones further on, and all fit in one table.
template <size_t N>
constexpr bool WellFormed(const Entry (&entries)[N]) {
  for (size_t i = 0; i < N; ++i) {
    const Entry& e = entries[i];
    if (e.itanium < e.windows || e.windows % 8 != 0 || e.itanium % 8 != 0) return false;
    if (e.itanium + (e.member ? 16 : 8) > kTableBytes) return false;
    if (i == 0) continue;
    const Entry& p = entries[i - 1];
    if (p.table != e.table) continue;
    if (p.windows + 8 > e.windows) return false;
    if (p.itanium + (p.member ? 16 : 8) > e.itanium) return false;
    if (e.itanium - e.windows < p.itanium - p.windows) return false;
  }
  return true;
}
static_assert(WellFormed(kAllEntries));
// Tables in increasing position, each at a slot of the record.
constexpr bool TablesInOrder() {
  for (size_t i = 0; i < sizeof kUsedTables / sizeof kUsedTables[0]; ++i) {
    if (kUsedTables[i].position < 0x08 || kUsedTables[i].position > TablePosition(33)) return false;
    if (i > 0 && kUsedTables[i - 1].position >= kUsedTables[i].position) return false;
  }
  return true;
}
static_assert(TablesInOrder());
static_assert(TableIndex(GeneralEntries::kPosition) == 0 &&
              TableIndex(NodeEntries::kPosition) == 33);

}  // namespace fm::host
