#pragma once
// Shared by the table entries: reaching the Environment, turning the module's opaque pointers back
// into host objects (nodes travel as Node*), and reporting calls the host turns down.

#include <string>

#include "host/framework/strings.h"
#include "host/scene/object.h"
#include "host/tables/environment.h"

namespace fm::host {

inline void Diagnose(std::string message) { CurrentEnvironment().Diagnose(std::move(message)); }

// Reports that `entry` was given a null `what`. Out of line, so that the entries a module calls for
// every polygon stay small enough to sit inside the code that calls them.
__attribute__((noinline, cold)) inline void DiagnoseNull(const char* entry, const char* what) {
  Diagnose(std::string(entry) + ": null " + what);
}

// The object behind a node pointer, or null (diagnosed, naming `entry`) for null or a tag.
inline Object* AsObject(void* node, const char* entry) {
  auto* n = static_cast<Node*>(node);
  if (!n || n->Kind() != NodeKind::Object) {
    Diagnose(std::string(entry) + ": " + (n ? "a tag" : "a null node") + " given for an object");
    return nullptr;
  }
  return static_cast<Object*>(n);
}

// The polygon object behind a node pointer, or null (diagnosed) for anything else.
inline PolygonObject* AsPolygonObject(void* node, const char* entry) {
  Object* object = AsObject(node, entry);
  if (!object) return nullptr;
  auto* polygons = dynamic_cast<PolygonObject*>(object);
  if (!polygons) Diagnose(std::string(entry) + ": \"" + object->Name() + "\" is no polygon object");
  return polygons;
}

inline void* Handle(Node* node) { return node; }

}  // namespace fm::host
