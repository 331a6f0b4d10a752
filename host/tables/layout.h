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

struct Entry {
  uint32_t windows;
  uint32_t itanium;
  bool member = false;
  constexpr uint32_t Offset() const { return kItaniumLayout ? itanium : windows; }
  constexpr uint32_t Width() const { return kItaniumLayout && member ? 16 : 8; }
};

// The positions a module reads, with the tables' names (they name the traps too).
struct UsedTable {
  uint32_t position;
  const char* name;
};
inline constexpr UsedTable kUsedTables[] = {
    {0x08, "GeneralTable"},   {0x28, "StringTable"}, {0x30, "BitmapTable"}, {0x48, "PathTable"},
    {0x78, "ResourceTable"},  {0x88, "TagTable"},    {0x90, "ObjectTable"}, {0x98, "DocumentTable"},
    {0xb8, "SelectionTable"}, {0x108, "ValueTable"}, {0x110, "NodeTable"},
};

struct GeneralEntries {
  static constexpr uint32_t kPosition = 0x08;
  static constexpr Entry PrintLine{0x00, 0x00};
  static constexpr Entry GetHostStartupDirectory{0x40, 0x40};
  static constexpr Entry ShowMessageBox{0x78, 0x78};
  static constexpr Entry SetHostUiState{0xa0, 0xa0};
  static constexpr Entry StatusReset{0xc0, 0xc0};
  static constexpr Entry StatusSetProgress{0xd0, 0xd0};
  static constexpr Entry StatusShowText{0xd8, 0xd8};
  static constexpr Entry PluginRegister{0x158, 0x158};
  static constexpr Entry RequestHostUpdate{0x270, 0x290};
  static constexpr Entry kAll[] = {
      PrintLine,         GetHostStartupDirectory, ShowMessageBox, SetHostUiState,   StatusReset,
      StatusSetProgress, StatusShowText,          PluginRegister, RequestHostUpdate};
};

struct StringEntries {
  static constexpr uint32_t kPosition = 0x28;
  static constexpr Entry EmptyString{0x00, 0x00};  // data: the shared empty string itself
  static constexpr Entry StringInsert{0x40, 0x58, true};
  static constexpr Entry kAll[] = {EmptyString, StringInsert};
};

struct BitmapEntries {
  static constexpr uint32_t kPosition = 0x30;
  static constexpr Entry BitmapAlloc{0x00, 0x00};
  static constexpr Entry BitmapFree{0x08, 0x08};
  static constexpr Entry BitmapLoadFile{0x38, 0x38};
  static constexpr Entry BitmapSetProperty{0x180, 0x188};
  static constexpr Entry kAll[] = {BitmapAlloc, BitmapFree, BitmapLoadFile, BitmapSetProperty};
};

struct PathEntries {
  static constexpr uint32_t kPosition = 0x48;
  static constexpr Entry PathToString{0x30, 0x38};
  static constexpr Entry PathAssignString{0x38, 0x40};
  static constexpr Entry PathDirectory{0x40, 0x48};
  static constexpr Entry PathFilePart{0x48, 0x50};
  static constexpr Entry PathEquals{0x78, 0x80};
  static constexpr Entry PathAppend{0x80, 0x88};
  static constexpr Entry PathInit{0x88, 0x90};
  static constexpr Entry PathFree{0x90, 0x98};
  static constexpr Entry PathCopy{0x98, 0xa0};
  static constexpr Entry PathAssignText{0xc8, 0xd0};
  static constexpr Entry PathStripSuffix{0xd0, 0xd8};
  static constexpr Entry kAll[] = {PathToString, PathAssignString, PathDirectory,  PathFilePart,
                                   PathEquals,   PathAppend,       PathInit,       PathFree,
                                   PathCopy,     PathAssignText,   PathStripSuffix};
};

struct ResourceEntries {
  static constexpr uint32_t kPosition = 0x78;
  static constexpr Entry ResourceLoad{0x00, 0x00};
  static constexpr Entry ResourceGetString{0x10, 0x10};
  static constexpr Entry ResourceFree{0x30, 0x30};
  static constexpr Entry kAll[] = {ResourceLoad, ResourceGetString, ResourceFree};
};

struct TagEntries {
  static constexpr uint32_t kPosition = 0x88;
  static constexpr Entry TagGetSelection{0x20, 0x20};
  static constexpr Entry TagGetDataHandle{0x50, 0x50};
  static constexpr Entry UvwGet{0x58, 0x58};
  static constexpr Entry UvwSet{0x60, 0x60};
  static constexpr Entry kAll[] = {TagGetSelection, TagGetDataHandle, UvwGet, UvwSet};
};

struct ObjectEntries {
  static constexpr uint32_t kPosition = 0x90;
  static constexpr Entry ObjectFirstTag{0x120, 0x208};
  static constexpr Entry ObjectFindTag{0x128, 0x210};
  static constexpr Entry ObjectTagDataWritable{0x130, 0x218};
  static constexpr Entry ObjectTagDataCount{0x138, 0x220};
  static constexpr Entry ObjectPolygonSelection{0x200, 0x2e8};
  static constexpr Entry ObjectResize{0x210, 0x2f8};
  static constexpr Entry kAll[] = {ObjectFirstTag,         ObjectFindTag,
                                   ObjectTagDataWritable,  ObjectTagDataCount,
                                   ObjectPolygonSelection, ObjectResize};
};

struct DocumentEntries {
  static constexpr uint32_t kPosition = 0x98;
  static constexpr Entry UndoStart{0x98, 0x98};
  static constexpr Entry UndoEnd{0xa0, 0xa0};
  static constexpr Entry CollectSelectedObjects{0x118, 0x120, true};
  static constexpr Entry UndoAdd{0x310, 0x3b0};
  static constexpr Entry kAll[] = {UndoStart, UndoEnd, CollectSelectedObjects, UndoAdd};
};

struct SelectionEntries {
  static constexpr uint32_t kPosition = 0xb8;
  static constexpr Entry SelectionCount{0x10, 0x10};
  static constexpr Entry SelectionSelect{0x20, 0x20};
  static constexpr Entry SelectionDeselect{0x28, 0x28};
  static constexpr Entry SelectionIsSelected{0x48, 0x48};
  static constexpr Entry kAll[] = {SelectionCount, SelectionSelect, SelectionDeselect,
                                   SelectionIsSelected};
};

struct ValueEntries {
  static constexpr uint32_t kPosition = 0x108;
  static constexpr Entry ValueFree{0x00, 0x00};
  static constexpr Entry kAll[] = {ValueFree};
};

struct NodeEntries {
  static constexpr uint32_t kPosition = 0x110;
  static constexpr Entry NodeGetType{0x10, 0x20, true};
  static constexpr Entry NodeMessage{0x20, 0x40, true};
  static constexpr Entry NodeNext{0x50, 0xa0, true};
  static constexpr Entry NodeDown{0x68, 0xd0, true};
  static constexpr Entry NodeGetName{0xf0, 0x1e0, true};
  static constexpr Entry NodeArrayAlloc{0x110, 0x220};
  static constexpr Entry NodeArrayFree{0x118, 0x228};
  static constexpr Entry NodeArrayCount{0x120, 0x230, true};
  static constexpr Entry NodeArrayGet{0x128, 0x240, true};
  static constexpr Entry kAll[] = {NodeGetType,   NodeMessage,    NodeNext,
                                   NodeDown,      NodeGetName,    NodeArrayAlloc,
                                   NodeArrayFree, NodeArrayCount, NodeArrayGet};
};

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
    if (p.windows + 8 > e.windows) return false;
    if (p.itanium + (p.member ? 16 : 8) > e.itanium) return false;
    if (e.itanium - e.windows < p.itanium - p.windows) return false;
  }
  return true;
}
static_assert(WellFormed(GeneralEntries::kAll));
static_assert(WellFormed(StringEntries::kAll));
static_assert(WellFormed(BitmapEntries::kAll));
static_assert(WellFormed(PathEntries::kAll));
static_assert(WellFormed(ResourceEntries::kAll));
static_assert(WellFormed(TagEntries::kAll));
static_assert(WellFormed(ObjectEntries::kAll));
static_assert(WellFormed(DocumentEntries::kAll));
static_assert(WellFormed(SelectionEntries::kAll));
static_assert(WellFormed(ValueEntries::kAll));
static_assert(WellFormed(NodeEntries::kAll));
static_assert(TableIndex(GeneralEntries::kPosition) == 0 &&
              TableIndex(NodeEntries::kPosition) == 33);

}  // namespace fm::host
