#include "platform/LargeMemory.h"

// Windows gives huge pages only to programs that hold the "lock pages in
// memory" privilege and allocate with MEM_LARGE_PAGES; there is no hint for
// memory already handed out, so the tables use ordinary pages there.
void PreferLargePages(const void*, size_t) noexcept {}
