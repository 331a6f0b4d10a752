#pragma once
// A macOS x86-64 dylib loaded into this process by the host itself: the module's code follows
// the same System V calling convention as Linux, so once its segments are mapped, its pointers
// rebased and its imports bound to this platform's equivalents (macos_imports.h), it runs here.
//
// Loading checks everything it reads before any byte of the file runs: the layout, every rebase
// and bind slot, every import, the export trie and each initialiser's target. Unloading runs the
// destructors the module registered (newest first) and unmaps the image.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/loader/macho_exports.h"
#include "host/loader/macho_file.h"

namespace fm::host::macho {

struct ImportUse {
  std::string library;  // empty for a flat lookup
  std::string symbol;
};

// A segment as mapped: where it lies in this process and the protection its pages ended with.
struct MappedSegment {
  std::string name;
  const uint8_t* start;
  uint64_t size;
  uint32_t protection;  // kProtRead, kProtWrite, kProtExecute
  uint32_t fileProtection;  // as the file gives it: writable while fixups are applied
  uint64_t fileOffset;  // the bytes the segment was filled from
  uint64_t fileSize;
};

class Image {
 public:
  // Reads, maps and binds the file; runs nothing of it. Null with `error` when refused.
  static std::unique_ptr<Image> Prepare(const std::vector<uint8_t>& bytes, std::string* error);
  // Prepare, then run the initialisers in the file's order.
  static std::unique_ptr<Image> Load(const std::string& path, std::string* error);
  ~Image();
  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;

  // Runs the initialisers of every init section, in file order. Once.
  void RunInitializers();

  // The address of an exported symbol by its C name (without the leading underscore); null when
  // the file does not export it.
  void* Symbol(const std::string& name) const;

  const uint8_t* Base() const { return header_; }
  size_t MappedSize() const { return size_; }
  // The imports the file binds, each once, in the order first bound.
  const std::vector<ImportUse>& Imports() const { return imports_; }
  size_t InitializerCount() const { return initializers_.size(); }
  // The segments that occupy memory, in load-command order.
  const std::vector<MappedSegment>& Segments() const { return segments_; }
  // The initialiser and terminator functions the file lists, in file order.
  const std::vector<uintptr_t>& Initializers() const { return initializers_; }
  const std::vector<uintptr_t>& Terminators() const { return terminators_; }
  // Every exported symbol by its full name, with its offset from Base() (or its absolute value).
  const std::map<std::string, Export>& Exports() const { return exports_; }

  // Bytes mapped by all images of this process that still exist: a refused file leaves none.
  static size_t MappedBytes();

 private:
  Image() = default;
  static std::unique_ptr<Image> Read(const std::vector<uint8_t>& bytes, std::string* error);
  bool Map(const File& file, const std::vector<uint8_t>& bytes, std::string* error);
  bool Fix(const File& file, const std::vector<uint8_t>& bytes, std::string* error);
  bool FindInitializers(const File& file, std::string* error);
  bool Protect(const File& file, std::string* error);

  uint8_t* mapping_ = nullptr;  // the reservation, page-aligned
  size_t size_ = 0;
  int64_t slide_ = 0;           // mapped address minus the file's address
  uint8_t* header_ = nullptr;   // the image's base; also its handle for __cxa_atexit
  std::map<std::string, Export> exports_;
  std::vector<MappedSegment> segments_;
  std::vector<ImportUse> imports_;
  std::vector<uintptr_t> initializers_;
  std::vector<uintptr_t> terminators_;
  bool initialized_ = false;
};

}  // namespace fm::host::macho
