#include "host/tables/trap.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "host/tables/layout.h"

namespace fm::host {
namespace {

constexpr size_t kSlots = kTableBytes / 8;

[[noreturn]] void Fire(int table, size_t slot) {
  const std::string message =
      TrapMessage(TablePosition(table), static_cast<uint32_t>(slot * 8)) + "\n";
  std::fputs(message.c_str(), stderr);
  std::fflush(stderr);
  std::abort();
}

// Aligned so that, read as the function word of a member entry, its lowest bit is clear and it
// is called directly rather than taken for a virtual-table offset.
template <int Table, size_t Slot>
[[noreturn]] __attribute__((aligned(16), noinline)) void Trap() {
  Fire(Table, Slot);
}

template <int Table, size_t... Slot>
constexpr std::array<TrapFunction, kSlots> TableTraps(std::index_sequence<Slot...>) {
  return {&Trap<Table, Slot>...};
}

template <int... Table>
constexpr std::array<std::array<TrapFunction, kSlots>, kTablePositionCount> AllTraps(
    std::integer_sequence<int, Table...>) {
  return {TableTraps<Table>(std::make_index_sequence<kSlots>())...};
}

constexpr auto kTraps = AllTraps(std::make_integer_sequence<int, kTablePositionCount>());

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", static_cast<unsigned>(value));
  return text;
}

}  // namespace

std::string TableName(uint32_t position) {
  for (const UsedTable& table : kUsedTables) {
    if (table.position == position) return table.name;
  }
  return "HostTables+" + Hex(position);
}

std::string TrapMessage(uint32_t position, uint32_t offset) {
  return "host table trap: " + TableName(position) + " offset " + Hex(offset);
}

TrapFunction TrapFor(uint32_t position, uint32_t offset) {
  const int table = TableIndex(position);
  if (table < 0 || table >= kTablePositionCount || offset / 8 >= kSlots) std::abort();
  return kTraps[static_cast<size_t>(table)][offset / 8];
}

}  // namespace fm::host
