#include "host/loader/module_file.h"

#include <algorithm>
#include <set>

#include "host/abi/host_abi.h"
#include "host/framework/binder.h"
#include "host/framework/configuration.h"
#include "host/framework/initializer.h"
#include "host/framework/switches.h"

namespace fm::host {
namespace {

// Far beyond what a sound module declares; a longer list is a cycle or garbage.
constexpr size_t kMaxModules = 1024;
constexpr size_t kMaxEntities = size_t{1} << 20;

std::string Text(const records::LiteralId& id) { return id.text ? id.text : ""; }

LiteralInfo Literal(const records::LiteralId& id) {
  const std::string text = Text(id);
  const uint64_t expected = id.text ? records::PackLiteral(text) : 0;
  return LiteralInfo{text, id.packed, (id.packed & ~records::kLiteralOwnedBit) == expected};
}

std::string Name(const records::EntityHead& head) {
  return "\"" + Text(head.id) + "\" (type " + std::to_string(head.type) + ")";
}

}  // namespace

std::unique_ptr<ModuleFile> ModuleFile::Load(const std::string& path, std::string* error) {
  std::unique_ptr<SharedLibrary> library = SharedLibrary::Open(path, error);
  if (!library) return nullptr;
  std::unique_ptr<ModuleFile> module(new ModuleFile(std::move(library)));
  if (!module->ReadExports(error) || !module->WalkRecords(error)) return nullptr;
  module->maxon_->initializer = InitializerAbsent() ? nullptr : &HostInitializer;
  if (!module->Bind(error) || !module->RunInitHooks(error)) return nullptr;
  return module;
}

ModuleFile::~ModuleFile() {
  RunFreeHooks();
  ForgetConfigurationsOf(Path());
}

bool ModuleFile::ReadExports(std::string* error) {
  main_ = reinterpret_cast<MainFunction>(library_->Symbol("c4d_main"));
  maxon_ = static_cast<records::GlobalRecord*>(library_->Symbol("g_maxon"));
  if (main_ == nullptr || maxon_ == nullptr) {
    *error = "\"" + Path() + "\" is not a module: it does not export " +
             (main_ == nullptr ? (maxon_ == nullptr ? "c4d_main and g_maxon" : "c4d_main")
                               : "g_maxon");
    return false;
  }
  if (maxon_->magic != records::kGlobalRecordVersion) {
    *error = "\"" + Path() + "\" is not a module: g_maxon holds " + std::to_string(maxon_->magic) +
             " instead of " + std::to_string(records::kGlobalRecordVersion);
    return false;
  }
  return true;
}

bool ModuleFile::WalkRecords(std::string* error) {
  // A module record sits in its own entity list too (it is owned by its registration unit), so
  // the module list and each entity list are checked for cycles separately.
  std::set<const void*> seenModules;
  for (records::ModuleRecord* module = maxon_->modules; module != nullptr; module = module->previous) {
    if (modules_.size() == kMaxModules || !seenModules.insert(module).second) {
      *error = "\"" + Path() + "\": the module list of g_maxon does not end";
      return false;
    }
    if (module->head.type != records::kModule) {
      *error = "\"" + Path() + "\": the module list holds " + Name(module->head) +
               ", which is not a MODULE record";
      return false;
    }
    modules_.push_back(module);
    std::vector<records::EntityHead*>& entities = entities_[module];
    std::set<const void*> seen;
    for (records::EntityHead* entity = module->entities; entity != nullptr; entity = entity->next) {
      if (entities.size() == kMaxEntities || !seen.insert(entity).second) {
        *error = "\"" + Path() + "\": the entity list of module " + Name(module->head) +
                 " does not end";
        return false;
      }
      entities.push_back(entity);
    }
  }
  if (modules_.empty()) {
    *error = "\"" + Path() + "\" declares no module record in g_maxon";
    return false;
  }
  return true;
}

bool ModuleFile::Bind(std::string* error) {
  TakeBindRecords();  // only this module's binder calls count from here
  for (records::ModuleRecord* module : modules_) {
    for (records::EntityHead* entity : entities_[module]) {
      if (entity->type != records::kNonvirtualInterface) continue;
      auto* reference = reinterpret_cast<records::InterfaceReferenceRecord*>(entity);
      if (reference->filler == nullptr) {
        *error = "\"" + Path() + "\": interface reference " + Name(*entity) + " has no filler";
        return false;
      }
      reference->filler(entity, &HostBinder);
      std::vector<BindRecord> calls = TakeBindRecords();
      if (calls.size() != 1 || calls[0].reference != entity) {
        *error = "\"" + Path() + "\": the filler of " + Name(*entity) + " called the binder " +
                 std::to_string(calls.size()) + " times instead of once for its reference";
        return false;
      }
      if (!calls[0].problem.empty()) {
        *error = "\"" + Path() + "\": interface reference " + Name(*entity) +
                 " cannot be bound: " + calls[0].problem;
        return false;
      }
      bound_[entity] = BindSummary{calls[0].resolved, std::move(calls[0].unresolved),
                                   calls[0].hostInterface};
    }
  }
  return true;
}

bool ModuleFile::RunInitHooks(std::string* error) {
  // Registration order: the oldest module first, and in each the reverse of its (newest-first)
  // entity list.
  for (auto module = modules_.rbegin(); module != modules_.rend(); ++module) {
    if (IsModuleMarkedCore(Text((*module)->head.id))) (*module)->head.flags |= records::kCore;
    const std::vector<records::EntityHead*>& entities = entities_[*module];
    for (auto entity = entities.rbegin(); entity != entities.rend(); ++entity)
      if ((*entity)->type == records::kInitialization)
        hooks_.push_back(reinterpret_cast<records::InitializationRecord*>(*entity));
  }
  SetConfigurationOwner(Path());
  for (; hooksRun_ < hooks_.size(); ++hooksRun_) {
    records::InitializationRecord* hook = hooks_[hooksRun_];
    if (hook->init == nullptr) continue;
    // Through the boundary, which calls the hook as one returning the framework's error class.
    if (fm_abi_call_init_hook(reinterpret_cast<void*>(hook->init)) != nullptr) {
      *error = "\"" + Path() + "\": initialisation hook of \"" +
               std::string(hook->source ? hook->source : "") + "\" failed";
      SetConfigurationOwner(std::string());
      RunFreeHooks();
      return false;
    }
  }
  SetConfigurationOwner(std::string());
  return true;
}

void ModuleFile::RunFreeHooks() {
  while (hooksRun_ > 0) {
    records::InitializationRecord* hook = hooks_[--hooksRun_];
    if (hook->free != nullptr) hook->free();
  }
}

std::vector<ModuleRecordInfo> ModuleFile::Describe() const {
  std::vector<ModuleRecordInfo> out;
  for (const records::ModuleRecord* module : modules_) {
    ModuleRecordInfo info{};
    info.id = Literal(module->head.id);
    info.flags = module->head.flags;
    info.owner = module->head.owner ? Text(module->head.owner->id) : "";
    info.pointsToGlobalRecord = module->maxon == maxon_;
    for (int64_t i = 0; module->dependencies != nullptr && i < module->dependencyCount; ++i)
      info.dependencies.push_back(Literal(module->dependencies[i]));
    const auto found = entities_.find(module);
    const std::vector<records::EntityHead*> none;
    const std::vector<records::EntityHead*>& entities = found != entities_.end() ? found->second : none;
    for (const records::EntityHead* entity : entities) {
      ++info.entityCounts[entity->type];
      switch (entity->type) {
        case records::kTranslationUnit: {
          const auto* unit = reinterpret_cast<const records::TranslationUnitRecord*>(entity);
          const bool wellFormed = unit->head.owner == entity && unit->module == module &&
                                  unit->sentinels[0] == -1 && unit->sentinels[1] == -2 &&
                                  unit->sentinels[2] == -1;
          info.units.push_back(TranslationUnitInfo{Literal(entity->id), entity->flags, wellFormed});
          break;
        }
        case records::kNonvirtualInterface: {
          const auto* reference = reinterpret_cast<const records::InterfaceReferenceRecord*>(entity);
          ReferenceInfo ref{Literal(entity->id), entity->flags, reference->count, 0, {}, false};
          if (const auto summary = bound_.find(entity); summary != bound_.end()) {
            ref.resolvedCount = summary->second.resolved;
            ref.unresolved = summary->second.unresolved;
            ref.hostInterface = summary->second.hostInterface;
          }
          info.references.push_back(std::move(ref));
          break;
        }
        case records::kDeclaration:
          info.declarations.push_back(Literal(entity->id));
          break;
        default:
          break;
      }
    }
    for (auto entity = entities.rbegin(); entity != entities.rend(); ++entity) {
      if ((*entity)->type != records::kInitialization) continue;
      const auto* hook = reinterpret_cast<const records::InitializationRecord*>(*entity);
      info.hooks.push_back(HookInfo{hook->source ? hook->source : "", hook->init != nullptr,
                                    hook->free != nullptr});
    }
    out.push_back(std::move(info));
  }
  return out;
}

}  // namespace fm::host
