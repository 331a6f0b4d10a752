#pragma once
// Configuration variables: process-wide switches the module defines and hands to the host's
// configuration service, so that the host can set them before the module runs.

#include <cstddef>
#include <cstdint>

#include "maxon/errorref.h"

namespace maxon {

enum class CONFIGURATION_CATEGORY : int32_t {
  REGULAR = 0,
  DEVELOPMENT = 1,
  MODULE = 2,
  EXTENSION = 3,
  IMPLEMENTATION = 4,
  NONE = 5,
};

// Where the host took a value from, and how it was taken (names carried for the host).
enum class CONFIGURATIONENTRY_ORIGIN : int32_t { APPLICATION, CONFIGURATION, ENVIRONMENT, COMMANDLINE };
enum class CONFIGURATIONENTRY_STATE : int32_t { UNUSED, INVALIDARGUMENT, USED, OUTOFRANGE };

enum class CONFIGURATION_TYPE : int32_t {
  BOOL = 0,       // one byte
  INT = 1,        // int64_t, with minimum and maximum
  FLOAT = 2,      // double, minimum and maximum as the doubles' bits
  COUNTED_A = 3,  // reference-counted values: a pointer-sized variable and a further pointer
  COUNTED_B = 4,
};

// One registered variable, as the host reads it.
struct ConfigurationEntry {
  const char* name;           // 0
  const char* help;           // 8
  CONFIGURATION_CATEGORY category;  // 16
  int32_t padding1;           // 20
  void* variable;             // 24: the host writes a value it has for `name` through this
  CONFIGURATION_TYPE type;    // 32
  int32_t padding2;           // 36
  int64_t minimum;            // 40: integer minimum, or a double's bits
  union {                     // 48
    int64_t maximum;          // integer maximum, or a double's bits
    void* further;            // types 3 and 4: the pointer given at registration
  };
};
static_assert(sizeof(ConfigurationEntry) == 56);
static_assert(offsetof(ConfigurationEntry, name) == 0);
static_assert(offsetof(ConfigurationEntry, help) == 8);
static_assert(offsetof(ConfigurationEntry, category) == 16);
static_assert(offsetof(ConfigurationEntry, variable) == 24);
static_assert(offsetof(ConfigurationEntry, type) == 32);
static_assert(offsetof(ConfigurationEntry, minimum) == 40);
static_assert(offsetof(ConfigurationEntry, maximum) == 48);
static_assert(offsetof(ConfigurationEntry, further) == 48);

inline constexpr int64_t CONFIGURATION_CAPACITY = 256;

// Releases one reference on a counted value when the module shuts down.
using ConfigurationRelease = void (*)(void* value);

struct ConfigurationTable {
  ConfigurationEntry entries[CONFIGURATION_CAPACITY];
  int64_t count;
  // Module-side only, parallel to `entries`: how to release a counted value.
  ConfigurationRelease release[CONFIGURATION_CAPACITY];
};

// The module's table. Constant-initialised, so units may register from their static
// initialisers in any order; never cleared.
extern ConfigurationTable g_configurationTable;

// Registration. Each fills the next entry and returns the default, which the caller stores into
// its variable. On a full table nothing is registered: the boolean, integer and floating-point
// variants write the default into the variable themselves; the counted variant leaves the
// variable alone and answers false.
bool ConfigurationRegisterBool(ConfigurationTable& table, const char* name, bool* variable,
                               bool defaultValue, CONFIGURATION_CATEGORY category,
                               const char* help);
int64_t ConfigurationRegisterInt(ConfigurationTable& table, const char* name, int64_t* variable,
                                 int64_t defaultValue, int64_t minimum, int64_t maximum,
                                 CONFIGURATION_CATEGORY category, const char* help);
double ConfigurationRegisterFloat(ConfigurationTable& table, const char* name, double* variable,
                                  double defaultValue, double minimum, double maximum,
                                  CONFIGURATION_CATEGORY category, const char* help);
// `type` is COUNTED_A or COUNTED_B; `release` drops one reference on the variable's value at
// shut-down (may be null when the value needs no release).
bool ConfigurationRegisterCounted(ConfigurationTable& table, const char* name, void** variable,
                                  CONFIGURATION_TYPE type, void* further,
                                  CONFIGURATION_CATEGORY category, const char* help,
                                  ConfigurationRelease release);

// The same on the module's table.
bool ConfigurationRegisterBool(const char* name, bool* variable, bool defaultValue,
                               CONFIGURATION_CATEGORY category, const char* help);

// Hands every used entry, in registration order, to `registerEntry` — unless a module in the list
// starting at `modules` is flagged CORE, in which case nothing is handed over.
struct ModuleRecord;
void ConfigurationRegisterEntries(const ModuleRecord* modules, const ConfigurationTable& table,
                                  void (*registerEntry)(const ConfigurationEntry* entry));

// Releases the values of the counted entries and empties their variables.
void ConfigurationReleaseEntries(ConfigurationTable& table);

// The configuration unit's initialisation hooks (the host runs them after binding and at
// shut-down): the module's table through the system interface's ConfigurationRegister.
ErrorRef ConfigurationInit();
void ConfigurationFree();

}  // namespace maxon
