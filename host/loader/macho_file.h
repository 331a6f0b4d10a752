#pragma once
// The structure of a Mach-O 64-bit x86-64 dylib, read from untrusted bytes: segments with their
// sections and protections, the libraries it imports from, where its rebase, bind and export
// information lies, and its initialiser sections. Every offset and size is checked against the
// file here, so later stages may trust what this gives them.

#include <cstdint>
#include <string>
#include <vector>

namespace fm::host::macho {

// Segment protections (the VM_PROT bits of the file).
inline constexpr uint32_t kProtRead = 1, kProtWrite = 2, kProtExecute = 4;
// Segment flag: writable only while fixups are applied, read-only afterwards.
inline constexpr uint32_t kSegmentReadOnlyAfterFixups = 0x10;

// Section types the loader acts on (low byte of a section's flags).
inline constexpr uint32_t kSectionRegular = 0x0;
inline constexpr uint32_t kSectionZeroFill = 0x1;
inline constexpr uint32_t kSectionModInitPointers = 0x9;
inline constexpr uint32_t kSectionModTermPointers = 0xa;
inline constexpr uint32_t kSectionInitOffsets = 0x16;

struct Section {
  std::string segment;
  std::string name;
  uint64_t address;  // unslid
  uint64_t size;
  uint32_t type;
  uint32_t attributes;
};

struct Segment {
  std::string name;
  uint64_t address;  // unslid
  uint64_t memorySize;
  uint64_t fileOffset;
  uint64_t fileSize;
  uint32_t protection;  // initial protection
  uint32_t flags;       // kSegmentReadOnlyAfterFixups and others
  std::vector<Section> sections;
};

// A byte range of the file (offset, size), already checked to lie inside it.
struct Range {
  uint64_t offset = 0;
  uint64_t size = 0;
};

struct File {
  uint32_t fileType = 0;
  std::vector<Segment> segments;        // in load-command order; index = segment number
  std::vector<std::string> libraries;   // imported libraries; ordinal n is libraries[n - 1]
  std::string installName;
  Range rebase, bind, weakBind, lazyBind, exports;
  uint64_t headerAddress = 0;   // where the Mach-O header is mapped: the image's base
  uint64_t lowestAddress = 0;   // of the segments that occupy memory
  uint64_t highestAddress = 0;  // one past the end
};

// Reads the layout of `bytes`. False, with `error` naming what cannot be honoured (another
// architecture or file kind, a load command it does not know, a range outside the file,
// overlapping segments, thread-local variables), for anything the loader must refuse.
bool ParseFile(const std::vector<uint8_t>& bytes, File* file, std::string* error);

// True when the first bytes are those of some Mach-O file (any architecture, universal files
// included), so that the Mach-O loader rather than the platform's is the one to say what is wrong.
bool LooksLikeMachO(const uint8_t* bytes, size_t size);

}  // namespace fm::host::macho
