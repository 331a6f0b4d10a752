// The Mach-O loader on arbitrary bytes: everything it does before a module's code runs (header
// and load commands, mapping the segments with their protections, the rebase and bind streams,
// the export trie, the initialiser checks). Nothing of an accepted file is executed.
//
// A refusal must be one short printable line and leave nothing mapped. An accepted file's
// exports must lie inside its readable mapped segments and its initialisers and terminators in
// executable ones, no segment may end up both writable and executable, a segment the file does
// not make writable must hold exactly the file's bytes (no fixup strays into it), every byte of
// the mapping outside the segments (the rest of a segment's last page, the pages between
// segments) must still be zero, and unloading must unmap the image.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <sys/mman.h>

#include "host/loader/macho_image.h"

namespace {

using namespace fm::host::macho;

// Names taken from the file are shortened in errors; with their bytes shown as \xHH, an error
// of a few such names stays well under this.
constexpr size_t kLongestError = 2000;

[[noreturn]] void Fail(const char* what, const std::string& detail = {}) {
  std::fprintf(stderr, "mach-o loader: %s %s\n", what, detail.substr(0, 400).c_str());
  std::abort();
}

void CheckRefusal(const std::string& error) {
  if (error.empty()) Fail("a refusal without an error");
  if (error.size() > kLongestError) Fail("the error is not bounded:", error);
  for (const char c : error) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte >= 0x7f) Fail("the error holds a byte that is not printable:", error);
  }
  if (Image::MappedBytes() != 0) Fail("a refused file left bytes mapped:", error);
}

bool AllZero(const uint8_t* at, uint64_t size) {
  static const uint8_t kZeros[4096] = {};
  for (uint64_t done = 0; done < size; done += sizeof kZeros)
    if (std::memcmp(at + done, kZeros, std::min<uint64_t>(sizeof kZeros, size - done)) != 0) return false;
  return true;
}

const MappedSegment* SegmentAt(const Image& image, const uint8_t* address) {
  for (const MappedSegment& segment : image.Segments())
    if (address >= segment.start && static_cast<uint64_t>(address - segment.start) < segment.size) return &segment;
  return nullptr;
}

constexpr uint64_t kPage = 4096;

uint64_t PageEnd(uint64_t size) { return (size + kPage - 1) & ~(kPage - 1); }

// Opens [at, at + size) of a page run without access for reading, checks it holds only zeros,
// and closes it again.
bool ZeroBehindNoAccess(const uint8_t* at, uint64_t size) {
  void* const page = const_cast<uint8_t*>(at);
  if (size == 0) return true;
  if (mprotect(page, size, PROT_READ) != 0) Fail("cannot open a page between segments for reading");
  const bool zero = AllZero(at, size);
  mprotect(page, size, PROT_NONE);
  return zero;
}

// A fixup the loader lets past its segment lands in the mapping outside every segment: either in
// the rest of the segment's last page, or on a page no segment covers, which ends up without
// access. Both must hold only the zeros the reservation started with. A file may leave close to
// a gigabyte between segments: of each such gap the first and last megabyte are checked, where
// a slot just past a segment or just before the next one lands.
void CheckOutsideSegments(const Image& image) {
  std::vector<const MappedSegment*> segments;
  for (const MappedSegment& segment : image.Segments()) segments.push_back(&segment);
  std::sort(segments.begin(), segments.end(),
            [](const MappedSegment* a, const MappedSegment* b) { return a->start < b->start; });
  if (segments.empty()) return;
  const uint8_t* const end = segments.front()->start + image.MappedSize();
  for (size_t i = 0; i < segments.size(); ++i) {
    const MappedSegment& segment = *segments[i];
    const uint64_t pages = PageEnd(segment.size);
    if ((segment.protection & kProtRead) && !AllZero(segment.start + segment.size, pages - segment.size))
      Fail("bytes were written past the end of segment", segment.name);
    const uint8_t* const gap = segment.start + pages;
    const uint8_t* const next = i + 1 < segments.size() ? segments[i + 1]->start : end;
    if (next <= gap) continue;
    const uint64_t edge = std::min<uint64_t>(static_cast<uint64_t>(next - gap), uint64_t{1} << 20);
    if (!ZeroBehindNoAccess(gap, edge) || !ZeroBehindNoAccess(next - edge, edge))
      Fail("bytes were written to the pages after segment", segment.name);
  }
}

void CheckAccepted(const Image& image, const std::vector<uint8_t>& bytes) {
  const uint8_t* const base = image.Base();
  for (const MappedSegment& segment : image.Segments()) {
    if ((segment.protection & kProtWrite) && (segment.protection & kProtExecute))
      Fail("a segment is writable and executable:", segment.name);
    // Fixups go to writable segments only: the others hold the file's bytes, then zeros.
    if ((segment.fileProtection & kProtWrite) || (segment.protection & kProtRead) == 0) continue;
    if (std::memcmp(segment.start, bytes.data() + segment.fileOffset, segment.fileSize) != 0)
      Fail("a segment that is not writable differs from the file:", segment.name);
    // A segment may reserve up to a gigabyte of zeros: its first and last megabyte are checked.
    const uint64_t tail = segment.size - segment.fileSize;
    const uint64_t edge = std::min<uint64_t>(tail, uint64_t{1} << 20);
    if (!AllZero(segment.start + segment.fileSize, edge) || !AllZero(segment.start + segment.size - edge, edge))
      Fail("a segment that is not writable has bytes past its file part:", segment.name);
  }
  CheckOutsideSegments(image);
  if (SegmentAt(image, base) == nullptr) Fail("the header is not mapped");
  for (const auto& [name, symbol] : image.Exports()) {
    if (symbol.absolute) continue;
    const MappedSegment* segment =
        symbol.offset < image.MappedSize() ? SegmentAt(image, base + symbol.offset) : nullptr;
    if (segment == nullptr || (segment->protection & kProtRead) == 0)
      Fail("an export lies outside the readable mapped segments:", name);
  }
  for (const std::vector<uintptr_t>* list : {&image.Initializers(), &image.Terminators()})
    for (const uintptr_t function : *list) {
      const MappedSegment* segment = SegmentAt(image, reinterpret_cast<const uint8_t*>(function));
      if (segment == nullptr || (segment->protection & kProtExecute) == 0)
        Fail("an initialiser or terminator lies outside the image's code");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> bytes(data, data + size);
  std::string error;
  std::unique_ptr<Image> image = Image::Prepare(bytes, &error);
  if (!image) {
    CheckRefusal(error);
    return 0;
  }
  if (!error.empty()) Fail("an accepted file with an error:", error);
  CheckAccepted(*image, bytes);
  image.reset();
  if (Image::MappedBytes() != 0) Fail("an unloaded image left bytes mapped");
  return 0;
}
