#include "host/framework/configuration.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

#include "host/framework/errors.h"

namespace fm::host {
namespace {

constexpr const char* kEnvironmentPrefix = "FM_CONFIG_";

struct Configuration {
  std::mutex mutex;
  std::map<std::string, std::string, std::less<>> options;
  std::vector<RegisteredConfiguration> entries;
  std::string owner;
};

Configuration& TheConfiguration() {
  static auto* configuration = new Configuration;
  return *configuration;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  return text;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

std::optional<int64_t> ParseInteger(const std::string& text) {
  if (text.empty()) return std::nullopt;
  errno = 0;
  char* end = nullptr;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || end != text.c_str() + text.size()) return std::nullopt;
  return static_cast<int64_t>(value);
}

std::optional<double> ParseFloat(const std::string& text) {
  if (text.empty()) return std::nullopt;
  errno = 0;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (errno != 0 || end != text.c_str() + text.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

double BitsToDouble(int64_t bits) {
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// Writes `text` through the entry's variable when it parses and fits; the state says what happened.
ConfigurationState Apply(const records::ConfigurationEntry& entry, const std::string& text) {
  if (entry.variable == nullptr) return ConfigurationState::kInvalidArgument;
  switch (entry.type) {
    case 0: {
      const std::optional<bool> value = ParseBooleanValue(text);
      if (!value) return ConfigurationState::kInvalidArgument;
      *static_cast<uint8_t*>(entry.variable) = *value ? 1 : 0;
      return ConfigurationState::kUsed;
    }
    case 1: {
      const std::optional<int64_t> value = ParseInteger(text);
      if (!value) return ConfigurationState::kInvalidArgument;
      if (*value < entry.minimum || *value > entry.maximum) return ConfigurationState::kOutOfRange;
      std::memcpy(entry.variable, &*value, sizeof *value);
      return ConfigurationState::kUsed;
    }
    case 2: {
      const std::optional<double> value = ParseFloat(text);
      if (!value) return ConfigurationState::kInvalidArgument;
      if (*value < BitsToDouble(entry.minimum) || *value > BitsToDouble(entry.maximum))
        return ConfigurationState::kOutOfRange;
      std::memcpy(entry.variable, &*value, sizeof *value);
      return ConfigurationState::kUsed;
    }
    default:
      // Counted values cannot be made from text by this host.
      return ConfigurationState::kInvalidArgument;
  }
}

}  // namespace

std::optional<bool> ParseBooleanValue(std::string_view text) {
  if (text == "1" || EqualsIgnoringCase(text, "true")) return true;
  if (text == "0" || EqualsIgnoringCase(text, "false")) return false;
  return std::nullopt;
}

bool SetConfigurationOption(std::string_view nameEqualsValue, std::string* error) {
  const std::string_view item = Trim(nameEqualsValue);
  const size_t equals = item.find('=');
  if (equals == std::string_view::npos || Trim(item.substr(0, equals)).empty()) {
    if (error) *error = "configuration value \"" + std::string(item) + "\" is not NAME=VALUE";
    return false;
  }
  const std::string name(Trim(item.substr(0, equals)));
  const std::string value(Trim(item.substr(equals + 1)));
  Configuration& configuration = TheConfiguration();
  std::lock_guard<std::mutex> lock(configuration.mutex);
  configuration.options[name] = value;
  return true;
}

bool SetConfigurationOptions(std::string_view list, std::string* error) {
  while (!list.empty()) {
    const size_t separator = list.find_first_of(",;");
    const std::string_view item = list.substr(0, separator);
    if (!Trim(item).empty() && !SetConfigurationOption(item, error)) return false;
    if (separator == std::string_view::npos) break;
    list.remove_prefix(separator + 1);
  }
  return true;
}

void ClearConfigurationOptions() {
  Configuration& configuration = TheConfiguration();
  std::lock_guard<std::mutex> lock(configuration.mutex);
  configuration.options.clear();
}

std::optional<std::string> ConfigurationValueFor(std::string_view name, ConfigurationOrigin* origin) {
  if (origin) *origin = ConfigurationOrigin::kNone;
  {
    Configuration& configuration = TheConfiguration();
    std::lock_guard<std::mutex> lock(configuration.mutex);
    const auto found = configuration.options.find(name);
    if (found != configuration.options.end()) {
      if (origin) *origin = ConfigurationOrigin::kCommandLine;
      return found->second;
    }
  }
  const std::string variable = kEnvironmentPrefix + std::string(name);
  if (const char* value = std::getenv(variable.c_str())) {
    if (origin) *origin = ConfigurationOrigin::kEnvironment;
    return std::string(Trim(value));
  }
  return std::nullopt;
}

const void* RegisterConfiguration(const records::ConfigurationEntry* entry) {
  if (entry == nullptr) return NullptrError();
  if (entry->name == nullptr || entry->name[0] == '\0') return IllegalArgumentError();

  RegisteredConfiguration record{entry->name,       entry->help ? entry->help : "",
                                 entry->category,   entry->type,
                                 entry->minimum,    entry->maximum,
                                 std::string(),     ConfigurationOrigin::kNone,
                                 ConfigurationState::kUnused, std::string()};
  if (std::optional<std::string> value = ConfigurationValueFor(record.name, &record.origin)) {
    record.value = *value;
    record.state = Apply(*entry, *value);
  }
  Configuration& configuration = TheConfiguration();
  std::lock_guard<std::mutex> lock(configuration.mutex);
  record.owner = configuration.owner;
  configuration.entries.push_back(std::move(record));
  return nullptr;
}

void SetConfigurationOwner(std::string owner) {
  Configuration& configuration = TheConfiguration();
  std::lock_guard<std::mutex> lock(configuration.mutex);
  configuration.owner = std::move(owner);
}

void ForgetConfigurationsOf(std::string_view owner) {
  Configuration& configuration = TheConfiguration();
  std::lock_guard<std::mutex> lock(configuration.mutex);
  std::erase_if(configuration.entries,
                [&](const RegisteredConfiguration& entry) { return entry.owner == owner; });
}

std::vector<RegisteredConfiguration> RegisteredConfigurations() {
  Configuration& configuration = TheConfiguration();
  std::lock_guard<std::mutex> lock(configuration.mutex);
  return configuration.entries;
}

void ClearRegisteredConfigurations() {
  Configuration& configuration = TheConfiguration();
  std::lock_guard<std::mutex> lock(configuration.mutex);
  configuration.entries.clear();
  configuration.owner.clear();
}

}  // namespace fm::host
