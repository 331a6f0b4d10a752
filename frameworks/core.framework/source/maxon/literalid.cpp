// Literal identifiers at run time: assignment, release and comparison.
#include "maxon/literalid.h"

#include <atomic>
#include <cstring>

#include "maxon/system.h"
#include "maxon/translationunit.h"

FW_CORE_TRANSLATION_UNIT()

namespace maxon {
namespace {

constinit std::atomic<LiteralIdObserver> g_releaseObserver{nullptr};

}  // namespace

void LiteralId::Assign(const char* literal) {
  Release();
  text = literal;
  packed = PackLiteralText(literal);
}

void LiteralId::Release() {
  if (text != nullptr) {
    if (const LiteralIdObserver observer = g_releaseObserver.load(std::memory_order_acquire))
      observer(*this);
    // An owned text came from the framework's allocator, like every heap block of the module.
    if (IsOwned()) FreeWithDestructorI(const_cast<char*>(text), &DestroyNothing);
  }
  text = nullptr;
  packed = 0;
}

bool LiteralIdEquals(const LiteralId& a, const LiteralId& b) {
  if ((a.packed & ~LITERAL_OWNED_BIT) != (b.packed & ~LITERAL_OWNED_BIT)) return false;
  if (a.text == b.text) return true;
  if (a.text == nullptr || b.text == nullptr) return a.Length() == 0 && b.Length() == 0;
  return std::strcmp(a.text, b.text) == 0;
}

void SetLiteralIdReleaseObserver(LiteralIdObserver observer) {
  g_releaseObserver.store(observer, std::memory_order_release);
}

}  // namespace maxon
