// ValueTable: releasing tagged values.
#include "host/scene/records.h"
#include "host/tables/table_image.h"

namespace fm::host {
namespace {

// Releases what the value holds and leaves it empty (type 0). The value types a module hands over
// carry no storage of their own, so only the record is cleared. Null is ignored.
void ValueFree(TaggedValue* value) {
  if (value) *value = TaggedValue{};
}

}  // namespace

void FillValueTable(TableImage& table) { table.PutPlain<ValueEntries::ValueFree, &ValueFree>(); }

}  // namespace fm::host
