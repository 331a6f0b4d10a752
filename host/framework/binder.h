#pragma once
// The host's binder: fills a module's method table for one interface reference. Each method
// identifier in the reference's blob is looked up by exact text; a found method gets the host's
// function, any other slot the default its null-return kind names (kind OTHER keeps the stub the
// module's filler wrote). When the host implements the interface, the reference's resolving
// entity becomes the host's record and both are flagged INITIALIZED.

#include <cstdint>
#include <string>
#include <vector>

#include "host/framework/records.h"

namespace fm::host {

enum NullReturnType : uint8_t {
  kVoidZero = 0,
  kVoidZeroFreeFunction = 1,
  kIntegralZero = 2,
  kFloatZero = 3,
  kDoubleZero = 4,
  kPointerToZero = 5,
  kOther = 6,
};

// What one call of the binder did.
struct BindRecord {
  const records::EntityHead* reference;
  std::string interfaceId;
  int64_t count;
  int64_t resolved;                     // slots that now hold a host implementation
  std::vector<std::string> unresolved;  // identifiers the host does not implement, in slot order
  bool hostInterface;                   // the resolving entity was set
  std::string problem;                  // why the reference could not be read; "" when sound
};

// The function every filler is handed.
void HostBinder(records::EntityHead* reference, void** methods, const uint8_t* nullReturnTypes,
                int64_t count);

// Late binding: writes the host's function into every slot the host can resolve now (other slots
// are left as they are). True exactly when every slot then has a host implementation.
bool RebindReference(records::InterfaceReferenceRecord* reference);

// The method identifiers of a reference's blob, in slot order; false (and `problem` filled) when
// the blob is missing or an identifier is not terminated within a sane length.
bool ReadMethodIdentifiers(const records::InterfaceReferenceRecord& reference,
                           std::vector<std::string>* identifiers, std::string* problem);

// Records of every binder call since the last take, oldest first.
std::vector<BindRecord> TakeBindRecords();

// Calls that reached a default the binder wrote, per kind (index = NullReturnType, 0..5).
struct DefaultCallCounts {
  int64_t byKind[6];
};
DefaultCallCounts DefaultCalls();
void ResetDefaultCalls();

// The 64 zero bytes a POINTER_TO_ZERO default returns.
const void* ZeroBlock();

}  // namespace fm::host
