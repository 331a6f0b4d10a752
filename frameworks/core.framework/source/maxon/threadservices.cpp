// The thread-services interface reference. None of its methods is of kind OTHER, so the filler
// writes no stubs; unbound slots stay null and the calls below check them.
#include "maxon/threadservices.h"

#include <iterator>

#include "maxon/interfacereference.h"
#include "maxon/translationunit.h"

FW_CORE_TRANSLATION_UNIT()

namespace maxon {
namespace {

using K = NULL_RETURN_TYPE;

constexpr MethodEntry THREADSERVICES_METHODS[] = {
    {"AddJobReference@1659ebc1f694f39a", K::VOID_ZERO},
    {"Cancel@1659ebc1f694f39a", K::VOID_ZERO},
    {"TestBreak@eabf736c374743f8", K::INTEGRAL_ZERO},
    {"RemoveJobReference@da1d21939365308e", K::VOID_ZERO},
};
static_assert(std::size(THREADSERVICES_METHODS) == THREADSERVICES_METHOD_COUNT);

constexpr auto THREADSERVICES_BLOB =
    MakeMethodBlob<MethodBlobSize(THREADSERVICES_METHODS)>(THREADSERVICES_METHODS);

constinit void* g_threadServicesMethods[THREADSERVICES_METHOD_COUNT]{};

void WriteThreadServicesStubs() {}

void FillThreadServices(EntityBase* reference, Binder binder) {
  FillAndBind(g_threadServicesInterface, reference, binder, WriteThreadServicesStubs);
}

void CallWithJob(size_t slot, void* job) {
  if (auto method = SlotAs<void (*)(void*)>(g_threadServicesInterface, slot)) method(job);
}

}  // namespace

constinit InterfaceReferenceRecord g_threadServicesInterface{};

namespace {
[[maybe_unused]] InterfaceReferenceRecord* const g_threadServicesInterfaceBuilt =
    ConstructInterfaceReference(g_threadServicesInterface, "net.maxon.interface.threadservices",
                                g_threadServicesMethods, nullptr, THREADSERVICES_BLOB.bytes,
                                THREADSERVICES_METHOD_COUNT, FillThreadServices, nullptr,
                                FW_THIS_TRANSLATION_UNIT, 0);
}  // namespace

void JobAddReference(void* job) { CallWithJob(THREADSERVICES_ADD_JOB_REFERENCE, job); }
void JobCancel(void* job) { CallWithJob(THREADSERVICES_CANCEL, job); }
void JobRemoveReference(void* job) { CallWithJob(THREADSERVICES_REMOVE_JOB_REFERENCE, job); }

bool JobTestBreak(void* job) {
  auto testBreak = SlotAs<bool (*)(void*)>(g_threadServicesInterface, THREADSERVICES_TEST_BREAK);
  return testBreak != nullptr && testBreak(job);
}

}  // namespace maxon
