#include "host/loader/module_host.h"

#include <algorithm>
#include <cstdint>

#include "host/framework/strings.h"
#include "host/loader/discovery.h"
#include "host/loader/library.h"
#include "host/tables/paths.h"

namespace fm::host {
namespace {

constexpr int32_t kAttach = 1;
constexpr int32_t kStart = 2;
constexpr int32_t kEnd = 3;
constexpr int32_t kModuleMessage = 6;
constexpr intptr_t kLoadResources = 1;

}  // namespace

ModuleHost::ModuleHost(Environment& environment) : environment_(environment) {}

ModuleHost::~ModuleHost() { Shutdown(); }

bool ModuleHost::LoadFolder(const std::string& folder) {
  std::string error;
  const std::vector<FoundModule> found =
      FindModules(folder, environment_.StartupDirectory(), &error);
  if (!error.empty()) {
    errors_.push_back(error);
    return false;
  }
  if (found.empty()) {
    errors_.push_back("no module file (*" + std::string(FM_MODULE_SUFFIX) + ") in the folders of \"" +
                      folder + "\"");
    return false;
  }
  bool all = true;
  for (const FoundModule& module : found) {
    if (!module.resourceDirectoryExists)
      warnings_.push_back("\"" + module.file + "\": no resource folder \"" +
                          module.resourceDirectory + "\"");
    all = LoadModule(module.file) && all;
  }
  return all;
}

bool ModuleHost::LoadModule(const std::string& file) {
  // A second load would hand back the same image: its hooks and attach would run twice.
  const std::string full = FullPath(file);
  for (const Loaded& already : modules_) {
    if (already.file->Path() == full) {
      errors_.push_back("\"" + full + "\" is already loaded");
      return false;
    }
  }
  std::string error;
  Loaded loaded;
  loaded.file = ModuleFile::Load(file, &error);
  if (!loaded.file) {
    errors_.push_back(error);
    return false;
  }
  const std::string& path = loaded.file->Path();
  InitPathWord(&loaded.pathWord, path);

  loaded.attachAnswer = loaded.file->Main(kAttach, environment_.Tables(), nullptr, &loaded.pathWord);
  if (loaded.attachAnswer != 1) {
    errors_.push_back("\"" + path + "\" refused the host (attach answered " +
                      std::to_string(loaded.attachAnswer) + " for API version " +
                      std::to_string(environment_.ApiVersion()) + ")");
    // The module counted the attach: the end message balances it before the file goes.
    loaded.file->Main(kEnd, nullptr, nullptr, nullptr);
    loaded.file->RunFreeHooks();
    FreePathWord(&loaded.pathWord);
    return false;
  }
  loaded.resourceAnswer = loaded.file->Main(
      kModuleMessage, reinterpret_cast<void*>(kLoadResources), nullptr, nullptr);
  if (loaded.resourceAnswer != 1)
    warnings_.push_back("\"" + path + "\" did not load its resources (module message 1 answered " +
                        std::to_string(loaded.resourceAnswer) + ")");
  const size_t firstNew = environment_.Registrations().size();
  loaded.startAnswer = loaded.file->Main(kStart, nullptr, nullptr, nullptr);
  if (loaded.startAnswer != 1)
    warnings_.push_back("\"" + path + "\" did not register its commands (start answered " +
                        std::to_string(loaded.startAnswer) + ")");
  AdoptRegistrations(firstNew, loaded);
  modules_.push_back(std::move(loaded));
  return true;
}

void ModuleHost::AdoptRegistrations(size_t firstNew, Loaded& loaded) {
  const std::string& module = loaded.file->Path();
  const std::vector<CommandRegistration>& registrations = environment_.Registrations();
  for (size_t i = firstNew; i < registrations.size(); ++i) {
    const CommandRegistration& registration = registrations[i];
    loaded.registrations.push_back(registration.record);
    if (registration.kind != kCommandPluginKind) {
      warnings_.push_back("\"" + module + "\" registered plug-in " + std::to_string(registration.id) +
                          " of kind " + std::to_string(registration.kind) +
                          ", which this host does not run");
      continue;
    }
    std::string error;
    std::vector<uint8_t> bytes = registration.record;
    if (registration.recordSize != kRecordSize) {
      warnings_.push_back("\"" + module + "\" registered command " + std::to_string(registration.id) +
                          " with a record of " + std::to_string(registration.recordSize) +
                          " bytes instead of " + std::to_string(kRecordSize) + "; it is not run");
      continue;
    }
    std::optional<CommandRecord> record = CommandRecord::Make(std::move(bytes), &error);
    if (!record) {
      warnings_.push_back("\"" + module + "\" registered command " + std::to_string(registration.id) +
                          ": " + error + "; it is not run");
      continue;
    }
    commands_.push_back(std::make_unique<HostedCommand>(HostedCommand{
        registration.id, registration.name, registration.help, registration.icon, module,
        std::move(*record)}));
  }
}

std::vector<LoadedModuleInfo> ModuleHost::Modules() const {
  std::vector<LoadedModuleInfo> out;
  for (const Loaded& loaded : modules_) {
    LoadedModuleInfo info{loaded.file->Path(), loaded.attachAnswer, loaded.resourceAnswer,
                          loaded.startAnswer, loaded.file->ExportsCpuYieldDelegate(),
                          loaded.file->Describe(), {}};
    for (const auto& command : commands_)
      if (command->module == loaded.file->Path()) info.commandIds.push_back(command->id);
    out.push_back(std::move(info));
  }
  return out;
}

std::vector<const HostedCommand*> ModuleHost::Commands() const {
  std::vector<const HostedCommand*> out;
  for (const auto& command : commands_) out.push_back(command.get());
  return out;
}

const HostedCommand* ModuleHost::FindCommand(int32_t id) const {
  for (const auto& command : commands_)
    if (command->id == id) return command.get();
  return nullptr;
}

std::optional<bool> ModuleHost::Execute(int32_t id, void* document, void* parent) {
  const HostedCommand* command = FindCommand(id);
  if (command == nullptr) return std::nullopt;
  return command->record.Execute(document, parent);
}

std::optional<int32_t> ModuleHost::State(int32_t id, void* document, void* parent) {
  const HostedCommand* command = FindCommand(id);
  if (command == nullptr) return std::nullopt;
  return command->record.State(document, parent);
}

std::optional<bool> ModuleHost::Operation(int32_t id, int slot, void* document, void* parent) {
  const HostedCommand* command = FindCommand(id);
  if (command == nullptr) return std::nullopt;
  return command->record.BoolOperation(slot, document, parent);
}

std::optional<std::string> ModuleHost::StringOperation(int32_t id, void* document, void* parent) {
  const HostedCommand* command = FindCommand(id);
  if (command == nullptr) return std::nullopt;
  bool foreign = false;
  std::optional<HostString*> result = command->record.StringOperation(document, parent, &foreign);
  if (!result) return std::nullopt;
  if (foreign) {
    warnings_.push_back("operation 7 of command " + std::to_string(id) +
                        " left no host string in its result slot");
  }
  std::string text = ToUtf8(*result);
  Release(*result);
  return text;
}

void ModuleHost::ShutDown(Loaded& loaded) {
  const std::string path = loaded.file->Path();
  loaded.file->Main(kEnd, nullptr, nullptr, nullptr);
  for (auto& command : commands_)
    if (command->module == path) command->record.Release();
  std::erase_if(commands_, [&](const auto& command) { return command->module == path; });
  // The module's code goes with the file: no registration of it may stay behind.
  std::erase_if(environment_.Registrations(), [&](const CommandRegistration& r) {
    return std::find(loaded.registrations.begin(), loaded.registrations.end(), r.record) !=
           loaded.registrations.end();
  });
  loaded.file->RunFreeHooks();
  FreePathWord(&loaded.pathWord);
  loaded.file.reset();
}

void ModuleHost::Shutdown() {
  while (!modules_.empty()) {
    ShutDown(modules_.back());
    modules_.pop_back();
  }
}

}  // namespace fm::host
