#pragma once
// The headless host's front: loads the modules of a plug-in folder the way the application does,
// tells what was bound and registered, runs registered commands, and shuts everything down again.
//
// Start-up of each module: load and bind (ModuleFile), then c4d_main(1, tables, 0, &pathWord)
// with the module's full path as a host path word, c4d_main(6, 1, 0, 0) to load its resources,
// c4d_main(2, 0, 0, 0) to register its commands. Shut-down, modules in reverse order:
// c4d_main(3, 0, 0, 0), each command released through its record, the free hooks, the path word,
// unload. A ModuleHost must not outlive the Environment it was made with.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/loader/command_record.h"
#include "host/loader/module_file.h"
#include "host/tables/environment.h"

namespace fm::host {

struct HostedCommand {
  int32_t id;
  std::string name;
  std::string help;
  std::shared_ptr<const Bitmap> icon;
  std::string module;  // file of the module that registered it
  CommandRecord record;
};

struct LoadedModuleInfo {
  std::string file;
  int32_t attachAnswer;    // c4d_main 1
  int32_t resourceAnswer;  // c4d_main 6 with id 1
  int32_t startAnswer;     // c4d_main 2
  bool exportsCpuYieldDelegate;
  std::vector<ModuleRecordInfo> records;  // newest first
  std::vector<int32_t> commandIds;
};

class ModuleHost {
 public:
  explicit ModuleHost(Environment& environment);
  ~ModuleHost();
  ModuleHost(const ModuleHost&) = delete;
  ModuleHost& operator=(const ModuleHost&) = delete;

  // Loads every module found in `folder` (see FindModules). True when at least one was found and
  // all of them loaded; each failure is in Errors() and the others still load.
  bool LoadFolder(const std::string& folder);
  // One module file. False, with the reason in Errors(), when it is not a module, is already
  // loaded, its initialisation fails or it refuses the host at attach; nothing of it stays loaded
  // then (an already loaded one stays as it was).
  bool LoadModule(const std::string& file);

  const std::vector<std::string>& Errors() const { return errors_; }
  // Things that did not stop a module from loading (resources not loaded, registration refused).
  const std::vector<std::string>& Warnings() const { return warnings_; }

  size_t ModuleCount() const { return modules_.size(); }
  ModuleFile& Module(size_t index) { return *modules_[index].file; }
  std::vector<LoadedModuleInfo> Modules() const;

  // Registered commands in registration order; FindCommand gives the first with the id.
  std::vector<const HostedCommand*> Commands() const;
  const HostedCommand* FindCommand(int32_t id) const;

  // Calls through the command's record; nullopt when no command has the id or its record has no
  // entry for the operation.
  std::optional<bool> Execute(int32_t id, void* document, void* parent = nullptr);
  std::optional<int32_t> State(int32_t id, void* document, void* parent = nullptr);
  // Operations 2, 3, 5, 6 and 8.
  std::optional<bool> Operation(int32_t id, int slot, void* document, void* parent = nullptr);
  // Operation 7; the string's reference is released after its text is read.
  std::optional<std::string> StringOperation(int32_t id, void* document, void* parent = nullptr);

  // Shuts every module down, newest first. Also done by the destructor.
  void Shutdown();

 private:
  struct Loaded {
    std::unique_ptr<ModuleFile> file;
    void* pathWord = nullptr;
    int32_t attachAnswer = 0;
    int32_t resourceAnswer = 0;
    int32_t startAnswer = 0;
    std::vector<std::vector<uint8_t>> registrations;  // records it handed to PluginRegister
  };

  void AdoptRegistrations(size_t firstNew, Loaded& loaded);
  void ShutDown(Loaded& loaded);

  Environment& environment_;
  std::vector<Loaded> modules_;
  std::vector<std::unique_ptr<HostedCommand>> commands_;
  std::vector<std::string> errors_;
  std::vector<std::string> warnings_;
};

}  // namespace fm::host
