// Every crossing the Windows host still builds with mingw-w64's g++, written as the host declares
// it, with the shapes of the host's own value classes. Each function stores its arguments, in
// order, into rec[0], rec[1], ... (a class argument: the word its holder holds) and builds a
// class result from `marker`, so a listing shows which register or stack word carries what and
// where the result slot is. Compared by scripts/abi-compare.sh between mingw-w64's g++ and
// clang's Microsoft target. The last group are crossings the boundary object compiles, kept as
// the control: the listings must differ there.
#include <stdint.h>

extern "C" void* rec[8];
extern "C" char marker;
#define R(i, x) __builtin_memcpy(&rec[i], &(x), sizeof(x))

struct HostString;
// StringValue: a copy that takes a reference, a destructor that drops one.
class StringValue {
 public:
  explicit StringValue(void* w) : w_(w) {}
  StringValue(const StringValue& o);
  ~StringValue();
  void* w_;
};
// PathValue: no copy, a destructor that frees the path.
class PathValue {
 public:
  explicit PathValue(void* w) : w_(w) {}
  PathValue(const PathValue&) = delete;
  ~PathValue();
  void* w_;
};
// ErrorValue and ObjectRef: a copy and a destructor that count nothing.
class ErrorValue {
 public:
  explicit ErrorValue(const void* e) : e_(e) {}
  ErrorValue(const ErrorValue& o) : e_(o.e_) {}
  ~ErrorValue() {}
  const void* e_;
};
class ObjectRef {
 public:
  ObjectRef(const ObjectRef& o) : o_(o.o_) {}
  ~ObjectRef() {}
  const void* o_;
};
struct EntityHead;
struct ConfigurationEntry;
struct AllocationSite;
struct SourceLocation;
using Binder = void (*)(EntityHead*, void**, const uint8_t*, int64_t);

extern "C++" {
// ---- framework: initialiser, binder, bound methods, defaults -----------------------------
void HostInitializer(void** errorOut, EntityHead* entity, void* requester) {
  R(0, errorOut); R(1, entity); R(2, requester);
}
void HostBinder(EntityHead* ref, void** methods, const uint8_t* kinds, int64_t count) {
  R(0, ref); R(1, methods); R(2, kinds); R(3, count);
}
void* AllocClear(int64_t size, const AllocationSite* site) { R(0, size); R(1, site); return &marker; }
void FreeWithDestructorI(void* object, void (*destructor)(void*)) { R(0, object); R(1, destructor); }
ErrorValue ConfigurationRegister(const ConfigurationEntry* entry) {
  R(0, entry);
  return ErrorValue(&marker);
}
uint32_t GetConsoleOutputType() { return 7; }
void ConsoleOutput(const char* line, const SourceLocation* loc, void* reserved, int64_t flags) {
  R(0, line); R(1, loc); R(2, reserved); R(3, flags);
}
void StringFree(HostString* s) { R(0, s); }
int64_t StringGetLength(const HostString* s) { R(0, s); return 7; }
HostString* StringInit(HostString* s) { R(0, s); return s; }
HostString* StringAlloc() { return reinterpret_cast<HostString*>(&marker); }
ErrorValue SetCString(HostString* self, const char* text, int64_t length, const ObjectRef& decoding) {
  R(0, self); R(1, text); R(2, length); R(3, decoding.o_);
  return ErrorValue(&marker);
}
void JobReference(void* job) { R(0, job); }
bool TestBreak(void* job) { R(0, job); return true; }
void DefaultVoid() { rec[0] = &marker; }
int64_t DefaultIntegral() { return 7; }
float DefaultFloat() { return 7.0f; }
double DefaultDouble() { return 7.0; }
const void* DefaultPointerToZero() { return &marker; }

// ---- calls the host makes into the module -------------------------------------------------
int32_t CallMain(int32_t (*main)(int32_t, void*, void*, void*), int32_t m, void* a, void* b, void* c) {
  return main(m, a, b, c);
}
void CallFiller(void (*filler)(EntityHead*, Binder), EntityHead* ref) { filler(ref, &HostBinder); }
void CallFallback(void (*fallback)(void**), void** methods) { fallback(methods); }
void CallRelease(void (*release)(void*), void* object) { release(object); }

// ---- table entries the tables room builds -------------------------------------------------
PathValue GetHostStartupDirectory() { return PathValue(&marker); }
void SetHostUiState(int32_t state) { R(0, state); }
void StatusReset() { rec[0] = &marker; }
void StatusSetProgress(int32_t percent) { R(0, percent); }
void RequestHostUpdate(int32_t flags) { R(0, flags); }
// StringInsert on Windows: a plain function taking the destination holder first.
void StringInsert(HostString** dst, int32_t pos, const StringValue& src, int32_t start, int32_t end) {
  R(0, dst); R(1, pos); R(2, src.w_); R(3, start); R(4, end);
}
void* BitmapAlloc() { return &marker; }
void BitmapFree(void* bmp) { R(0, bmp); }
int32_t BitmapLoadFile(void* bmp, void** path, int32_t frame, bool* flag) {
  R(0, bmp); R(1, path); R(2, frame); R(3, flag); return 7;
}
void BitmapSetProperty(void* bmp, int32_t id, const void* value) { R(0, bmp); R(1, id); R(2, value); }
StringValue PathToString(void** path) { R(0, path); return StringValue(&marker); }
void PathAssignString(void** path, const StringValue& text) { R(0, path); R(1, text.w_); }
PathValue PathDirectory(void** path) { R(0, path); return PathValue(&marker); }
bool PathEquals(void** a, void** b) { R(0, a); R(1, b); return true; }
void PathCopy(void** source, void** destination) { R(0, source); R(1, destination); }
void PathAssignText(void** path, const char* text) { R(0, path); R(1, text); }
void* ResourceLoad(void** directory) { R(0, directory); return &marker; }
const StringValue* ResourceGetString(void* set, int32_t id) {
  R(0, set); R(1, id); return reinterpret_cast<const StringValue*>(&marker);
}
void ResourceFree(void* set, uint8_t flag) { R(0, set); R(1, flag); }
void UvwGet(void* handle, int32_t index, void* out) { R(0, handle); R(1, index); R(2, out); }
void* ObjectFindTag(void* object, int32_t type, int32_t index) {
  R(0, object); R(1, type); R(2, index); return &marker;
}
bool ObjectResize(void* object, int32_t points, int32_t polygons) {
  R(0, object); R(1, points); R(2, polygons); return true;
}
void UndoAdd(void* doc, int32_t kind, void* node, void* zero) {
  R(0, doc); R(1, kind); R(2, node); R(3, zero);
}
void CollectSelectedObjects(void* doc, void* array, int32_t flags) { R(0, doc); R(1, array); R(2, flags); }
bool SelectionIsSelected(void* sel, int32_t index) { R(0, sel); R(1, index); return true; }
void NodeMessage(void* node, int32_t id, void* data) { R(0, node); R(1, id); R(2, data); }
void* NodeNext(void* node) { R(0, node); return &marker; }
int32_t NodeArrayCount(void* array) { R(0, array); return 7; }
void* NodeArrayGet(void* array, int32_t index) { R(0, array); R(1, index); return &marker; }
void CpuYield(void* backoff, void* lock) { R(0, backoff); R(1, lock); }
}

// ---- the same member entries as a Microsoft-built host declares them ----------------------
// A member returning a scalar takes `this` where the plain entry takes its object; these must
// match the plain entries above register for register.
class String {
 public:
  void Insert(int32_t pos, const StringValue& src, int32_t start, int32_t end);
};
class Node {
 public:
  void Message(int32_t id, void* data);
  void* Next();
  void* Get(int32_t index);
  StringValue GetName();
};
class CommandData {
 public:
  bool Execute(void* doc, void* window);
  StringValue Operation7(void* doc, void* window);
};
void String::Insert(int32_t pos, const StringValue& src, int32_t start, int32_t end) {
  String* self = this; R(0, self); R(1, pos); R(2, src.w_); R(3, start); R(4, end);
}
void Node::Message(int32_t id, void* data) { Node* self = this; R(0, self); R(1, id); R(2, data); }
void* Node::Next() { Node* self = this; R(0, self); return &marker; }
void* Node::Get(int32_t index) { Node* self = this; R(0, self); R(1, index); return &marker; }
bool CommandData::Execute(void* doc, void* window) {
  CommandData* self = this; R(0, self); R(1, doc); R(2, window); return true;
}

// ---- controls: crossings the boundary object compiles, where the two compilers differ ------
// A member returning a class: Microsoft passes `this` then the slot, g++ the slot first.
StringValue Node::GetName() { Node* self = this; R(0, self); return StringValue(&marker); }
StringValue CommandData::Operation7(void* doc, void* window) {
  CommandData* self = this; R(0, self); R(1, doc); R(2, window); return StringValue(&marker);
}
// A class taken by value: Microsoft's callee destroys it, g++'s caller does.
void TakesStringByValue(StringValue s) { R(0, s.w_); }
