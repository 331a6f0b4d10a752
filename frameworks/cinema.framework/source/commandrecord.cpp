// Filling a command's registration record, and the functions it points the host to.

#include "commandrecord.h"

#include <cstring>

#include "maxon/system.h"
#include "maxon/translationunit.h"

FW_CINEMA_TRANSLATION_UNIT()

namespace fm {

namespace {

// Runs the object's destructor without freeing it: the framework frees the memory afterwards.
void DestroyCommandObject(void* object) { static_cast<BaseData*>(object)->~BaseData(); }

#ifdef _WIN32

CommandData* AsCommand(void* object) { return static_cast<CommandData*>(object); }

bool ExecuteEntry(void* o, void* a, void* b) { return AsCommand(o)->Execute(a, b); }
bool Operation2Entry(void* o, void* a, void* b) { return AsCommand(o)->Operation2(a, b); }
bool Operation3Entry(void* o, void* a, void* b) { return AsCommand(o)->Operation3(a, b); }
int32_t StateEntry(void* o, void* a, void* b) { return AsCommand(o)->GetState(a, b); }
bool Operation5Entry(void* o, void* a, void* b) { return AsCommand(o)->Operation5(a, b); }
bool Operation6Entry(void* o, void* a, void* b) { return AsCommand(o)->Operation6(a, b); }
// The host's slot is raw storage: the new reference is written into it, and the slot given back
// as a member returning a class does.
String* Operation7Entry(void* o, String* result, void* a, void* b) {
  *result = AsCommand(o)->Operation7(a, b).Release();
  return result;
}
bool Operation8Entry(void* o, void* a, void* b) { return AsCommand(o)->Operation8(a, b); }

#else

constexpr MemberWords Slot(int slot) { return MemberWords{kSlotEntryWord[slot], 0}; }

#endif

}  // namespace

void ReleaseCommandObject(void* object) {
  if (object == nullptr) return;
  maxon::FreeWithDestructorI(object, &DestroyCommandObject);
}

void FillCommandRecord(CommandRegistrationRecord* record, CommandData* object, const String* help,
                       void* icon) {
  std::memset(static_cast<void*>(record), 0, sizeof(*record));
  record->info = 0;
  record->release = &ReleaseCommandObject;
  record->object = object;
  record->help = help;
  record->icon = icon;
#ifdef _WIN32
  record->execute = &ExecuteEntry;
  record->state = &StateEntry;
  record->operation6 = &Operation6Entry;
  record->operation7 = &Operation7Entry;
  record->operation5 = &Operation5Entry;
  record->operation2 = &Operation2Entry;
  record->operation8 = &Operation8Entry;
  record->operation3 = &Operation3Entry;
#else
  record->execute = Slot(1);
  record->state = Slot(4);
  record->operation6 = Slot(6);
  record->operation7 = Slot(7);
  record->operation5 = Slot(5);
  record->operation2 = Slot(2);
  record->operation8 = Slot(8);
  record->operation3 = Slot(3);
#endif
}

}  // namespace fm
