#pragma once
// A minimal host for level-1 tests: a binder that looks method identifiers up by exact text, the
// defaults per NULL_RETURN_TYPE, an initialiser for late resolution and declarations, and a
// console that records lines. One instance at a time; its destructor unbinds everything, so each
// test starts from the state the module has after load.

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "maxon/entity.h"
#include "maxon/systeminterface.h"

namespace fmtest {

class FakeHost {
 public:
  FakeHost();
  ~FakeHost();
  FakeHost(const FakeHost&) = delete;
  FakeHost& operator=(const FakeHost&) = delete;

  static FakeHost* Current();

  // The host implements `interfaceId`: its references get a resolving host record and are
  // flagged INITIALIZED when bound.
  void ProvideInterface(const std::string& interfaceId);
  // The host implementation of one method identifier ("Name@hash").
  void Implement(const std::string& methodId, void* function);
  void Withdraw(const std::string& methodId);
  // The object the initialiser stores into the declaration with this id.
  void ProvideObject(const std::string& declarationId, void* object);
  // Store (or not) the initialiser into g_maxon.
  void InstallInitializer(bool install);
  // Implements the system interface's console so that diagnostics land in console().
  void ProvideConsole();
  // What GetConsoleOutputType answers (implemented from the start). The default keeps bit 29
  // set, so the module keeps asking and no answer outlives the fake host.
  void SetConsoleMask(uint32_t mask) { consoleMask_ = mask; }

  // Binds every interface reference of every module in g_maxon (filler, then binder).
  void BindAll();
  // The records of one type across all modules.
  std::vector<maxon::EntityBase*> Records(maxon::EntityBase::TYPE type) const;
  maxon::InterfaceReferenceRecord* Reference(const std::string& interfaceId) const;

  const std::vector<std::string>& console() const { return console_; }
  // "file(line)" of each console line.
  const std::vector<std::string>& consoleLocations() const { return consoleLocations_; }
  void ClearConsole() {
    console_.clear();
    consoleLocations_.clear();
  }
  int initializerCalls() const { return initializerCalls_; }
  // The error object the initialiser reports failures with.
  void* FailureError() { return &failure_; }

 private:
  static void Binder(maxon::EntityBase* reference, void** methods, const uint8_t* kinds,
                     int64_t count);
  static void Initializer(void** errorOut, maxon::EntityBase* entity, void* requester);
  static uint32_t ConsoleMask();
  static void ConsoleOutput(const char* line, const maxon::SourceLocation* location,
                            void* reserved, int64_t flags);
  bool BindTable(maxon::InterfaceReferenceRecord& reference, const uint8_t* kinds);

  std::set<std::string> interfaces_;
  std::map<std::string, void*> methods_;
  std::map<std::string, void*> objects_;
  std::map<std::string, std::unique_ptr<maxon::EntityBase>> hostRecords_;
  std::vector<std::string> console_;
  std::vector<std::string> consoleLocations_;
  int initializerCalls_ = 0;
  uint32_t consoleMask_ = 0x20000007;
  uint64_t failure_[8] = {};
};

// The identifier texts of a reference's blob, in slot order.
std::vector<std::string> MethodIds(const maxon::InterfaceReferenceRecord& reference);

}  // namespace fmtest
