#pragma once
// The classes behind a registered command. The host calls a command object only through the
// entries of its registration record, which name the virtual operations below by their slot in
// the virtual table; so the order of the declarations is part of the binary contract.

#include <cstdint>

#include "hosttables.h"

namespace fm {

// The root of every registered object: a virtual destructor and nothing else.
class BaseData {
 public:
  virtual ~BaseData();
};

// A command. Every operation takes the two pointers the host passes (the document and the parent
// window); the defaults ignore them.
class CommandData : public BaseData {
 public:
  // Answer of the state operation: bit 30, enabled.
  static constexpr int32_t kEnabled = 0x40000000;

  ~CommandData() override;

  // Slot 1: runs the command. True unless the command could not run at all.
  virtual bool Execute(void* document, void* parentWindow) = 0;
  // Slot 2: false.
  virtual bool Operation2(void* document, void* parentWindow);
  // Slot 3: false.
  virtual bool Operation3(void* document, void* parentWindow);
  // Slot 4: availability; kEnabled or 0. Enabled by default.
  virtual int32_t GetState(void* document, void* parentWindow);
  // Slot 5: false.
  virtual bool Operation5(void* document, void* parentWindow);
  // Slot 6: true.
  virtual bool Operation6(void* document, void* parentWindow);
  // Slot 7: an empty host string by value, carrying one reference for the caller (null only when
  // the host cannot give one). Returned the way a C++ compiler returns the host's string class:
  // the host passes the slot, this constructs the string there.
  virtual StringValue Operation7(void* document, void* parentWindow);
  // Slot 8: true.
  virtual bool Operation8(void* document, void* parentWindow);
};

}  // namespace fm
