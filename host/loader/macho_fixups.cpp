#include "host/loader/macho_fixups.h"

#include "host/loader/macho_reader.h"

namespace fm::host::macho {
namespace {

constexpr uint64_t kPointerSize = 8;
constexpr uint8_t kTypePointer = 1;

// Rebase opcodes (high nibble) of LC_DYLD_INFO.
enum : uint8_t {
  kRebaseDone = 0x00,
  kRebaseSetTypeImm = 0x10,
  kRebaseSetSegmentAndOffsetUleb = 0x20,
  kRebaseAddAddrUleb = 0x30,
  kRebaseAddAddrImmScaled = 0x40,
  kRebaseDoRebaseImmTimes = 0x50,
  kRebaseDoRebaseUlebTimes = 0x60,
  kRebaseDoRebaseAddAddrUleb = 0x70,
  kRebaseDoRebaseUlebTimesSkippingUleb = 0x80,
};

// Bind opcodes (high nibble).
enum : uint8_t {
  kBindDone = 0x00,
  kBindSetDylibOrdinalImm = 0x10,
  kBindSetDylibOrdinalUleb = 0x20,
  kBindSetDylibSpecialImm = 0x30,
  kBindSetSymbolTrailingFlagsImm = 0x40,
  kBindSetTypeImm = 0x50,
  kBindSetAddendSleb = 0x60,
  kBindSetSegmentAndOffsetUleb = 0x70,
  kBindAddAddrUleb = 0x80,
  kBindDoBind = 0x90,
  kBindDoBindAddAddrUleb = 0xa0,
  kBindDoBindAddAddrImmScaled = 0xb0,
  kBindDoBindUlebTimesSkippingUleb = 0xc0,
  kBindThreaded = 0xd0,
};

constexpr uint8_t kBindSymbolWeakImport = 0x1;

// State shared by both decoders: where the next slot is, checked whenever a slot is emitted.
class Cursor {
 public:
  Cursor(const File& file, const char* stream, std::string* error)
      : file_(file), stream_(stream), error_(error) {
    uint64_t total = 0;
    for (const Segment& s : file.segments) total += s.memorySize / kPointerSize;
    // No stream can fix more slots than the image has, however it loops.
    limit_ = total;
  }

  bool SetSegment(uint64_t segment, uint64_t offset) {
    if (segment >= file_.segments.size())
      return Fail("names segment " + std::to_string(segment) + ", which the file lacks");
    const Segment& s = file_.segments[segment];
    if ((s.protection & kProtWrite) == 0) return Fail("fixes a slot in segment " + s.name + ", which is not writable");
    segment_ = static_cast<uint32_t>(segment);
    offset_ = offset;
    hasSegment_ = true;
    return true;
  }
  void Advance(uint64_t bytes) { offset_ += bytes; }  // wraps like the file's own arithmetic
  bool Skip(uint64_t bytes) {
    if (!hasSegment_ || bytes > file_.segments[segment_].memorySize) return Fail("skips beyond its segment");
    offset_ += bytes;
    return true;
  }

  // Checks the current slot and counts it.
  bool Emit() {
    if (!hasSegment_) return Fail("fixes a slot before it names a segment");
    const Segment& s = file_.segments[segment_];
    if (offset_ > s.memorySize || s.memorySize - offset_ < kPointerSize)
      return Fail("fixes a slot at offset " + std::to_string(offset_) + " beyond the end of segment " + s.name);
    if (++count_ > limit_) return Fail("fixes more slots than the image holds");
    return true;
  }

  // Emits `times` slots, each followed by the pointer and `skip` further bytes.
  template <typename Emit>
  bool Repeat(uint64_t times, uint64_t skip, Emit emit) {
    for (uint64_t i = 0; i < times; ++i) {
      if (!emit()) return false;
      Advance(kPointerSize);
      if (skip > 0 && !Skip(skip)) return false;
    }
    return true;
  }

  uint32_t SegmentIndex() const { return segment_; }
  uint64_t Offset() const { return offset_; }

  bool Fail(const std::string& text) {
    *error_ = std::string("the ") + stream_ + " " + text;
    return false;
  }

 private:
  const File& file_;
  const char* stream_;
  std::string* error_;
  uint32_t segment_ = 0;
  uint64_t offset_ = 0;
  bool hasSegment_ = false;
  uint64_t count_ = 0;
  uint64_t limit_ = 0;
};

std::string OpcodeText(uint8_t byte) {
  static const char digits[] = "0123456789abcdef";
  return std::string("opcode 0x") + digits[byte >> 4] + digits[byte & 15];
}

}  // namespace

bool DecodeRebases(const File& file, const std::vector<uint8_t>& bytes, std::vector<Rebase>* rebases,
                   std::string* error) {
  rebases->clear();
  ByteReader in(bytes.data() + file.rebase.offset, file.rebase.size);
  Cursor at(file, "rebase information", error);
  uint8_t type = 0;
  auto emit = [&]() {
    if (type != kTypePointer)
      return at.Fail("uses rebase kind " + std::to_string(type) + ", which this loader does not apply");
    if (!at.Emit()) return false;
    rebases->push_back(Rebase{at.SegmentIndex(), at.Offset()});
    return true;
  };
  while (!in.AtEnd()) {
    uint8_t byte = 0;
    in.U8(&byte);
    const uint8_t opcode = byte & 0xf0, immediate = byte & 0x0f;
    uint64_t a = 0, b = 0;
    switch (opcode) {
      case kRebaseDone: return true;
      case kRebaseSetTypeImm: type = immediate; break;
      case kRebaseSetSegmentAndOffsetUleb:
        if (!in.Uleb(&a)) return at.Fail("runs off its end");
        if (!at.SetSegment(immediate, a)) return false;
        break;
      case kRebaseAddAddrUleb:
        if (!in.Uleb(&a)) return at.Fail("runs off its end");
        at.Advance(a);
        break;
      case kRebaseAddAddrImmScaled: at.Advance(immediate * kPointerSize); break;
      case kRebaseDoRebaseImmTimes:
        if (!at.Repeat(immediate, 0, emit)) return false;
        break;
      case kRebaseDoRebaseUlebTimes:
        if (!in.Uleb(&a)) return at.Fail("runs off its end");
        if (!at.Repeat(a, 0, emit)) return false;
        break;
      case kRebaseDoRebaseAddAddrUleb:
        if (!in.Uleb(&a)) return at.Fail("runs off its end");
        if (!emit()) return false;
        at.Advance(kPointerSize + a);
        break;
      case kRebaseDoRebaseUlebTimesSkippingUleb:
        if (!in.Uleb(&a) || !in.Uleb(&b)) return at.Fail("runs off its end");
        if (!at.Repeat(a, b, emit)) return false;
        break;
      default: return at.Fail("holds " + OpcodeText(byte) + ", which this loader does not know");
    }
  }
  return true;
}

bool DecodeBinds(const File& file, const std::vector<uint8_t>& bytes, BindStream stream,
                 std::vector<Bind>* binds, std::string* error) {
  binds->clear();
  const Range range = stream == BindStream::kRegular ? file.bind
                      : stream == BindStream::kLazy  ? file.lazyBind
                                                     : file.weakBind;
  const char* name = stream == BindStream::kRegular ? "bind information"
                     : stream == BindStream::kLazy  ? "lazy bind information"
                                                    : "weak bind information";
  ByteReader in(bytes.data() + range.offset, range.size);
  Cursor at(file, name, error);
  int64_t ordinal = 0, addend = 0;
  uint8_t type = kTypePointer, flags = 0;
  std::string symbol;
  bool haveSymbol = false;
  auto emit = [&]() {
    if (!haveSymbol) return at.Fail("binds a slot before it names a symbol");
    if (type != kTypePointer)
      return at.Fail("uses bind kind " + std::to_string(type) + ", which this loader does not apply");
    if (stream != BindStream::kWeak && ordinal > static_cast<int64_t>(file.libraries.size()))
      return at.Fail("names library " + std::to_string(ordinal) + " for " + Clipped(symbol) + ", but the file imports " +
                     std::to_string(file.libraries.size()));
    if (!at.Emit()) return false;
    binds->push_back(Bind{at.SegmentIndex(), at.Offset(), ordinal, symbol, addend, (flags & kBindSymbolWeakImport) != 0});
    return true;
  };
  while (!in.AtEnd()) {
    uint8_t byte = 0;
    in.U8(&byte);
    const uint8_t opcode = byte & 0xf0, immediate = byte & 0x0f;
    uint64_t a = 0, b = 0;
    switch (opcode) {
      case kBindDone:
        // Lazy entries each end with DONE; only the other streams stop at it.
        if (stream != BindStream::kLazy) return true;
        break;
      case kBindSetDylibOrdinalImm: ordinal = immediate; break;
      case kBindSetDylibOrdinalUleb:
        if (!in.Uleb(&a)) return at.Fail("runs off its end");
        if (a > 0xffff) return at.Fail("names library " + std::to_string(a));
        ordinal = static_cast<int64_t>(a);
        break;
      case kBindSetDylibSpecialImm:
        ordinal = immediate == 0 ? 0 : static_cast<int8_t>(0xf0 | immediate);
        break;
      case kBindSetSymbolTrailingFlagsImm:
        if (!in.CString(&symbol)) return at.Fail("runs off its end inside a symbol name");
        flags = immediate;
        haveSymbol = true;
        break;
      case kBindSetTypeImm: type = immediate; break;
      case kBindSetAddendSleb:
        if (!in.Sleb(&addend)) return at.Fail("runs off its end");
        break;
      case kBindSetSegmentAndOffsetUleb:
        if (!in.Uleb(&a)) return at.Fail("runs off its end");
        if (!at.SetSegment(immediate, a)) return false;
        break;
      case kBindAddAddrUleb:
        if (!in.Uleb(&a)) return at.Fail("runs off its end");
        at.Advance(a);
        break;
      case kBindDoBind:
        if (!at.Repeat(1, 0, emit)) return false;
        break;
      case kBindDoBindAddAddrUleb:
        if (!in.Uleb(&a)) return at.Fail("runs off its end");
        if (!emit()) return false;
        at.Advance(kPointerSize + a);
        break;
      case kBindDoBindAddAddrImmScaled:
        if (!emit()) return false;
        at.Advance(kPointerSize + immediate * kPointerSize);
        break;
      case kBindDoBindUlebTimesSkippingUleb:
        if (!in.Uleb(&a) || !in.Uleb(&b)) return at.Fail("runs off its end");
        if (!at.Repeat(a, b, emit)) return false;
        break;
      case kBindThreaded: return at.Fail("uses threaded binds, which this loader does not apply");
      default: return at.Fail("holds " + OpcodeText(byte) + ", which this loader does not know");
    }
  }
  return true;
}

}  // namespace fm::host::macho
