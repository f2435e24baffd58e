// Tables of a large archive (a million entries is tens of MiB) are filled once,
// front to back. Where the system hands out huge pages only on request, asking
// for them turns hundreds of page faults per MiB into one.
#pragma once

#include <cstddef>
#include <vector>

// A hint only: nothing changes when the system cannot follow it.
void PreferLargePages(const void* data, size_t bytes) noexcept;

// For a table reserved to its full size and not yet filled.
template <typename T> void PreferLargePages(const std::vector<T>& table) noexcept {
    PreferLargePages(table.data(), table.capacity() * sizeof(T));
}
