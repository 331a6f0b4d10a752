#include "host/loader/macho_image.h"

#include <sys/mman.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <iterator>

#include "host/loader/macho_fixups.h"
#include "host/loader/macho_reader.h"
#include "host/loader/macos_imports.h"

namespace fm::host::macho {
namespace {

constexpr uint64_t kPageSize = 4096;
constexpr uint64_t kMaxFileSize = uint64_t{1} << 30;

std::atomic<size_t> g_mappedBytes{0};

uint64_t RoundUp(uint64_t value) { return (value + kPageSize - 1) & ~(kPageSize - 1); }

uint64_t ReadWord(const uint8_t* at) {
  uint64_t value;
  std::memcpy(&value, at, sizeof value);
  return value;
}
void WriteWord(uint8_t* at, uint64_t value) { std::memcpy(at, &value, sizeof value); }

std::string OrdinalText(int64_t ordinal) {
  switch (ordinal) {
    case kOrdinalMainExecutable: return "the main executable";
    case kOrdinalWeakLookup: return "a weak lookup";
    default: return "library ordinal " + std::to_string(ordinal);
  }
}

// Names in an error come from the file: a hostile one must not break the host's one-line message.
std::string Printable(const std::string& text) {
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7f) {
      out += c;
    } else {
      static const char digits[] = "0123456789abcdef";
      out += "\\x";
      out += digits[byte >> 4];
      out += digits[byte & 15];
    }
  }
  return out;
}

}  // namespace

std::unique_ptr<Image> Image::Prepare(const std::vector<uint8_t>& bytes, std::string* error) {
  std::unique_ptr<Image> image = Read(bytes, error);
  if (!image) *error = Printable(*error);
  return image;
}

std::unique_ptr<Image> Image::Read(const std::vector<uint8_t>& bytes, std::string* error) {
  File file;
  if (!ParseFile(bytes, &file, error)) return nullptr;
  for (const std::string& library : file.libraries)
    if (!macos::IsKnownLibrary(library)) {
      *error = "it imports from " + Clipped(library) + ", which the host does not provide (only " +
               macos::kLibSystem + " and " + macos::kLibCxx + ")";
      return nullptr;
    }
  std::unique_ptr<Image> image(new Image());
  if (!ReadExports(file, bytes, &image->exports_, error) || !image->Map(file, bytes, error) ||
      !image->Fix(file, bytes, error) || !image->FindInitializers(file, error) || !image->Protect(file, error))
    return nullptr;
  return image;
}

std::unique_ptr<Image> Image::Load(const std::string& path, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot open the file";
    return nullptr;
  }
  in.seekg(0, std::ios::end);
  const std::streamoff length = in.tellg();
  if (length < 0 || static_cast<uint64_t>(length) > kMaxFileSize) {
    *error = "cannot read the file, or it is larger than a module can be";
    return nullptr;
  }
  in.seekg(0);
  std::vector<uint8_t> bytes(static_cast<size_t>(length));
  if (!in.read(reinterpret_cast<char*>(bytes.data()), length)) {
    *error = "cannot read the file";
    return nullptr;
  }
  std::unique_ptr<Image> image = Prepare(bytes, error);
  if (image) image->RunInitializers();
  return image;
}

Image::~Image() {
  if (initialized_) {
    macos::RunExitHandlers(header_);
    using Terminator = void (*)();
    for (auto t = terminators_.rbegin(); t != terminators_.rend(); ++t) reinterpret_cast<Terminator>(*t)();
  }
  if (mapping_ != nullptr && munmap(mapping_, size_) == 0) g_mappedBytes -= size_;
}

size_t Image::MappedBytes() { return g_mappedBytes; }

bool Image::Map(const File& file, const std::vector<uint8_t>& bytes, std::string* error) {
  size_ = RoundUp(file.highestAddress - file.lowestAddress);
  void* mapping = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapping == MAP_FAILED) {
    *error = "cannot reserve " + std::to_string(size_) + " bytes for its segments: " + std::strerror(errno);
    mapping_ = nullptr;
    return false;
  }
  mapping_ = static_cast<uint8_t*>(mapping);
  g_mappedBytes += size_;
  slide_ = static_cast<int64_t>(reinterpret_cast<uintptr_t>(mapping_) - file.lowestAddress);
  for (const Segment& segment : file.segments)
    if (segment.memorySize > 0 && segment.fileSize > 0)
      std::memcpy(mapping_ + (segment.address - file.lowestAddress), bytes.data() + segment.fileOffset,
                  segment.fileSize);
  header_ = mapping_ + (file.headerAddress - file.lowestAddress);
  return true;
}

bool Image::Fix(const File& file, const std::vector<uint8_t>& bytes, std::string* error) {
  std::vector<Rebase> rebases;
  std::vector<Bind> binds, lazyBinds, weakBinds;
  if (!DecodeRebases(file, bytes, &rebases, error) || !DecodeBinds(file, bytes, BindStream::kRegular, &binds, error) ||
      !DecodeBinds(file, bytes, BindStream::kLazy, &lazyBinds, error) ||
      // Weak binds let another image's definition override this one's; with no other image
      // loaded, this image's own definitions stand, so they are checked but not applied.
      !DecodeBinds(file, bytes, BindStream::kWeak, &weakBinds, error))
    return false;
  auto slot = [&](uint32_t segment, uint64_t offset) {
    return mapping_ + (file.segments[segment].address - file.lowestAddress) + offset;
  };
  for (const Rebase& r : rebases) WriteWord(slot(r.segment, r.offset), ReadWord(slot(r.segment, r.offset)) + slide_);
  // Lazy pointers are bound now, so the module never reaches dyld's lazy binder.
  binds.insert(binds.end(), std::make_move_iterator(lazyBinds.begin()), std::make_move_iterator(lazyBinds.end()));
  for (const Bind& b : binds) {
    std::string library;
    void* target = nullptr;
    if (b.ordinal >= 1) {
      library = file.libraries[b.ordinal - 1];
      target = macos::ResolveImport(library, b.symbol);
    } else if (b.ordinal == kOrdinalSelf || b.ordinal == kOrdinalFlatLookup) {
      if (b.ordinal == kOrdinalFlatLookup) target = macos::ResolveImport(std::string(), b.symbol);
      if (const auto own = exports_.find(b.symbol); target == nullptr && own != exports_.end())
        target = own->second.absolute ? reinterpret_cast<void*>(own->second.offset) : header_ + own->second.offset;
    } else {
      *error = "it binds " + Clipped(b.symbol) + " through " + OrdinalText(b.ordinal) + ", which this loader does not do";
      return false;
    }
    if (target == nullptr && !b.weakImport) {
      *error = "it imports " + Clipped(b.symbol) + " from " + (library.empty() ? std::string("any library") : Clipped(library)) +
               ", which the host's table of macOS functions does not provide";
      return false;
    }
    WriteWord(slot(b.segment, b.offset), reinterpret_cast<uint64_t>(target) + static_cast<uint64_t>(b.addend));
    bool seen = false;
    for (const ImportUse& use : imports_) seen = seen || (use.library == library && use.symbol == b.symbol);
    if (!seen && b.ordinal != kOrdinalSelf) imports_.push_back(ImportUse{library, b.symbol});
  }
  return true;
}

bool Image::FindInitializers(const File& file, std::string* error) {
  auto executable = [&](uint64_t target) {
    for (const Segment& segment : file.segments) {
      const uint64_t start = reinterpret_cast<uint64_t>(mapping_) + (segment.address - file.lowestAddress);
      if ((segment.protection & kProtExecute) && target >= start && target - start < segment.memorySize) return true;
    }
    return false;
  };
  for (const Segment& segment : file.segments)
    for (const Section& section : segment.sections) {
      const bool pointers = section.type == kSectionModInitPointers || section.type == kSectionModTermPointers;
      if (!pointers && section.type != kSectionInitOffsets) continue;
      const std::string where = "section " + section.segment + "," + section.name;
      const uint64_t width = pointers ? 8 : 4;
      if (section.size % width != 0) {
        *error = where + " is not a whole number of entries";
        return false;
      }
      const uint8_t* at = mapping_ + (section.address - file.lowestAddress);
      for (uint64_t i = 0; i < section.size / width; ++i) {
        uint64_t target;
        if (pointers) {
          target = ReadWord(at + i * width);
        } else {
          uint32_t offset;
          std::memcpy(&offset, at + i * width, sizeof offset);
          target = reinterpret_cast<uint64_t>(header_) + offset;
        }
        if (!executable(target)) {
          *error = where + " entry " + std::to_string(i) + " does not point at code of the image";
          return false;
        }
        (section.type == kSectionModTermPointers ? terminators_ : initializers_).push_back(target);
      }
    }
  return true;
}

bool Image::Protect(const File& file, std::string* error) {
  if (mprotect(mapping_, size_, PROT_NONE) != 0) {
    *error = std::string("cannot protect its pages: ") + std::strerror(errno);
    return false;
  }
  for (const Segment& segment : file.segments) {
    if (segment.memorySize == 0) continue;
    uint32_t protection = segment.protection;
    if (segment.flags & kSegmentReadOnlyAfterFixups) protection &= ~kProtWrite;
    const int native = ((protection & kProtRead) ? PROT_READ : 0) | ((protection & kProtWrite) ? PROT_WRITE : 0) |
                       ((protection & kProtExecute) ? PROT_EXEC : 0);
    if (mprotect(mapping_ + (segment.address - file.lowestAddress), RoundUp(segment.memorySize), native) != 0) {
      *error = "cannot protect segment " + segment.name + ": " + std::strerror(errno);
      return false;
    }
    segments_.push_back(MappedSegment{segment.name, mapping_ + (segment.address - file.lowestAddress),
                                      segment.memorySize, protection, segment.protection,
                                      segment.fileOffset, segment.fileSize});
  }
  return true;
}

void Image::RunInitializers() {
  if (initialized_) return;
  initialized_ = true;
  // macOS hands initialisers argc, argv, envp, the apple strings and the program variables.
  static const char* const kNone[] = {nullptr};
  using Initializer = void (*)(int, const char* const*, const char* const*, const char* const*, const void*);
  for (uintptr_t initializer : initializers_)
    reinterpret_cast<Initializer>(initializer)(0, kNone, kNone, kNone, nullptr);
}

void* Image::Symbol(const std::string& name) const {
  const auto found = exports_.find("_" + name);
  if (found == exports_.end()) return nullptr;
  return found->second.absolute ? reinterpret_cast<void*>(found->second.offset) : header_ + found->second.offset;
}

}  // namespace fm::host::macho
