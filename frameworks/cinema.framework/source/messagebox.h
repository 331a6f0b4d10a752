#pragma once
// A message box with a text of the module's string table.

#include <cstdint>

#include "forwards.h"
#include "resource.h"

namespace fm {

// Style 48: an exclamation box with one button.
constexpr int32_t kMessageBoxStyle = 48;

// A table without the id may give null, which is shown as the empty text.
inline void ShowMessageBoxById(int32_t id) {
  String text = LoadResourceString(id);
  ShowMessageBox(text != nullptr ? text : *EmptyString(), kMessageBoxStyle);
}

}  // namespace fm
