#pragma once
// The headless host with the real module file loaded, shared by the targets that run the command.
// It is loaded once and never unloaded: the module's coverage counters stay registered with the
// fuzzer, and no execution pays for a load.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/loader/module_host.h"
#include "host/tables/environment.h"

#ifndef FM_PLUGIN_DIR
#error "FM_PLUGIN_DIR names the plug-in folder the fuzz target loads the module from"
#endif

namespace fm::fuzz {

inline constexpr int32_t kCommandId = 1050896;

struct LoadedModule {
  host::Environment environment;
  host::ModuleHost modules{environment};

  LoadedModule() {
    environment.SetDiagnosticEcho(false);
    if (!modules.LoadFolder(FM_PLUGIN_DIR) || !modules.FindCommand(kCommandId)) {
      for (const std::string& e : modules.Errors()) std::fprintf(stderr, "%s\n", e.c_str());
      std::fprintf(stderr, "the module in %s does not load\n", FM_PLUGIN_DIR);
      std::abort();
    }
  }
};

// The one loaded module of the process; the first call loads it.
inline LoadedModule& TheLoadedModule() {
  static LoadedModule* loaded = new LoadedModule;  // never destroyed: the module stays loaded until exit
  return *loaded;
}

}  // namespace fm::fuzz
