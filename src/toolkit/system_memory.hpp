#pragma once
// The machine's physical memory, for refusing inputs that cannot fit before allocating them.

#include <unistd.h>

namespace quorl {

// Bytes of physical memory, or 0 when the system does not tell.
inline double physical_memory_bytes() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long page_size = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || page_size <= 0) return 0.0;
    return static_cast<double>(pages) * static_cast<double>(page_size);
}

}  // namespace quorl
