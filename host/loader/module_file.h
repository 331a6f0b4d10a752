#pragma once
// One module file, loaded and made part of the host's framework: its exports read, g_maxon
// checked, the host's initialiser stored, every interface reference bound and the initialisation
// hooks run. Destroying it runs the free hooks (newest first) and unloads the file.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/framework/records.h"
#include "host/loader/library.h"

namespace fm::host {

struct LiteralInfo {
  std::string text;
  uint64_t packed;
  bool packedMatches;  // the packed word is the one the text gives
};

struct TranslationUnitInfo {
  LiteralInfo id;
  uint64_t flags;
  bool wellFormed;  // owns itself, points at its module record, sentinels -1, -2, -1
};

struct ReferenceInfo {
  LiteralInfo id;  // the interface
  uint64_t flags;
  int64_t methodCount;
  int64_t resolvedCount;  // slots bound to a host implementation
  std::vector<std::string> unresolved;
  bool hostInterface;  // the host implements the interface: resolving entity set
};

struct HookInfo {
  std::string source;
  bool hasInit;
  bool hasFree;
};

struct ModuleRecordInfo {
  LiteralInfo id;
  uint64_t flags;
  std::string owner;   // id of the owning translation unit
  bool pointsToGlobalRecord;  // its g_maxon pointer is the library's g_maxon
  std::vector<LiteralInfo> dependencies;
  std::vector<TranslationUnitInfo> units;  // in list order (newest first)
  std::vector<ReferenceInfo> references;   // in list order
  std::vector<HookInfo> hooks;             // in registration order
  std::vector<LiteralInfo> declarations;   // in list order
  std::map<uint32_t, int64_t> entityCounts;  // records per type
};

class ModuleFile {
 public:
  // Loads, binds and initialises. Null, with `error` saying what is wrong, for a file that is not
  // a module (cannot be loaded, lacks c4d_main or g_maxon, g_maxon not 21014, malformed records)
  // or whose initialisation fails; nothing of it stays loaded then.
  static std::unique_ptr<ModuleFile> Load(const std::string& path, std::string* error);
  ~ModuleFile();
  ModuleFile(const ModuleFile&) = delete;
  ModuleFile& operator=(const ModuleFile&) = delete;

  const std::string& Path() const { return library_->Path(); }
  records::GlobalRecord* Globals() const { return maxon_; }
  bool ExportsCpuYieldDelegate() const { return library_->Symbol("g_CpuYieldDelegate") != nullptr; }
  // Any exported symbol; null when absent.
  void* Symbol(const char* name) const { return library_->Symbol(name); }

  // c4d_main of the module.
  int32_t Main(int32_t message, void* a, void* b, void* c) const { return main_(message, a, b, c); }

  // What the module declared, read from its records now; modules newest first.
  std::vector<ModuleRecordInfo> Describe() const;

  // Module records, newest first.
  const std::vector<records::ModuleRecord*>& ModuleRecords() const { return modules_; }

  // Runs the free hook of every initialised hook, newest first; later calls do nothing. The
  // destructor runs it too, for a module the host did not shut down step by step.
  void RunFreeHooks();

 private:
  using MainFunction = int32_t (*)(int32_t, void*, void*, void*);
  struct BindSummary {
    int64_t resolved;
    std::vector<std::string> unresolved;
    bool hostInterface;
  };

  explicit ModuleFile(std::unique_ptr<SharedLibrary> library) : library_(std::move(library)) {}
  bool ReadExports(std::string* error);
  bool WalkRecords(std::string* error);
  bool Bind(std::string* error);
  bool RunInitHooks(std::string* error);

  std::unique_ptr<SharedLibrary> library_;
  MainFunction main_ = nullptr;
  records::GlobalRecord* maxon_ = nullptr;
  std::vector<records::ModuleRecord*> modules_;
  std::map<const records::ModuleRecord*, std::vector<records::EntityHead*>> entities_;
  std::vector<records::InitializationRecord*> hooks_;  // registration order
  size_t hooksRun_ = 0;                                 // hooks_[0, hooksRun_) were initialised
  std::map<const records::EntityHead*, BindSummary> bound_;
};

}  // namespace fm::host
