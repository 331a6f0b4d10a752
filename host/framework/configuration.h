#pragma once
// Configuration values a user of the host sets before a module runs, and the entries modules hand
// over with "ConfigurationRegister". A value reaches a module's variable when the module registers
// the entry of that name: values given as options win over FM_CONFIG_<NAME> environment variables.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/framework/records.h"

namespace fm::host {

enum class ConfigurationOrigin { kNone, kEnvironment, kCommandLine };
enum class ConfigurationState { kUnused, kInvalidArgument, kUsed, kOutOfRange };

struct RegisteredConfiguration {
  std::string name;
  std::string help;
  int32_t category;
  int32_t type;  // 0 boolean, 1 integer, 2 floating point, 3 and 4 counted values
  int64_t minimum;
  int64_t maximum;
  std::string owner;  // the module file that registered it ("" outside a module's start-up)
  ConfigurationOrigin origin;  // where the value applied (or refused) came from
  ConfigurationState state;
  std::string value;  // the text that was applied or refused
};

// Sets NAME=VALUE. False, with `error` filled, when the text has no '=' or no name.
bool SetConfigurationOption(std::string_view nameEqualsValue, std::string* error = nullptr);
// Several NAME=VALUE items separated by ',' or ';' (blanks around items ignored). Stops at the
// first malformed item and reports it; the items before it stay set.
bool SetConfigurationOptions(std::string_view list, std::string* error = nullptr);
void ClearConfigurationOptions();

// The value a registration of `name` would get, and where it comes from.
std::optional<std::string> ConfigurationValueFor(std::string_view name,
                                                 ConfigurationOrigin* origin = nullptr);

// The host's side of "ConfigurationRegister": records the entry and writes a set value through
// its variable pointer. Returns null, or an error when the entry is null or has no name. A value
// that does not parse or lies out of range is recorded as refused and the variable stays as is.
const void* RegisterConfiguration(const records::ConfigurationEntry* entry);

// Registrations are tagged with this owner until it is changed (the loader sets the module file
// around a module's initialisation hooks).
void SetConfigurationOwner(std::string owner);
// Forgets the entries of `owner` (their variables are gone once the module is unloaded).
void ForgetConfigurationsOf(std::string_view owner);

std::vector<RegisteredConfiguration> RegisteredConfigurations();
void ClearRegisteredConfigurations();

// "true"/"false"/"1"/"0" (true and false in any letter case).
std::optional<bool> ParseBooleanValue(std::string_view text);

}  // namespace fm::host
