// Declarations resolved on first use.
#include "maxon/declaration.h"

#include "maxon/interfacereference.h"
#include "maxon/maxonrecord.h"
#include "maxon/translationunit.h"

FW_CORE_TRANSLATION_UNIT()

namespace maxon {

void* ResolveDeclaration(DeclarationRecord& declaration) {
  if (declaration.cached != nullptr) return declaration.cached;
  const Initializer initializer = g_maxon.GetInitializer();
  if (initializer == nullptr) return nullptr;
  // The host stores its object into `cached`; its error answer adds nothing to a null cache.
  void* error = nullptr;
  initializer(&error, &declaration.head, &declaration.head);
  return declaration.cached;
}

void* LazyDeclarationObject(DeclarationRecord& declaration,
                            const InterfaceReferenceRecord& declaringReference,
                            void* placeholder) {
  if (declaration.cached != nullptr) return declaration.cached;
  if (IsInitialized(declaringReference)) {
    if (void* object = ResolveDeclaration(declaration)) return object;
  }
  return placeholder;
}

}  // namespace maxon
