// The configuration table and its hand-over to the host.
#include "maxon/configuration.h"

#include <bit>

#include "maxon/entity.h"
#include "maxon/maxonrecord.h"
#include "maxon/systeminterface.h"
#include "maxon/translationunit.h"

FW_CORE_TRANSLATION_UNIT()

namespace maxon {
namespace {

// The next free entry, or null on a full table. Registration runs on the loader's thread during
// static initialisation, so the count needs no lock.
ConfigurationEntry* NextEntry(ConfigurationTable& table, const char* name, void* variable,
                              CONFIGURATION_TYPE type, CONFIGURATION_CATEGORY category,
                              const char* help) {
  if (table.count < 0 || table.count >= CONFIGURATION_CAPACITY) return nullptr;
  const int64_t index = table.count++;
  ConfigurationEntry& entry = table.entries[index];
  entry.name = name;
  entry.help = help;
  entry.category = category;
  entry.variable = variable;
  entry.type = type;
  entry.minimum = 0;
  entry.maximum = 0;
  table.release[index] = nullptr;
  return &entry;
}

bool IsCounted(CONFIGURATION_TYPE type) {
  return type == CONFIGURATION_TYPE::COUNTED_A || type == CONFIGURATION_TYPE::COUNTED_B;
}

void RegisterWithHost(const ConfigurationEntry* entry) {
  // The host's answer changes nothing here: the variable keeps its default unless the host wrote
  // a value through the entry.
  SystemConfigurationRegister(entry);
}

constinit InitializationRecord g_configurationInitialization{};
constinit DependencyRecord g_configurationDependency{};

}  // namespace

constinit ConfigurationTable g_configurationTable{};

namespace {
[[maybe_unused]] InitializationRecord* const g_configurationInitializationBuilt =
    ConstructInitialization(g_configurationInitialization, "maxon/configuration",
                            ConfigurationInit, ConfigurationFree, FW_THIS_TRANSLATION_UNIT);
[[maybe_unused]] DependencyRecord* const g_configurationDependencyBuilt = ConstructDependency(
    g_configurationDependency, EntityBase::TYPE::DEPENDENCY, "configuration",
    FW_THIS_TRANSLATION_UNIT, "maxon/configuration", 0);
}  // namespace

bool ConfigurationRegisterBool(ConfigurationTable& table, const char* name, bool* variable,
                               bool defaultValue, CONFIGURATION_CATEGORY category,
                               const char* help) {
  if (NextEntry(table, name, variable, CONFIGURATION_TYPE::BOOL, category, help) == nullptr)
    *variable = defaultValue;
  return defaultValue;
}

int64_t ConfigurationRegisterInt(ConfigurationTable& table, const char* name, int64_t* variable,
                                 int64_t defaultValue, int64_t minimum, int64_t maximum,
                                 CONFIGURATION_CATEGORY category, const char* help) {
  ConfigurationEntry* entry =
      NextEntry(table, name, variable, CONFIGURATION_TYPE::INT, category, help);
  if (entry == nullptr) {
    *variable = defaultValue;
    return defaultValue;
  }
  entry->minimum = minimum;
  entry->maximum = maximum;
  return defaultValue;
}

double ConfigurationRegisterFloat(ConfigurationTable& table, const char* name, double* variable,
                                  double defaultValue, double minimum, double maximum,
                                  CONFIGURATION_CATEGORY category, const char* help) {
  ConfigurationEntry* entry =
      NextEntry(table, name, variable, CONFIGURATION_TYPE::FLOAT, category, help);
  if (entry == nullptr) {
    *variable = defaultValue;
    return defaultValue;
  }
  entry->minimum = std::bit_cast<int64_t>(minimum);
  entry->maximum = std::bit_cast<int64_t>(maximum);
  return defaultValue;
}

bool ConfigurationRegisterCounted(ConfigurationTable& table, const char* name, void** variable,
                                  CONFIGURATION_TYPE type, void* further,
                                  CONFIGURATION_CATEGORY category, const char* help,
                                  ConfigurationRelease release) {
  if (!IsCounted(type)) return false;
  ConfigurationEntry* entry = NextEntry(table, name, variable, type, category, help);
  if (entry == nullptr) return false;
  entry->further = further;
  table.release[entry - table.entries] = release;
  return true;
}

bool ConfigurationRegisterBool(const char* name, bool* variable, bool defaultValue,
                               CONFIGURATION_CATEGORY category, const char* help) {
  return ConfigurationRegisterBool(g_configurationTable, name, variable, defaultValue, category,
                                   help);
}

void ConfigurationRegisterEntries(const ModuleRecord* modules, const ConfigurationTable& table,
                                  void (*registerEntry)(const ConfigurationEntry* entry)) {
  // A module flagged CORE takes its configuration from elsewhere: hand over nothing at all.
  for (const ModuleRecord* module = modules; module != nullptr; module = module->previous)
    if ((module->head.flags & EntityBase::FLAGS::CORE) != 0) return;
  for (int64_t i = 0; i < table.count && i < CONFIGURATION_CAPACITY; ++i)
    registerEntry(&table.entries[i]);
}

void ConfigurationReleaseEntries(ConfigurationTable& table) {
  for (int64_t i = 0; i < table.count && i < CONFIGURATION_CAPACITY; ++i) {
    ConfigurationEntry& entry = table.entries[i];
    if (!IsCounted(entry.type) || entry.variable == nullptr) continue;
    void** variable = static_cast<void**>(entry.variable);
    void* value = *variable;
    *variable = nullptr;
    if (value != nullptr && table.release[i] != nullptr) table.release[i](value);
  }
}

ErrorRef ConfigurationInit() {
  ConfigurationRegisterEntries(g_maxon.modules, g_configurationTable, RegisterWithHost);
  return ErrorRef();
}

void ConfigurationFree() { ConfigurationReleaseEntries(g_configurationTable); }

}  // namespace maxon
