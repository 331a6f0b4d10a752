#pragma once
// Framework objects the module refers to by id and resolves on first use through the host's
// initialiser (error objects, the 8-bit text decoding).

#include "maxon/entity.h"

namespace maxon {

// The declaration's cached object; when there is none yet and the host's initialiser is stored,
// asks it once for this call. Null when the host has no such object.
void* ResolveDeclaration(DeclarationRecord& declaration);

// A lazily resolved object used through `declaringReference`: the cached object, else (when the
// reference and its resolving entity are INITIALIZED) what the initialiser resolves, else
// `placeholder`. Never null when `placeholder` is not.
void* LazyDeclarationObject(DeclarationRecord& declaration,
                            const InterfaceReferenceRecord& declaringReference,
                            void* placeholder);

}  // namespace maxon
