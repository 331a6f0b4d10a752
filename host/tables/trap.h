#pragma once
// Traps: the entry behind every table offset that no module may call, and behind every table
// no module reads. Each (table, offset) has its own function, so the report names both:
// "host table trap: <table> offset 0x<offset>" on stderr, then abort.

#include <cstdint>
#include <string>

namespace fm::host {

using TrapFunction = void (*)();

// The name a trap gives the table at `position` ("NodeTable", or "HostTables+0x10" for a table
// that no module reads).
std::string TableName(uint32_t position);

// The message of the trap at `offset` of the table at `position`.
std::string TrapMessage(uint32_t position, uint32_t offset);

// The trap for one 8-byte slot. Position and offset must lie inside the record and the table.
TrapFunction TrapFor(uint32_t position, uint32_t offset);

}  // namespace fm::host
