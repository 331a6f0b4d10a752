// The string interface reference with its 45 slots, and the host-string calls of the module.
#include "maxon/hoststring.h"

#include <atomic>
#include <iterator>
#include <utility>

#include "maxon/declaration.h"
#include "maxon/interfacereference.h"
#include "maxon/stringinterface.h"
#include "maxon/translationunit.h"

FW_CORE_TRANSLATION_UNIT()

namespace maxon {
namespace {

using K = NULL_RETURN_TYPE;

constexpr MethodEntry STRING_METHODS[] = {
    {"Free@6b89c862671671d5", K::VOID_ZERO_FREE_FUNCTION},
    {"GetLength@4386c86", K::INTEGRAL_ZERO},
    {"Init@6843523afaef7f67", K::OTHER},
    {"Shrink@a54f4799cbe1a498", K::OTHER},
    {"Append@ea775bd82f5116d7", K::OTHER},
    {"Append@b4033cadc2b31126", K::OTHER},
    {"FindIndex@bf0793672b1ef762", K::INTEGRAL_ZERO},
    {"FindIndex@78da5fa75d9b896e", K::INTEGRAL_ZERO},
    {"FindLastIndex@8cb4d227efc04d6f", K::INTEGRAL_ZERO},
    {"FindLastIndex@66c66de14a043163", K::INTEGRAL_ZERO},
    {"FindUpperIndex@422975ae43d60ada", K::INTEGRAL_ZERO},
    {"FindLastUpperIndex@12e38a7cbd8ec2a0", K::INTEGRAL_ZERO},
    {"Erase@d2fb2ee68a77afc4", K::OTHER},
    {"Insert@bd4163e45f19033e", K::OTHER},
    {"Insert@a4d74c09f44a11a4", K::OTHER},
    {"GetPart@aeb7a20fe28680ad", K::INTEGRAL_ZERO},
    {"ToUpper@f2aeed3ab63ee7d3", K::INTEGRAL_ZERO},
    {"ToLower@fa2c2f54da567e4d", K::INTEGRAL_ZERO},
    {"ComparePart@bee2cb8967d47228", K::OTHER},
    {"GetHashCode@95445951", K::INTEGRAL_ZERO},
    {"SetChar@ee0d63d195187c50", K::VOID_ZERO},
    {"GetChar@9bcb26f753eabfd2", K::INTEGRAL_ZERO},
    {"GetUtf32@975ae8388490c5b1", K::OTHER},
    {"TrimLeft@d03ca6a71979aabd", K::OTHER},
    {"TrimRight@ed1b8e1fe0e77771", K::OTHER},
    {"Split@72029307da08a814", K::OTHER},
    {"Replace@27000fadc4bb0b1a", K::OTHER},
    {"Replace@b56aabd2481d033d", K::OTHER},
    {"Replace@2b9ba2c9aa100a84", K::OTHER},
    {"Alloc@481728b0e4a6af90", K::INTEGRAL_ZERO},
    {"Alloc@bb2fe47e6a32038a", K::INTEGRAL_ZERO},
    {"GetCStringBlock@be0b9b07332985f6", K::OTHER},
    {"GetCStringAppendArray@f3b3a71444abcbe5", K::OTHER},
    {"GetCString@5ff1d021c979b095", K::OTHER},
    {"SetCString@5c5e8978bfe2a356", K::OTHER},
    {"GetSystemEncoding@958fe62254efd50a", K::OTHER},
    {"SetSystemEncoding@c356b842a6a5eb8f", K::OTHER},
    {"SetUtf32@97e02aa9c731c8f9", K::OTHER},
    {"GetUtf16@b22a8eee22ffab71", K::OTHER},
    {"SetUtf16@b2b9a8d304456968", K::OTHER},
    {"GetAndCacheConstString@3adaff44e261348e", K::POINTER_TO_ZERO},
    {"GetAndCacheConstString@c5d671ada1ada6a8", K::POINTER_TO_ZERO},
    {"PrivateEnumToString@921e7eafb2d55a15", K::OTHER},
    {"GetVariableInternalData@d66e674598235217", K::OTHER},
    {"GetCharacterWidth@4386c86", K::INTEGRAL_ZERO},
};
static_assert(std::size(STRING_METHODS) == STRING_METHOD_COUNT);
static_assert(ConstexprEquals(STRING_METHODS[STRING_FREE].id, "Free@6b89c862671671d5"));
static_assert(ConstexprEquals(STRING_METHODS[STRING_GET_LENGTH].id, "GetLength@4386c86"));
static_assert(ConstexprEquals(STRING_METHODS[STRING_INIT].id, "Init@6843523afaef7f67"));
static_assert(ConstexprEquals(STRING_METHODS[STRING_ALLOC].id, "Alloc@481728b0e4a6af90"));
static_assert(ConstexprEquals(STRING_METHODS[STRING_SET_CSTRING].id,
                              "SetCString@5c5e8978bfe2a356"));

constexpr auto STRING_BLOB = MakeMethodBlob<MethodBlobSize(STRING_METHODS)>(STRING_METHODS);

constinit void* g_stringMethods[STRING_METHOD_COUNT]{};

// Every slot of kind OTHER except Init and SetCString carries an error channel, which comes back
// by value through the caller's result slot, and takes up to four pointer-sized arguments.
using GenericErrorMethod = ErrorRef(void*, void*, void*, void*);
using SetCStringMethod = ErrorRef(StringObject*, const char*, int64_t, const StringDecodingRef&);
using GenericErrorSlots = std::index_sequence<3, 4, 5, 12, 13, 14, 18, 22, 23, 24, 25, 26, 27, 28,
                                              31, 32, 33, 35, 36, 37, 38, 39, 42, 43>;

constexpr size_t CountOther() {
  size_t n = 0;
  for (const MethodEntry& m : STRING_METHODS) n += m.kind == K::OTHER ? 1 : 0;
  return n;
}
static_assert(CountOther() == GenericErrorSlots::size() + 2);

template <size_t... Slots>
void WriteGenericStubs(std::index_sequence<Slots...>) {
  static_assert(((STRING_METHODS[Slots].kind == K::OTHER) && ...));
  ((g_stringMethods[Slots] =
        StubAddress<ErrorChannelStub<g_stringInterface, Slots, GenericErrorMethod>>()),
   ...);
}

void WriteStringStubs() {
  WriteGenericStubs(GenericErrorSlots{});
  g_stringMethods[STRING_INIT] =
      StubAddress<ReportingStub<g_stringInterface, STRING_INIT, StringObject*(StringObject*)>>();
  g_stringMethods[STRING_SET_CSTRING] =
      StubAddress<ErrorChannelStub<g_stringInterface, STRING_SET_CSTRING, SetCStringMethod>>();
}

void FillString(EntityBase* reference, Binder binder) {
  FillAndBind(g_stringInterface, reference, binder, WriteStringStubs);
}

InterfaceReferenceRecord* BuildStringReference() {
  WriteStringStubs();
  return ConstructInterfaceReference(
      g_stringInterface, "net.maxon.interface.string", g_stringMethods, nullptr,
      STRING_BLOB.bytes, STRING_METHOD_COUNT, FillString, nullptr, FW_THIS_TRANSLATION_UNIT,
      EntityBase::FLAGS::REFERENCE_COPY_ON_WRITE);
}

// Handed to SetCString when the host has no decoding object; never dereferenced by the module.
struct alignas(32) PlaceholderObject {
  uint64_t words[8];
};
constinit PlaceholderObject g_decodingPlaceholder{};

constinit DeclarationRecord g_utf8Decoding{};

// The reference word sits directly before the host's string object. It is changed through the
// compiler's atomic built-ins rather than std::atomic_ref, which the macOS C++ library we build
// against does not have.
int64_t* ReferenceWord(StringObject* string) {
  return reinterpret_cast<int64_t*>(reinterpret_cast<char*>(string) - sizeof(int64_t));
}

}  // namespace

constinit InterfaceReferenceRecord g_stringInterface{};

namespace {
[[maybe_unused]] InterfaceReferenceRecord* const g_stringInterfaceBuilt = BuildStringReference();
[[maybe_unused]] DeclarationRecord* const g_utf8DecodingBuilt =
    ConstructDeclaration(g_utf8Decoding, "net.maxon.stringdecoding.utf8", nullptr,
                         FW_THIS_TRANSLATION_UNIT, 0);
}  // namespace

const void* Utf8Decoding() {
  return LazyDeclarationObject(g_utf8Decoding, g_stringInterface, &g_decodingPlaceholder);
}

StringObject* StringInit(StringObject* string) {
  return SlotAs<StringObject* (*)(StringObject*)>(g_stringInterface, STRING_INIT)(string);
}

StringObject* StringFromCString(const char* text) {
  auto alloc = SlotAs<StringObject* (*)()>(g_stringInterface, STRING_ALLOC);
  if (alloc == nullptr) return nullptr;
  StringObject* string = alloc();
  if (string == nullptr || text == nullptr || *text == '\0') return string;
  auto setCString = SlotAs<SetCStringMethod*>(g_stringInterface, STRING_SET_CSTRING);
  const StringDecodingRef decoding(Utf8Decoding());
  if (setCString(string, text, -1, decoding)) {
    // A string that could not take the text is not handed out half made.
    StringRelease(string);
    return nullptr;
  }
  return string;
}

int64_t StringGetLength(const StringObject* string) {
  if (string == nullptr) return 0;
  auto getLength = SlotAs<int64_t (*)(const StringObject*)>(g_stringInterface, STRING_GET_LENGTH);
  return getLength != nullptr ? getLength(string) : 0;
}

void StringAddReference(StringObject* string) {
  if (string == nullptr) return;
  __atomic_fetch_add(ReferenceWord(string), int64_t{16}, __ATOMIC_RELAXED);
}

void StringRelease(StringObject* string) {
  if (string == nullptr) return;
  const int64_t before = __atomic_fetch_sub(ReferenceWord(string), int64_t{16}, __ATOMIC_ACQ_REL);
  if (before >= 32) return;
  auto free = SlotAs<void (*)(StringObject*)>(g_stringInterface, STRING_FREE);
  if (free != nullptr) free(string);
}

}  // namespace maxon
