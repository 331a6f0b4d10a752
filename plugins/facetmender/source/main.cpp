// The plug-in's answers to the module's life-cycle messages.

#include <cstdint>

#include "facetmender.h"
#include "maxon/translationunit.h"
#include "modulehooks.h"
#include "resource.h"

FW_PLUGIN_TRANSLATION_UNIT()

namespace fm {

namespace {

enum ModuleMessage : int32_t {
  kNothing = 0,
  kLoadResources = 1,
};

}  // namespace

bool StartModule() { return RegisterUntriangulateCommand(); }

void EndModule() {}

bool HandleModuleMessage(int32_t id, void*) {
  switch (id) {
    case kNothing:
      return true;
    case kLoadResources:
      return InitModuleResource();
    default:
      return false;
  }
}

}  // namespace fm
