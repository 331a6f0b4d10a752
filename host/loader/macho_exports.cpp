#include "host/loader/macho_exports.h"

#include <set>

#include "host/loader/macho_reader.h"

namespace fm::host::macho {
namespace {

constexpr uint64_t kKindMask = 0x3;
constexpr uint64_t kKindRegular = 0x0;
constexpr uint64_t kKindThreadLocal = 0x1;
constexpr uint64_t kKindAbsolute = 0x2;
constexpr uint64_t kFlagReexport = 0x8;
constexpr uint64_t kFlagStubAndResolver = 0x10;
constexpr uint64_t kKnownFlags = kKindMask | 0x4 /* weak definition */ | kFlagReexport | kFlagStubAndResolver;
constexpr size_t kMaxNameLength = 4096;

class TrieReader {
 public:
  TrieReader(const File& file, const std::vector<uint8_t>& bytes, std::map<std::string, Export>* exports,
             std::string* error)
      : file_(file), trie_(bytes.data() + file.exports.offset, file.exports.size), exports_(exports),
        error_(error) {}

  bool Run() {
    if (file_.exports.size == 0) return true;
    // Depth-first with an explicit stack: a hostile trie must not exhaust the host's stack.
    std::vector<std::pair<uint64_t, std::string>> pending = {{0, std::string()}};
    while (!pending.empty()) {
      auto [node, prefix] = std::move(pending.back());
      pending.pop_back();
      if (!visited_.insert(node).second) return Fail("reaches one node twice");
      if (!Node(node, prefix, &pending)) return false;
    }
    return true;
  }

 private:
  bool Fail(const std::string& text) {
    *error_ = "the export information " + text;
    return false;
  }

  bool Node(uint64_t node, const std::string& prefix, std::vector<std::pair<uint64_t, std::string>>* pending) {
    if (!trie_.Seek(node)) return Fail("points outside itself");
    uint64_t terminalSize = 0;
    if (!trie_.Uleb(&terminalSize)) return Fail("runs off its end");
    const size_t childrenAt = trie_.Position() + terminalSize;
    if (terminalSize > trie_.Size() - trie_.Position()) return Fail("runs off its end");
    if (terminalSize > 0 && !Terminal(prefix)) return false;
    trie_.Seek(childrenAt);
    uint8_t children = 0;
    if (!trie_.U8(&children)) return Fail("runs off its end");
    for (uint8_t i = 0; i < children; ++i) {
      std::string edge;
      uint64_t child = 0;
      if (!trie_.CString(&edge) || !trie_.Uleb(&child)) return Fail("runs off its end");
      if (prefix.size() + edge.size() > kMaxNameLength) return Fail("spells a name longer than any symbol");
      pending->emplace_back(child, prefix + edge);
    }
    return true;
  }

  bool Terminal(const std::string& fullName) {
    const std::string name = Clipped(fullName);
    uint64_t flags = 0, value = 0;
    if (!trie_.Uleb(&flags)) return Fail("runs off its end");
    if (flags & ~kKnownFlags) return Fail("gives " + name + " flags it does not know");
    if (flags & kFlagReexport) return Fail("re-exports " + name + " from another library, which this loader does not do");
    if (flags & kFlagStubAndResolver) return Fail("exports " + name + " through a resolver, which this loader does not run");
    if ((flags & kKindMask) == kKindThreadLocal) return Fail("exports the thread-local " + name);
    if ((flags & kKindMask) != kKindRegular && (flags & kKindMask) != kKindAbsolute)
      return Fail("gives " + name + " a symbol kind it does not know");
    if (!trie_.Uleb(&value)) return Fail("runs off its end");
    const bool absolute = (flags & kKindMask) == kKindAbsolute;
    // The host calls or reads what an export names: it must lie in a readable segment, not in
    // a gap between segments or in pages mapped without access.
    if (!absolute && !InReadableSegment(value)) return Fail("places " + name + " outside the image's readable segments");
    if (!exports_->emplace(fullName, Export{value, absolute}).second) return Fail("exports " + name + " twice");
    return true;
  }

  bool InReadableSegment(uint64_t offset) const {
    if (offset > ~uint64_t{0} - file_.headerAddress) return false;
    const uint64_t address = file_.headerAddress + offset;
    for (const Segment& segment : file_.segments)
      if ((segment.protection & kProtRead) && address >= segment.address &&
          address - segment.address < segment.memorySize)
        return true;
    return false;
  }

  const File& file_;
  ByteReader trie_;
  std::map<std::string, Export>* exports_;
  std::string* error_;
  std::set<uint64_t> visited_;
};

}  // namespace

bool ReadExports(const File& file, const std::vector<uint8_t>& bytes, std::map<std::string, Export>* exports,
                 std::string* error) {
  exports->clear();
  return TrieReader(file, bytes, exports, error).Run();
}

}  // namespace fm::host::macho
