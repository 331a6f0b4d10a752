#include "host/tables/paths.h"

#include <atomic>

#include "host/framework/strings.h"

namespace fm::host {
namespace {

std::atomic<int64_t> g_livePaths{0};

HostString*& Held(void** word) { return *reinterpret_cast<HostString**>(word); }

}  // namespace

void InitPathWord(void** word, std::string_view text) {
  Held(word) = text.empty() ? nullptr : NewString(text);
  g_livePaths.fetch_add(1, std::memory_order_relaxed);
}

void FreePathWord(void** word) {
  Release(Held(word));
  Held(word) = nullptr;
  g_livePaths.fetch_sub(1, std::memory_order_relaxed);
}

std::string PathWordText(void* const* word) {
  return word ? ToUtf8(*reinterpret_cast<HostString* const*>(word)) : std::string();
}

void SetPathWordText(void** word, std::string_view text) {
  HostString* old = Held(word);
  Held(word) = text.empty() ? nullptr : NewString(text);
  Release(old);
}

int64_t LivePathCount() { return g_livePaths.load(std::memory_order_relaxed); }

}  // namespace fm::host
