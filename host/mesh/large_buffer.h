#pragma once
// Large buffers that are about to be filled from start to end (the document's polygon and UVW
// arrays, the reader's lists) are asked to be backed by huge pages where the system offers them,
// which saves one fault per 4 KiB page on files of millions of faces. Elsewhere this does nothing.

#include <cstddef>
#include <vector>

namespace fm::host::mesh {

// `data` .. `data + bytes` is a freshly reserved, not yet touched region.
void PrepareLargeBuffer(void* data, size_t bytes);

template <typename T>
void ReserveLarge(std::vector<T>& list, size_t count) {
  list.reserve(count);
  PrepareLargeBuffer(list.data(), list.capacity() * sizeof(T));
}

}  // namespace fm::host::mesh
