#pragma once
// The seam between the headless host and its boundary object (boundary.cpp). The boundary is the
// host's side of every crossing whose binary form depends on the C++ compiler: it is written in the
// host application's own C++ declarations and, on Windows, compiled with Microsoft's C++ ABI
// (clang's Microsoft target), so that the module meets exactly what a host built by Microsoft's
// compiler does. Between the boundary and the rest of the host (mingw-w64 on Windows) only C
// linkage and C types pass, on which both compilers agree.

#include <stdint.h>

extern "C" {

// ---- implemented by the host, called by the boundary ---------------------------------------

// One console line, a message box, the status text; `text` is a host string or null.
void fm_host_print_line(void* text);
void fm_host_show_message_box(void* text, int32_t style);
void fm_host_status_show_text(void* text);
// A registration; `name` is a host string or null.
bool fm_host_plugin_register(int32_t api, int32_t kind, int32_t id, void* name, void* record,
                             int32_t size);
// A new string (one reference for the caller) holding the node's name.
void* fm_host_node_name(void* node);
// Drops one reference of a host string (null ignored).
void fm_host_release_string(void* string);

// ---- implemented by the boundary, called by the host ---------------------------------------

// The plain table entries the boundary defines, as the code addresses a table holds.
void* fm_abi_entry_print_line();
void* fm_abi_entry_show_message_box();
void* fm_abi_entry_status_show_text();
void* fm_abi_entry_plugin_register();
// Width of a member entry the boundary gives (8 under Microsoft's ABI, 16 on the Itanium layout).
uint32_t fm_abi_member_entry_width();
// Writes the member entry of NodeGetName into `out` (fm_abi_member_entry_width() bytes).
void fm_abi_member_node_get_name(void* out);

// Calls through a command registration record's entry (its bytes at `entry`) on `object`, as a
// member of the host's command class with the document and parent window.
bool fm_abi_call_bool_operation(const void* entry, void* object, void* a, void* b);
int32_t fm_abi_call_int_operation(const void* entry, void* object, void* a, void* b);
// Operation 7: the string it gives, with the reference that came with it (null for none).
void* fm_abi_call_string_operation(const void* entry, void* object, void* a, void* b);

// Runs an initialisation hook (`ErrorRef init()`); the error it gives, null for success.
const void* fm_abi_call_init_hook(void* hook);

}
