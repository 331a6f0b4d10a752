#pragma once
// The headless host's world as one object: the HostTables record handed to a module, the
// documents, the UI log, the fault switches, the registrations a module made, and the host
// objects (node arrays, bitmaps, resource sets) it holds on a module's behalf.
//
// The table entries are plain functions without a context argument; they act on the Environment
// constructed last that is still alive (Current()). Tests and fmhost keep one at a time.

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "host/scene/bitmap.h"
#include "host/scene/document.h"
#include "host/scene/faults.h"
#include "host/scene/node_array.h"
#include "host/scene/resource_set.h"
#include "host/scene/ui_log.h"
#include "host/tables/layout.h"

namespace fm::host {

// One accepted PluginRegister call. The record is the module's bytes as handed over; help and
// icon are the host's own copies of what the record pointed to.
struct CommandRegistration {
  int32_t api = 0;
  int32_t kind = 0;
  int32_t id = 0;
  std::string name;
  std::string help;
  std::shared_ptr<const Bitmap> icon;
  std::vector<uint8_t> record;
  int32_t recordSize = 0;
};

// Where the registration record keeps what the host reads, and its size, for a command (kind 4).
inline constexpr int32_t kCommandPluginKind = 4;
inline constexpr int32_t kCommandRecordSize = kItaniumLayout ? 768 : 384;
inline constexpr int32_t kCommandRecordObjectOffset = kItaniumLayout ? 0x80 : 0x40;
inline constexpr int32_t kCommandRecordHelpOffset = kItaniumLayout ? 0x100 : 0x80;
inline constexpr int32_t kCommandRecordIconOffset = kItaniumLayout ? 0x108 : 0x88;

class Environment {
 public:
  explicit Environment(int32_t apiVersion = 21000);
  ~Environment();
  Environment(const Environment&) = delete;
  Environment& operator=(const Environment&) = delete;

  // The Environment the table entries act on; null when none is alive.
  static Environment* Current();

  // The HostTables record (handed over with message 1); lives as long as this Environment.
  void* Tables();
  // The version word of that record, writable (tests hand over other versions).
  int32_t& ApiVersion();

  std::vector<CommandRegistration>& Registrations() { return registrations_; }

  // On Windows the directory is made absolute with the platform's rules (Unix-style paths become
  // drive paths), so that it compares equal to the paths a module derives from its own file.
  void SetStartupDirectory(std::string directory);
  const std::string& StartupDirectory() const { return startupDirectory_; }

  // A fresh Environment has one empty document, which is the active one.
  Document& ActiveDocument() { return *active_; }
  Document& NewDocument(std::string name = "Untitled");       // becomes the active one
  Document& AddDocument(std::unique_ptr<Document> document);  // becomes the active one
  void SetActiveDocument(Document& document);
  bool OwnsDocument(const void* document) const;

  UiLog& Ui() { return ui_; }
  FaultSwitches& Faults() { return faults_; }

  // Calls the host turned down or repaired as invalid (a null object, an index out of range, a
  // malformed resource file, ...). Each is also printed to stderr unless echo is off.
  void Diagnose(std::string message);
  const std::vector<std::string>& Diagnostics() const { return diagnostics_; }
  void ClearDiagnostics() { diagnostics_.clear(); }
  void SetDiagnosticEcho(bool echo) { echoDiagnostics_ = echo; }

  // Host objects made for a module. Free answers false for a pointer this host did not make (or
  // already freed); Find answers null then.
  NodeArray* NewNodeArray();
  bool FreeNodeArray(const void* array);
  NodeArray* FindNodeArray(const void* array) const;
  size_t LiveNodeArrayCount() const { return nodeArrays_.size(); }

  Bitmap* NewBitmap();
  bool FreeBitmap(const void* bitmap);
  Bitmap* FindBitmap(const void* bitmap) const;
  size_t LiveBitmapCount() const { return bitmaps_.size(); }

  ResourceSet* AdoptResourceSet(std::unique_ptr<ResourceSet> set);
  bool FreeResourceSet(const void* set);
  ResourceSet* FindResourceSet(const void* set) const;
  size_t LiveResourceSetCount() const { return resourceSets_.size(); }

 private:
  HostTablesRecord record_;
  std::vector<CommandRegistration> registrations_;
  std::string startupDirectory_;
  std::vector<std::unique_ptr<Document>> documents_;
  Document* active_ = nullptr;
  UiLog ui_;
  FaultSwitches faults_;
  std::vector<std::string> diagnostics_;
  bool echoDiagnostics_ = true;
  std::unordered_map<const void*, std::unique_ptr<NodeArray>> nodeArrays_;
  std::unordered_map<const void*, std::unique_ptr<Bitmap>> bitmaps_;
  std::unordered_map<const void*, std::unique_ptr<ResourceSet>> resourceSets_;
};

// The Environment the entries act on. A table entry running with none alive is a fault of the
// host program itself: it reports and aborts.
Environment& CurrentEnvironment();

}  // namespace fm::host
