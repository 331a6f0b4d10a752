// GeneralTable: console, message box, user-interface state, status bar, update requests,
// plug-in registration and the host's start-up directory.
#include <cstring>

#include "host/abi/host_abi.h"
#include "host/tables/entry_support.h"
#include "host/tables/paths.h"
#include "host/tables/table_image.h"

namespace fm::host {
namespace {

void Record(UiEventKind kind, std::string text = {}, int32_t value = 0) {
  CurrentEnvironment().Ui().Record(UiEvent{kind, std::move(text), value, nullptr});
}

// Every host-string argument is the host's string class by const reference: the address of the
// caller's one-word holder. The entries themselves are the boundary's (host/abi), which reads the
// holder and hands the string on. A null string prints (or shows) as the empty text; a word that
// is no string of this host (a module that passed the string object instead of its holder's
// address) is diagnosed and shown as empty.
std::string TextOf(void* string, const char* entry) {
  auto* text = static_cast<HostString*>(string);
  if (text != nullptr && !IsHostString(text)) {
    Diagnose(std::string(entry) + ": the argument holds no string of this host");
    return std::string();
  }
  return ToUtf8(text);
}

// A new path owned by the caller (PathFree).
PathValue GetHostStartupDirectory() { return PathValue(CurrentEnvironment().StartupDirectory()); }

// Modal in a real host; here recorded with its style. There is no answer to give.

void SetHostUiState(int32_t state) { Record(UiEventKind::UiState, {}, state); }

void StatusReset() { Record(UiEventKind::StatusReset); }

// Percent; values outside 0..100 are recorded as given and diagnosed.
void StatusSetProgress(int32_t percent) {
  if (percent < 0 || percent > 100) {
    Diagnose("StatusSetProgress: " + std::to_string(percent) + " is outside 0..100");
  }
  Record(UiEventKind::StatusProgress, {}, percent);
}


// Keeps a copy of the record (the module's lives only for the call) and copies the help text and
// the icon bitmap it points to (the module frees both right after). The help text is "a pointer to
// a host string": the address of the module's holder, valid for the call. False, keeping nothing,
// when the host refuses or the record is not a command record of this layout.
bool PluginRegister(int32_t api, int32_t kind, int32_t id, void* name, void* record,
                    int32_t size) {
  Environment& env = CurrentEnvironment();
  if (env.Faults().refuseRegistration) return false;
  const std::string what = "PluginRegister of plug-in " + std::to_string(id);
  if (kind != kCommandPluginKind) {
    Diagnose(what + ": kind " + std::to_string(kind) + " is not offered by this host");
    return false;
  }
  if (!record || size != kCommandRecordSize) {
    Diagnose(what + ": a command record of " + std::to_string(kCommandRecordSize) +
             " bytes was expected, got " + (record ? std::to_string(size) + " bytes" : "none"));
    return false;
  }
  CommandRegistration registration;
  registration.api = api;
  registration.kind = kind;
  registration.id = id;
  registration.name = TextOf(name, "PluginRegister");
  registration.record.assign(static_cast<const uint8_t*>(record),
                             static_cast<const uint8_t*>(record) + size);
  registration.recordSize = size;
  HostString* const* help = nullptr;
  std::memcpy(&help, registration.record.data() + kCommandRecordHelpOffset, sizeof help);
  registration.help = help ? TextOf(*help, "PluginRegister's help text") : std::string();
  void* icon = nullptr;
  std::memcpy(&icon, registration.record.data() + kCommandRecordIconOffset, sizeof icon);
  if (icon) {
    if (const Bitmap* bitmap = env.FindBitmap(icon)) {
      registration.icon = std::make_shared<const Bitmap>(*bitmap);
    } else {
      Diagnose(what + ": the icon is no bitmap of this host; registered without one");
    }
  }
  env.Registrations().push_back(std::move(registration));
  return true;
}

void RequestHostUpdate(int32_t flags) { Record(UiEventKind::HostUpdate, {}, flags); }

}  // namespace

// The boundary's entries land here, so their calls are counted here.
extern "C" {
void fm_host_print_line(void* text) {
  CountEntryCall(EntryIndex(GeneralEntries::PrintLine));
  Record(UiEventKind::PrintLine, TextOf(text, "PrintLine"));
}
void fm_host_show_message_box(void* text, int32_t style) {
  CountEntryCall(EntryIndex(GeneralEntries::ShowMessageBox));
  Record(UiEventKind::MessageBox, TextOf(text, "ShowMessageBox"), style);
}
void fm_host_status_show_text(void* text) {
  CountEntryCall(EntryIndex(GeneralEntries::StatusShowText));
  Record(UiEventKind::StatusText, TextOf(text, "StatusShowText"));
}
bool fm_host_plugin_register(int32_t api, int32_t kind, int32_t id, void* name, void* record,
                             int32_t size) {
  CountEntryCall(EntryIndex(GeneralEntries::PluginRegister));
  return PluginRegister(api, kind, id, name, record, size);
}
void fm_host_release_string(void* string) { Release(static_cast<HostString*>(string)); }
}

void FillGeneralTable(TableImage& table) {
  using E = GeneralEntries;
  table.PutAddress(E::PrintLine, fm_abi_entry_print_line());
  table.PutPlain<E::GetHostStartupDirectory, &GetHostStartupDirectory>();
  table.PutAddress(E::ShowMessageBox, fm_abi_entry_show_message_box());
  table.PutPlain<E::SetHostUiState, &SetHostUiState>();
  table.PutPlain<E::StatusReset, &StatusReset>();
  table.PutPlain<E::StatusSetProgress, &StatusSetProgress>();
  table.PutAddress(E::StatusShowText, fm_abi_entry_status_show_text());
  table.PutAddress(E::PluginRegister, fm_abi_entry_plugin_register());
  table.PutPlain<E::RequestHostUpdate, &RequestHostUpdate>();
}

}  // namespace fm::host
