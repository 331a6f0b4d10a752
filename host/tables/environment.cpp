#include "host/tables/environment.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "host/tables/table_image.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace fm::host {
namespace {

// Environments alive, oldest first; the entries act on the newest.
std::vector<Environment*>& Alive() {
  static std::vector<Environment*> alive;
  return alive;
}

// The 34 tables are the same for every Environment: only the record's version differs.
class TableImages {
 public:
  TableImages() {
    for (int i = 0; i < kTablePositionCount; ++i) images_.emplace_back(TablePosition(i));
    FillGeneralTable(At(GeneralEntries::kPosition));
    FillStringTable(At(StringEntries::kPosition));
    FillBitmapTable(At(BitmapEntries::kPosition));
    FillPathTable(At(PathEntries::kPosition));
    FillResourceTable(At(ResourceEntries::kPosition));
    FillTagTable(At(TagEntries::kPosition));
    FillObjectTable(At(ObjectEntries::kPosition));
    FillDocumentTable(At(DocumentEntries::kPosition));
    FillSelectionTable(At(SelectionEntries::kPosition));
    FillValueTable(At(ValueEntries::kPosition));
    FillNodeTable(At(NodeEntries::kPosition));
  }
  TableImage& At(uint32_t position) { return images_[static_cast<size_t>(TableIndex(position))]; }

 private:
  std::vector<TableImage> images_;
};

TableImages& Images() {
  static TableImages images;
  return images;
}

template <typename Map>
auto* Find(const Map& map, const void* key) {
  const auto it = map.find(key);
  return it == map.end() ? nullptr : it->second.get();
}

#ifdef _WIN32
std::string AbsoluteWindowsPath(const std::string& path) {
  const DWORD needed = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return path;
  std::string full(needed, '\0');
  full.resize(GetFullPathNameA(path.c_str(), needed, full.data(), nullptr));
  return full;
}
#endif

}  // namespace

Environment::Environment(int32_t apiVersion) : record_{} {
  record_.version = apiVersion;
  for (int i = 0; i < kTablePositionCount; ++i) {
    record_.tables[i] = Images().At(TablePosition(i)).Data();
  }
  NewDocument();
  Alive().push_back(this);
}

Environment::~Environment() { std::erase(Alive(), this); }

Environment* Environment::Current() { return Alive().empty() ? nullptr : Alive().back(); }

Environment& CurrentEnvironment() {
  Environment* current = Environment::Current();
  if (!current) {
    std::fputs("host: a table entry ran while no host Environment is alive\n", stderr);
    std::abort();
  }
  return *current;
}

void* Environment::Tables() { return &record_; }

int32_t& Environment::ApiVersion() { return record_.version; }

void Environment::SetStartupDirectory(std::string directory) {
#ifdef _WIN32
  if (!directory.empty()) directory = AbsoluteWindowsPath(directory);
#endif
  startupDirectory_ = std::move(directory);
}

Document& Environment::NewDocument(std::string name) {
  return AddDocument(std::make_unique<Document>(std::move(name)));
}

Document& Environment::AddDocument(std::unique_ptr<Document> document) {
  documents_.push_back(std::move(document));
  active_ = documents_.back().get();
  return *active_;
}

void Environment::SetActiveDocument(Document& document) {
  if (OwnsDocument(&document)) active_ = &document;
}

bool Environment::OwnsDocument(const void* document) const {
  return std::any_of(documents_.begin(), documents_.end(),
                     [document](const auto& owned) { return owned.get() == document; });
}

void Environment::Diagnose(std::string message) {
  if (echoDiagnostics_) {
    std::fprintf(stderr, "host: %s\n", message.c_str());
    std::fflush(stderr);
  }
  diagnostics_.push_back(std::move(message));
}

NodeArray* Environment::NewNodeArray() {
  auto array = std::make_unique<NodeArray>();
  NodeArray* raw = array.get();
  nodeArrays_.emplace(raw, std::move(array));
  return raw;
}

bool Environment::FreeNodeArray(const void* array) { return nodeArrays_.erase(array) == 1; }

NodeArray* Environment::FindNodeArray(const void* array) const { return Find(nodeArrays_, array); }

Bitmap* Environment::NewBitmap() {
  auto bitmap = std::make_unique<Bitmap>();
  Bitmap* raw = bitmap.get();
  bitmaps_.emplace(raw, std::move(bitmap));
  return raw;
}

bool Environment::FreeBitmap(const void* bitmap) { return bitmaps_.erase(bitmap) == 1; }

Bitmap* Environment::FindBitmap(const void* bitmap) const { return Find(bitmaps_, bitmap); }

ResourceSet* Environment::AdoptResourceSet(std::unique_ptr<ResourceSet> set) {
  ResourceSet* raw = set.get();
  resourceSets_.emplace(raw, std::move(set));
  return raw;
}

bool Environment::FreeResourceSet(const void* set) { return resourceSets_.erase(set) == 1; }

ResourceSet* Environment::FindResourceSet(const void* set) const {
  return Find(resourceSets_, set);
}

}  // namespace fm::host
