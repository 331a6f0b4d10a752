#include "host/loader/macho_file.h"

#include <algorithm>
#include <cstdio>

#include "host/loader/macho_reader.h"

namespace fm::host::macho {
namespace {

constexpr uint32_t kMagic64 = 0xfeedfacf;
constexpr uint32_t kMagic32 = 0xfeedface;
constexpr uint32_t kMagic64Swapped = 0xcffaedfe;
constexpr uint32_t kMagic32Swapped = 0xcefaedfe;
constexpr uint32_t kFatMagic = 0xbebafeca;    // CA FE BA BE on disk
constexpr uint32_t kFatMagic64 = 0xbfbafeca;  // CA FE BA BF on disk

constexpr uint32_t kCpuX86_64 = 0x01000007;
constexpr uint32_t kFileTypeDylib = 6;

constexpr size_t kHeaderSize = 32;
constexpr size_t kSegmentCommandSize = 72;
constexpr size_t kSectionSize = 80;
constexpr uint64_t kPageSize = 4096;
// Far more than any module needs; a hostile header must not make the host reserve gigabytes.
constexpr uint64_t kMaxImageSize = uint64_t{1} << 30;

// Load commands.
constexpr uint32_t kRequiredByDyld = 0x80000000;
constexpr uint32_t kLcSymtab = 0x2;
constexpr uint32_t kLcDysymtab = 0xb;
constexpr uint32_t kLcLoadDylib = 0xc;
constexpr uint32_t kLcIdDylib = 0xd;
constexpr uint32_t kLcSegment64 = 0x19;
constexpr uint32_t kLcUuid = 0x1b;
constexpr uint32_t kLcRpath = 0x1c | kRequiredByDyld;
constexpr uint32_t kLcCodeSignature = 0x1d;
constexpr uint32_t kLcLoadWeakDylib = 0x18 | kRequiredByDyld;
constexpr uint32_t kLcDyldInfo = 0x22;
constexpr uint32_t kLcDyldInfoOnly = 0x22 | kRequiredByDyld;
constexpr uint32_t kLcVersionMinMacosx = 0x24;
constexpr uint32_t kLcFunctionStarts = 0x26;
constexpr uint32_t kLcDataInCode = 0x29;
constexpr uint32_t kLcSourceVersion = 0x2a;
constexpr uint32_t kLcLinkerOptimizationHint = 0x2e;
constexpr uint32_t kLcBuildVersion = 0x32;
constexpr uint32_t kLcDyldExportsTrie = 0x33 | kRequiredByDyld;
constexpr uint32_t kLcDyldChainedFixups = 0x34 | kRequiredByDyld;

std::string Hex(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
  return text;
}

std::string ArchitectureName(uint32_t cpuType) {
  switch (cpuType) {
    case 7: return "i386";
    case kCpuX86_64: return "x86_64";
    case 12: return "arm";
    case 0x0100000c: return "arm64";
    case 0x0200000c: return "arm64_32";
    case 18: return "ppc";
    case 0x01000012: return "ppc64";
    default: return "cpu type " + Hex(cpuType);
  }
}

std::string FileTypeName(uint32_t type) {
  switch (type) {
    case 1: return "an object file";
    case 2: return "an executable";
    case 6: return "a dylib";
    case 8: return "a bundle";
    default: return "file type " + std::to_string(type);
  }
}

// True when [offset, offset + size) lies within [0, limit), without overflow.
bool Inside(uint64_t offset, uint64_t size, uint64_t limit) {
  return offset <= limit && size <= limit - offset;
}

class Parser {
 public:
  Parser(const std::vector<uint8_t>& bytes, File* file, std::string* error)
      : bytes_(bytes), file_(file), error_(error) {}

  bool Run() {
    ByteReader header(bytes_.data(), bytes_.size());
    uint32_t magic = 0, cpuType = 0, cpuSubtype = 0, fileType = 0, commandCount = 0, commandsSize = 0;
    if (!header.U32(&magic)) return Fail("the file is too short for a Mach-O header");
    if (magic == kFatMagic || magic == kFatMagic64)
      return Fail("a universal (fat) Mach-O file; only a single x86_64 dylib can be loaded");
    if (magic == kMagic64Swapped || magic == kMagic32Swapped)
      return Fail("a big-endian Mach-O file; only x86_64 can be loaded");
    if (magic != kMagic64 && magic != kMagic32) return Fail("not a Mach-O file");
    if (!header.U32(&cpuType) || !header.U32(&cpuSubtype) || !header.U32(&fileType))
      return Fail("the file is too short for a Mach-O header");
    if (magic == kMagic32)
      return Fail("a 32-bit Mach-O file for architecture " + ArchitectureName(cpuType) +
                  "; only x86_64 can be loaded");
    if (cpuType != kCpuX86_64)
      return Fail("a Mach-O file for architecture " + ArchitectureName(cpuType) +
                  "; only x86_64 can be loaded");
    if (fileType != kFileTypeDylib) return Fail("a Mach-O file that is " + FileTypeName(fileType) + ", not a dylib");
    if (!header.U32(&commandCount) || !header.U32(&commandsSize) || bytes_.size() < kHeaderSize)
      return Fail("the file is too short for a Mach-O header");
    if (!Inside(kHeaderSize, commandsSize, bytes_.size()))
      return Fail("its load commands (" + std::to_string(commandsSize) + " bytes) run past the end of the file");
    file_->fileType = fileType;

    size_t offset = kHeaderSize;
    const size_t end = kHeaderSize + commandsSize;
    for (uint32_t i = 0; i < commandCount; ++i) {
      if (end - offset < 8) return Fail("load command " + std::to_string(i) + " runs past the load commands");
      ByteReader head(bytes_.data() + offset, end - offset);
      uint32_t command = 0, size = 0;
      head.U32(&command);
      head.U32(&size);
      if (size < 8 || size % 8 != 0 || size > end - offset)
        return Fail("load command " + std::to_string(i) + " (" + Hex(command) + ") has size " +
                    std::to_string(size));
      if (!Command(command, ByteReader(bytes_.data() + offset, size))) return false;
      offset += size;
    }
    return CheckSegments();
  }

 private:
  bool Fail(const std::string& text) {
    *error_ = text;
    return false;
  }

  bool FileRange(const char* what, uint64_t offset, uint64_t size, Range* range) {
    if (!Inside(offset, size, bytes_.size()))
      return Fail(std::string(what) + " (offset " + std::to_string(offset) + ", " + std::to_string(size) +
                  " bytes) lies outside the file");
    *range = Range{offset, size};
    return true;
  }

  bool Command(uint32_t command, ByteReader in) {
    in.Seek(8);
    switch (command) {
      case kLcSegment64: return SegmentCommand(in);
      case kLcLoadDylib:
      case kLcLoadWeakDylib: {
        std::string name;
        if (!DylibName(in, &name)) return false;
        file_->libraries.push_back(name);
        return true;
      }
      case kLcIdDylib: return DylibName(in, &file_->installName);
      case kLcDyldInfo:
      case kLcDyldInfoOnly: {
        if (sawDyldInfo_) return Fail("two LC_DYLD_INFO load commands");
        sawDyldInfo_ = true;
        uint32_t words[10];
        for (uint32_t& word : words)
          if (!in.U32(&word)) return Fail("LC_DYLD_INFO is too short");
        return FileRange("the rebase information", words[0], words[1], &file_->rebase) &&
               FileRange("the bind information", words[2], words[3], &file_->bind) &&
               FileRange("the weak bind information", words[4], words[5], &file_->weakBind) &&
               FileRange("the lazy bind information", words[6], words[7], &file_->lazyBind) &&
               (words[9] == 0 || FileRange("the export information", words[8], words[9], &file_->exports));
      }
      case kLcDyldExportsTrie: return LinkeditData(in, "the export information", &file_->exports);
      case kLcSymtab: {
        uint32_t symbols = 0, count = 0, strings = 0, stringSize = 0;
        if (!in.U32(&symbols) || !in.U32(&count) || !in.U32(&strings) || !in.U32(&stringSize))
          return Fail("LC_SYMTAB is too short");
        Range ignored;
        return FileRange("the symbol table", symbols, uint64_t{count} * 16, &ignored) &&
               FileRange("the string table", strings, stringSize, &ignored);
      }
      case kLcDysymtab: return DynamicSymbols(in);
      case kLcFunctionStarts:
      case kLcDataInCode:
      case kLcCodeSignature:
      case kLcLinkerOptimizationHint: {
        Range ignored;
        return LinkeditData(in, "linker data", &ignored);
      }
      case kLcUuid:
      case kLcBuildVersion:
      case kLcVersionMinMacosx:
      case kLcSourceVersion:
      case kLcRpath:
        return true;  // informational: nothing to honour when loading
      case kLcDyldChainedFixups:
        return Fail("chained fixups (LC_DYLD_CHAINED_FIXUPS), which this loader does not apply");
      default:
        return Fail("load command " + Hex(command) + ", which this loader does not know");
    }
  }

  bool LinkeditData(ByteReader& in, const char* what, Range* range) {
    uint32_t offset = 0, size = 0;
    if (!in.U32(&offset) || !in.U32(&size)) return Fail(std::string("the load command for ") + what + " is too short");
    return FileRange(what, offset, size, range);
  }

  bool DylibName(ByteReader& in, std::string* name) {
    uint32_t nameOffset = 0;
    if (!in.U32(&nameOffset) || nameOffset < 24 || !in.Seek(nameOffset) || !in.CString(name))
      return Fail("a dylib load command with a malformed name");
    return true;
  }

  bool DynamicSymbols(ByteReader& in) {
    uint32_t words[18];
    for (uint32_t& word : words)
      if (!in.U32(&word)) return Fail("LC_DYSYMTAB is too short");
    // words: local/extdef/undef symbol index ranges (6), then toc, module table, external
    // references, indirect symbols, external and local relocations as (offset, count) pairs.
    const uint64_t entrySizes[6] = {8, 56, 4, 4, 8, 8};
    for (int table = 0; table < 6; ++table) {
      Range ignored;
      if (!FileRange("a dynamic symbol table", words[6 + 2 * table], uint64_t{words[7 + 2 * table]} * entrySizes[table],
                     &ignored))
        return false;
    }
    if (words[15] != 0 || words[17] != 0)
      return Fail("classic relocation entries in LC_DYSYMTAB, which this loader does not apply");
    return true;
  }

  bool SegmentCommand(ByteReader& in) {
    uint8_t name[16];
    for (uint8_t& byte : name) in.U8(&byte);
    Segment segment{};
    segment.name = FixedName(name, sizeof name);
    uint32_t maxProtection = 0, sectionCount = 0;
    if (!in.U64(&segment.address) || !in.U64(&segment.memorySize) || !in.U64(&segment.fileOffset) ||
        !in.U64(&segment.fileSize) || !in.U32(&maxProtection) || !in.U32(&segment.protection) ||
        !in.U32(&sectionCount) || !in.U32(&segment.flags))
      return Fail("segment command " + segment.name + " is too short");
    const std::string what = "segment " + segment.name;
    if (uint64_t{sectionCount} * kSectionSize > in.Size() - kSegmentCommandSize)
      return Fail(what + " declares more sections than its load command holds");
    Range ignored;
    if (!FileRange(what.c_str(), segment.fileOffset, segment.fileSize, &ignored)) return false;
    if (segment.fileSize > segment.memorySize) return Fail(what + " has more file bytes than memory");
    if (segment.address % kPageSize != 0) return Fail(what + " does not start on a page");
    if (segment.memorySize > kMaxImageSize || segment.address > kMaxImageSize)
      return Fail(what + " lies beyond " + Hex(kMaxImageSize));
    if ((segment.protection & ~(kProtRead | kProtWrite | kProtExecute)) != 0 ||
        (segment.protection & ~maxProtection) != 0)
      return Fail(what + " has protection " + Hex(segment.protection) + " beyond its maximum " + Hex(maxProtection));
    if ((segment.protection & kProtWrite) && (segment.protection & kProtExecute))
      return Fail(what + " is both writable and executable");
    for (uint32_t i = 0; i < sectionCount; ++i) {
      uint8_t sectionName[16], segmentName[16];
      for (uint8_t& byte : sectionName) in.U8(&byte);
      for (uint8_t& byte : segmentName) in.U8(&byte);
      Section section{};
      section.name = FixedName(sectionName, sizeof sectionName);
      section.segment = FixedName(segmentName, sizeof segmentName);
      uint32_t fileOffset = 0, align = 0, relocations = 0, relocationCount = 0, sectionFlags = 0, reserved[3];
      in.U64(&section.address);
      in.U64(&section.size);
      in.U32(&fileOffset);
      in.U32(&align);
      in.U32(&relocations);
      in.U32(&relocationCount);
      in.U32(&sectionFlags);
      for (uint32_t& word : reserved) in.U32(&word);
      section.type = sectionFlags & 0xff;
      section.attributes = sectionFlags & 0xffffff00u;
      const std::string where = "section " + section.segment + "," + section.name;
      if (section.segment != segment.name) return Fail(where + " sits in the load command of segment " + segment.name);
      if (section.address < segment.address ||
          !Inside(section.address - segment.address, section.size, segment.memorySize))
        return Fail(where + " lies outside its segment");
      if (section.type >= 0x11 && section.type <= 0x15)
        return Fail(where + " holds thread-local variables, which this loader does not support");
      segment.sections.push_back(std::move(section));
    }
    file_->segments.push_back(std::move(segment));
    return true;
  }

  bool CheckSegments() {
    if (!sawDyldInfo_) return Fail("no LC_DYLD_INFO load command: the file carries no rebase and bind information");
    std::vector<const Segment*> mapped;
    bool headerMapped = false;
    for (const Segment& segment : file_->segments) {
      if (segment.memorySize == 0) continue;
      if (segment.fileOffset == 0 && segment.fileSize >= kHeaderSize && !headerMapped) {
        headerMapped = true;
        file_->headerAddress = segment.address;
      }
      mapped.push_back(&segment);
    }
    if (mapped.empty()) return Fail("no segment occupies memory");
    if (!headerMapped) return Fail("no segment maps the Mach-O header");
    std::sort(mapped.begin(), mapped.end(), [](const Segment* a, const Segment* b) { return a->address < b->address; });
    for (size_t i = 1; i < mapped.size(); ++i)
      if (mapped[i - 1]->address + mapped[i - 1]->memorySize > mapped[i]->address)
        return Fail("segments " + mapped[i - 1]->name + " and " + mapped[i]->name + " overlap");
    file_->lowestAddress = mapped.front()->address;
    file_->highestAddress = mapped.back()->address + mapped.back()->memorySize;
    if (file_->highestAddress - file_->lowestAddress > kMaxImageSize)
      return Fail("its segments span more than " + Hex(kMaxImageSize) + " bytes");
    return true;
  }

  const std::vector<uint8_t>& bytes_;
  File* file_;
  std::string* error_;
  bool sawDyldInfo_ = false;
};

}  // namespace

bool LooksLikeMachO(const uint8_t* bytes, size_t size) {
  if (size < 4) return false;
  const uint32_t magic = uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
                         uint32_t{bytes[3]} << 24;
  return magic == kMagic64 || magic == kMagic32 || magic == kMagic64Swapped || magic == kMagic32Swapped ||
         magic == kFatMagic || magic == kFatMagic64;
}

bool ParseFile(const std::vector<uint8_t>& bytes, File* file, std::string* error) {
  *file = File{};
  return Parser(bytes, file, error).Run();
}

}  // namespace fm::host::macho
