#include "host/framework/switches.h"

#include <algorithm>
#include <mutex>

namespace fm::host {
namespace {

struct Switches {
  std::mutex mutex;
  std::vector<std::string> omittedMethods;
  std::vector<std::string> coreModules;
  bool initializerAbsent = false;
};

Switches& TheSwitches() {
  static auto* switches = new Switches;
  return *switches;
}

bool Contains(const std::vector<std::string>& list, std::string_view value) {
  return std::find(list.begin(), list.end(), value) != list.end();
}

}  // namespace

void OmitMethod(std::string methodIdentifier) {
  Switches& s = TheSwitches();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.omittedMethods.push_back(std::move(methodIdentifier));
}

bool IsMethodOmitted(std::string_view methodIdentifier) {
  Switches& s = TheSwitches();
  std::lock_guard<std::mutex> lock(s.mutex);
  return Contains(s.omittedMethods, methodIdentifier);
}

void SetInitializerAbsent(bool absent) {
  Switches& s = TheSwitches();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.initializerAbsent = absent;
}

bool InitializerAbsent() {
  Switches& s = TheSwitches();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.initializerAbsent;
}

void MarkModuleCore(std::string moduleId) {
  Switches& s = TheSwitches();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.coreModules.push_back(std::move(moduleId));
}

bool IsModuleMarkedCore(std::string_view moduleId) {
  Switches& s = TheSwitches();
  std::lock_guard<std::mutex> lock(s.mutex);
  return Contains(s.coreModules, moduleId);
}

void ClearSwitches() {
  Switches& s = TheSwitches();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.omittedMethods.clear();
  s.coreModules.clear();
  s.initializerAbsent = false;
}

}  // namespace fm::host
