// NodeTable: node type, name, hierarchy and messages, and node arrays. Type and Next run for every
// tag of every kept polygon, so they only check for null.
#include "host/abi/host_abi.h"
#include "host/tables/entry_support.h"
#include "host/tables/table_image.h"

namespace fm::host {
namespace {

Node* AsNode(void* node, const char* entry) {
  if (!node) DiagnoseNull(entry, "node");
  return static_cast<Node*>(node);
}

NodeArray* AsArray(void* array, const char* entry) {
  NodeArray* known = CurrentEnvironment().FindNodeArray(array);
  if (!known) Diagnose(std::string(entry) + ": not a node array of this host");
  return known;
}

int32_t NodeGetType(void* node) {
  Node* n = AsNode(node, "NodeGetType");
  return n ? n->Type() : 0;
}

// Recorded in the UI log (message 5: the object's geometry changed). `data` is not read.
void NodeMessage(void* node, int32_t id, void* /*data*/) {
  Node* n = AsNode(node, "NodeMessage");
  CurrentEnvironment().Ui().Record(
      UiEvent{UiEventKind::NodeMessage, n ? n->Name() : std::string(), id, node});
}

// The next sibling: the next object below the same parent, or the next tag on the same object.
void* NodeNext(void* node) {
  Node* n = AsNode(node, "NodeNext");
  return n ? n->Next() : nullptr;
}

// The first child object; null for tags and childless objects.
void* NodeDown(void* node) {
  Node* n = AsNode(node, "NodeDown");
  return n ? n->Down() : nullptr;
}

// The node's name, a new string with one reference for the caller.
StringValue NodeName(void* node) {
  Node* n = AsNode(node, "NodeGetName");
  return StringValue(NewString(n ? n->Name() : std::string()));
}


// An empty array owned by the caller until NodeArrayFree; null when the host refuses.
void* NodeArrayAlloc() {
  Environment& env = CurrentEnvironment();
  if (env.Faults().failNodeArrayAlloc) return nullptr;
  return env.NewNodeArray();
}

// Frees the array the variable holds and sets the variable to null. A null variable or array is
// ignored; an array this host did not make is left alone (diagnosed).
void NodeArrayFree(void** array) {
  if (!array || !*array) return;
  if (!CurrentEnvironment().FreeNodeArray(*array)) {
    return Diagnose("NodeArrayFree: not a node array of this host (or freed twice)");
  }
  *array = nullptr;
}

int32_t NodeArrayCount(void* array) {
  NodeArray* a = AsArray(array, "NodeArrayCount");
  return a ? a->Count() : 0;
}

// Null for an index out of range.
void* NodeArrayGet(void* array, int32_t index) {
  NodeArray* a = AsArray(array, "NodeArrayGet");
  return a ? Handle(a->Get(index)) : nullptr;
}

}  // namespace

// The host's NodeGetName is a member of its node class returning its string class by value; the
// entry is that member as the boundary (host/abi) defines it, so the compiler of the host's ABI
// places the node and the result slot (Microsoft's: node, then slot; Itanium: slot, then node).
// The boundary's NodeGetName lands here, so its calls are counted here.
extern "C" void* fm_host_node_name(void* node) {
  CountEntryCall(EntryIndex(NodeEntries::NodeGetName));
  return NodeName(node).Take();
}

void FillNodeTable(TableImage& table) {
  using E = NodeEntries;
  table.PutMember<E::NodeGetType, &NodeGetType>();
  table.PutMember<E::NodeMessage, &NodeMessage>();
  table.PutMember<E::NodeNext, &NodeNext>();
  table.PutMember<E::NodeDown, &NodeDown>();
  uint8_t getName[16] = {};
  fm_abi_member_node_get_name(getName);
  table.PutEntryBytes(E::NodeGetName, getName, fm_abi_member_entry_width());
  table.PutPlain<E::NodeArrayAlloc, &NodeArrayAlloc>();
  table.PutPlain<E::NodeArrayFree, &NodeArrayFree>();
  table.PutMember<E::NodeArrayCount, &NodeArrayCount>();
  table.PutMember<E::NodeArrayGet, &NodeArrayGet>();
}

}  // namespace fm::host
