#include "platform/LargeMemory.h"

#include <cstdint>
#include <sys/mman.h>

void PreferLargePages(const void* data, size_t bytes) noexcept {
    constexpr uintptr_t HugePage = uintptr_t{2} << 20;
    const auto start = reinterpret_cast<uintptr_t>(data);
    // Only whole huge pages inside the block: the neighbours' memory is not ours.
    const uintptr_t begin = (start + HugePage - 1) & ~(HugePage - 1);
    const uintptr_t end = (start + bytes) & ~(HugePage - 1);
    if (end > begin)
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}
