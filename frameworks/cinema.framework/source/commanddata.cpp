// The default answers of a command's operations.

#include "commanddata.h"

#include "forwards.h"
#include "maxon/hoststring.h"
#include "maxon/translationunit.h"

FW_CINEMA_TRANSLATION_UNIT()

namespace fm {

BaseData::~BaseData() = default;

CommandData::~CommandData() = default;

bool CommandData::Operation2(void*, void*) { return false; }

bool CommandData::Operation3(void*, void*) { return false; }

int32_t CommandData::GetState(void*, void*) { return kEnabled; }

bool CommandData::Operation5(void*, void*) { return false; }

bool CommandData::Operation6(void*, void*) { return true; }

// The receiver releases what it gets, so the shared empty string goes out with a reference of its
// own; before the tables are bound a new empty string stands in.
StringValue CommandData::Operation7(void*, void*) {
  if (g_hostTables != nullptr && g_hostTables->string != nullptr) {
    const String* holder = EmptyString();
    String empty = holder != nullptr ? *holder : nullptr;
    if (empty != nullptr) {
      maxon::StringAddReference(empty);
      return StringValue(empty);
    }
  }
  return StringValue(maxon::StringFromCString(""));
}

bool CommandData::Operation8(void*, void*) { return true; }

}  // namespace fm
