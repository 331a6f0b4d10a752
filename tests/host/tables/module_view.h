#pragma once
// The host tables seen the way a module sees them: a record pointer, table pointers at positions,
// entries at byte offsets, each called with the host's declaration of it. The offsets are the
// host's one list of them (host/tables/layout.h); that the module's own declarations agree with it
// is what loading the module files into the host shows.

#include <cstdint>
#include <cstring>

#include "host/framework/strings.h"
#include "host/scene/records.h"
#include "host/tables/layout.h"

namespace fm::host::testkit {

inline constexpr bool kItanium = kItaniumLayout;

// One entry as a module addresses it: the host's own declaration of it (host/tables/layout.h).
using Slot = Entry;

// Every entry by name, in the tests' namespace.
namespace slots {
#define FM_TEST_SLOT(T, name, windows, itanium, form) inline constexpr Slot name = T::name;
#define FM_TEST_SLOTS_OF(Struct, position, tableName, LIST) LIST(FM_TEST_SLOT, Struct)
FM_HOST_TABLES(FM_TEST_SLOTS_OF)
#undef FM_TEST_SLOTS_OF
#undef FM_TEST_SLOT
}  // namespace slots

inline constexpr const Slot (&kAllSlots)[sizeof kAllEntries / sizeof kAllEntries[0]] = kAllEntries;

using S = HostString*;
using P = void**;

// A string or path received by value, declared as a module declares it: one word and a destructor,
// so the calls below pass a hidden result slot where a module's compiler would. The word is handed
// on to the caller's slot as it is; the destructor leaves it alone.
struct ByValue {
  void* word;
  ~ByValue() {}
};

class ModuleView {
 public:
  explicit ModuleView(void* record) : record_(static_cast<const uint8_t*>(record)) {}

  int32_t Version() const {
    int32_t version;
    std::memcpy(&version, record_, sizeof version);
    return version;
  }
  const uint8_t* Table(uint32_t position) const {
    const uint8_t* table;
    std::memcpy(&table, record_ + position, sizeof table);
    return table;
  }
  const uint8_t* Bytes(const Slot& slot) const { return Table(slot.table) + slot.Offset(); }

  // A plain entry: an 8-byte function pointer.
  template <typename R, typename... A>
  R Call(const Slot& slot, A... args) const {
    R (*function)(A...);
    std::memcpy(&function, Bytes(slot), sizeof function);
    return function(args...);
  }

  // A member entry: a 16-byte pointer to member on Itanium called on `self`, a plain function
  // taking `self` first on Windows.
  template <typename R, typename... A>
  R CallMember(const Slot& slot, void* self, A... args) const {
    if constexpr (kItanium) {
      R (Opaque::*member)(A...);
      static_assert(sizeof member == 16);
      std::memcpy(&member, Bytes(slot), sizeof member);
      return (static_cast<Opaque*>(self)->*member)(args...);
    } else {
      return Call<R, void*, A...>(slot, self, args...);
    }
  }

  // GeneralTable
  // A host-string argument is the host's string class by const reference: the address of a word
  // holding the string (here the parameter itself).
  void PrintLine(S text) const { Call<void, const S&>(slots::PrintLine, text); }
  void GetHostStartupDirectory(P result) const {
    *result = Call<ByValue>(slots::GetHostStartupDirectory).word;
  }
  void ShowMessageBox(S text, int32_t style) const {
    Call<void, const S&, int32_t>(slots::ShowMessageBox, text, style);
  }
  void SetHostUiState(int32_t state) const { Call<void>(slots::SetHostUiState, state); }
  void StatusReset() const { Call<void>(slots::StatusReset); }
  void StatusSetProgress(int32_t percent) const { Call<void>(slots::StatusSetProgress, percent); }
  void StatusShowText(S text) const { Call<void, const S&>(slots::StatusShowText, text); }
  bool PluginRegister(int32_t api, int32_t kind, int32_t id, S name, void* record,
                      int32_t size) const {
    return Call<bool, int32_t, int32_t, int32_t, const S&, void*, int32_t>(
        slots::PluginRegister, api, kind, id, name, record, size);
  }
  void RequestHostUpdate(int32_t flags) const { Call<void>(slots::RequestHostUpdate, flags); }

  // StringTable. Entry 0 is the address of the host's holder of the shared empty string.
  const S* EmptyStringHolder() const {
    const S* holder;
    std::memcpy(&holder, Bytes(slots::EmptyString), sizeof holder);
    return holder;
  }
  S EmptyString() const { return *EmptyStringHolder(); }
  // A member of the destination, called on the caller's holder `*dst`, which the host may point at
  // a writable copy.
  void StringInsert(S* dst, int32_t pos, S src, int32_t start, int32_t end) const {
    CallMember<void, int32_t, const S&, int32_t, int32_t>(slots::StringInsert, dst, pos, src,
                                                          start, end);
  }

  // BitmapTable
  void* BitmapAlloc() const { return Call<void*>(slots::BitmapAlloc); }
  void BitmapFree(void* bitmap) const { Call<void>(slots::BitmapFree, bitmap); }
  int32_t BitmapLoadFile(void* bitmap, P path, int32_t frame, bool* flag) const {
    return Call<int32_t>(slots::BitmapLoadFile, bitmap, path, frame, flag);
  }
  void BitmapSetProperty(void* bitmap, int32_t id, const TaggedValue* value) const {
    Call<void>(slots::BitmapSetProperty, bitmap, id, value);
  }

  // PathTable
  void PathToString(S* result, P path) const {
    *result = static_cast<S>(Call<ByValue>(slots::PathToString, path).word);
  }
  void PathAssignString(P path, S text) const {
    Call<void, P, const S&>(slots::PathAssignString, path, text);
  }
  void PathDirectory(P result, P path) const {
    *result = Call<ByValue>(slots::PathDirectory, path).word;
  }
  void PathFilePart(P result, P path) const {
    *result = Call<ByValue>(slots::PathFilePart, path).word;
  }
  bool PathEquals(P a, P b) const { return Call<bool>(slots::PathEquals, a, b); }
  void PathAppend(P path, P component) const { Call<void>(slots::PathAppend, path, component); }
  void PathInit(P path) const { Call<void>(slots::PathInit, path); }
  void PathFree(P path) const { Call<void>(slots::PathFree, path); }
  void PathCopy(P source, P destination) const { Call<void>(slots::PathCopy, source, destination); }
  void PathAssignText(P path, const char* text) const {
    Call<void>(slots::PathAssignText, path, text);
  }
  void PathStripSuffix(P path) const { Call<void>(slots::PathStripSuffix, path); }

  // ResourceTable
  void* ResourceLoad(P directory) const { return Call<void*>(slots::ResourceLoad, directory); }
  // The address of the set's holder of the string.
  const S* ResourceGetString(void* set, int32_t id) const {
    return Call<const S*>(slots::ResourceGetString, set, id);
  }
  void ResourceFree(void* set, uint8_t flag) const { Call<void>(slots::ResourceFree, set, flag); }

  // TagTable
  void* TagGetSelection(void* tag) const { return Call<void*>(slots::TagGetSelection, tag); }
  void* TagGetDataHandle(void* tag) const { return Call<void*>(slots::TagGetDataHandle, tag); }
  void UvwGet(void* handle, int32_t index, UvwRecord* out) const {
    Call<void>(slots::UvwGet, handle, index, out);
  }
  void UvwSet(void* handle, int32_t index, const UvwRecord* in) const {
    Call<void>(slots::UvwSet, handle, index, in);
  }

  // ObjectTable
  void* ObjectFirstTag(void* object) const { return Call<void*>(slots::ObjectFirstTag, object); }
  void* ObjectFindTag(void* object, int32_t type, int32_t index) const {
    return Call<void*>(slots::ObjectFindTag, object, type, index);
  }
  void* ObjectTagDataWritable(void* object, int32_t type) const {
    return Call<void*>(slots::ObjectTagDataWritable, object, type, int32_t{0});
  }
  int32_t ObjectTagDataCount(void* object, int32_t type) const {
    return Call<int32_t>(slots::ObjectTagDataCount, object, type);
  }
  void* ObjectPolygonSelection(void* object) const {
    return Call<void*>(slots::ObjectPolygonSelection, object);
  }
  bool ObjectResize(void* object, int32_t points, int32_t polygons) const {
    return Call<bool>(slots::ObjectResize, object, points, polygons);
  }

  // DocumentTable
  void UndoStart(void* doc) const { Call<void>(slots::UndoStart, doc); }
  void UndoEnd(void* doc) const { Call<void>(slots::UndoEnd, doc); }
  void CollectSelectedObjects(void* doc, void* array, int32_t flags) const {
    CallMember<void>(slots::CollectSelectedObjects, doc, array, flags);
  }
  void UndoAdd(void* doc, int32_t kind, void* node) const {
    Call<void>(slots::UndoAdd, doc, kind, node, static_cast<void*>(nullptr));
  }

  // SelectionTable
  int32_t SelectionCount(void* sel) const { return Call<int32_t>(slots::SelectionCount, sel); }
  void SelectionSelect(void* sel, int32_t i) const { Call<void>(slots::SelectionSelect, sel, i); }
  void SelectionDeselect(void* sel, int32_t i) const {
    Call<void>(slots::SelectionDeselect, sel, i);
  }
  bool SelectionIsSelected(void* sel, int32_t i) const {
    return Call<bool>(slots::SelectionIsSelected, sel, i);
  }

  // ValueTable
  void ValueFree(TaggedValue* value) const { Call<void>(slots::ValueFree, value); }

  // NodeTable
  int32_t NodeGetType(void* node) const { return CallMember<int32_t>(slots::NodeGetType, node); }
  void NodeMessage(void* node, int32_t id) const {
    CallMember<void>(slots::NodeMessage, node, id, static_cast<void*>(nullptr));
  }
  void* NodeNext(void* node) const { return CallMember<void*>(slots::NodeNext, node); }
  void* NodeDown(void* node) const { return CallMember<void*>(slots::NodeDown, node); }
  // Itanium: the member returning the string by value. Windows: a plain function of (node, slot),
  // Microsoft's order for a member's result slot, handed a null slot and giving it back.
  void NodeGetName(void* node, S* result) const {
    if constexpr (kItanium) {
      *result = static_cast<S>(CallMember<ByValue>(slots::NodeGetName, node).word);
    } else {
      *result = nullptr;
      S* given = Call<S*>(slots::NodeGetName, node, result);
      if (given != result) *result = nullptr;
    }
  }
  void* NodeArrayAlloc() const { return Call<void*>(slots::NodeArrayAlloc); }
  void NodeArrayFree(void** array) const { Call<void>(slots::NodeArrayFree, array); }
  int32_t NodeArrayCount(void* array) const {
    return CallMember<int32_t>(slots::NodeArrayCount, array);
  }
  void* NodeArrayGet(void* array, int32_t index) const {
    return CallMember<void*>(slots::NodeArrayGet, array, index);
  }

  // Conveniences built from the entries, as a module's forwarding layer would.
  std::string Name(void* node) const {
    S name = nullptr;
    NodeGetName(node, &name);
    std::string text = ToUtf8(name);
    Release(name);
    return text;
  }

 private:
  struct Opaque {};
  const uint8_t* record_;
};

}  // namespace fm::host::testkit
