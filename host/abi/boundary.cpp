// The host's side of the compiler-dependent crossings, written as the host application declares
// them: its string and error classes are one word with a copy and a destructor, host-string
// arguments are taken by const reference, the command's operations are members of its command
// class, and an error is returned by value. Whatever compiler builds this file places `this`,
// hidden result slots and by-address arguments; on Windows that compiler is clang with Microsoft's
// C++ ABI, so the Windows host calls and is called exactly as a host built by Microsoft's
// compiler. No header of the host or of the standard library is needed: only host_abi.h.

#include "host/abi/host_abi.h"

namespace {

template <typename To, typename From>
To Bits(const From& from) {
  static_assert(sizeof(To) == sizeof(From));
  To to;
  __builtin_memcpy(&to, &from, sizeof to);
  return to;
}

// The host's string class: one word holding a string with one reference of its own.
class String {
 public:
  String() : string_(nullptr) {}
  explicit String(void* adopted) : string_(adopted) {}
  String(const String&) = delete;
  String& operator=(const String&) = delete;
  ~String() { fm_host_release_string(string_); }

  void* Get() const { return string_; }
  void* Take() {
    void* string = string_;
    string_ = nullptr;
    return string;
  }

 private:
  void* string_;
};
static_assert(sizeof(String) == 8);

// The framework's error class: one word, null for success.
class Error {
 public:
  Error() : error_(nullptr) {}
  Error(const Error& other) : error_(other.error_) {}
  ~Error() {}
  const void* Get() const { return error_; }

 private:
  const void* error_;
};
static_assert(sizeof(Error) == 8);

// ---- table entries ---------------------------------------------------------------------------

void PrintLine(const String& text) { fm_host_print_line(text.Get()); }

void ShowMessageBox(const String& text, int32_t style) {
  fm_host_show_message_box(text.Get(), style);
}

void StatusShowText(const String& text) { fm_host_status_show_text(text.Get()); }

bool PluginRegister(int32_t api, int32_t kind, int32_t id, const String& name, void* record,
                    int32_t size) {
  return fm_host_plugin_register(api, kind, id, name.Get(), record, size);
}

// A scene node of the host: NodeGetName is a member giving the name by value.
class Node {
 public:
  String GetName() { return String(fm_host_node_name(this)); }
};

// ---- the module's command, as the host calls it ----------------------------------------------

// The command class the registration record's entries belong to. The host knows only that the
// entries are members of it taking the document and the parent window.
class CommandData {
 public:
  virtual ~CommandData();
};

using BoolOperation = bool (CommandData::*)(void*, void*);
#ifdef _WIN32
static_assert(sizeof(BoolOperation) == 8, "one code address: the Windows record's entry width");
#else
static_assert(sizeof(BoolOperation) == 16, "function word and adjustment");
#endif
using IntOperation = int32_t (CommandData::*)(void*, void*);
using StringOperation = String (CommandData::*)(void*, void*);

template <typename Member>
Member EntryAt(const void* entry) {
  Member member;
  __builtin_memcpy(&member, entry, sizeof member);
  return member;
}

using InitHook = Error (*)();

}  // namespace

extern "C" {

void* fm_abi_entry_print_line() { return Bits<void*>(&PrintLine); }
void* fm_abi_entry_show_message_box() { return Bits<void*>(&ShowMessageBox); }
void* fm_abi_entry_status_show_text() { return Bits<void*>(&StatusShowText); }
void* fm_abi_entry_plugin_register() { return Bits<void*>(&PluginRegister); }

uint32_t fm_abi_member_entry_width() { return sizeof(&Node::GetName); }

void fm_abi_member_node_get_name(void* out) {
  auto member = &Node::GetName;
  __builtin_memcpy(out, &member, sizeof member);
}

bool fm_abi_call_bool_operation(const void* entry, void* object, void* a, void* b) {
  return (static_cast<CommandData*>(object)->*EntryAt<BoolOperation>(entry))(a, b);
}

int32_t fm_abi_call_int_operation(const void* entry, void* object, void* a, void* b) {
  return (static_cast<CommandData*>(object)->*EntryAt<IntOperation>(entry))(a, b);
}

void* fm_abi_call_string_operation(const void* entry, void* object, void* a, void* b) {
  return (static_cast<CommandData*>(object)->*EntryAt<StringOperation>(entry))(a, b).Take();
}

const void* fm_abi_call_init_hook(void* hook) { return Bits<InitHook>(hook)().Get(); }

}  // extern "C"
