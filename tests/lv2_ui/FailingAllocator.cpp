// This program's malloc: the C library's, except that while
// g_failLargeAllocations is set a request of 256 KiB or more fails, as it
// does when memory runs out. The UI library allocates through it (its own
// C++ runtime's operator new calls malloc); a picture of the whole window
// is such a request, the Xlib event queue's are far smaller.
#include <atomic>
#include <cerrno>
#include <cstddef>

extern "C" void* __libc_malloc(size_t);

std::atomic<bool> g_failLargeAllocations{false};
std::atomic<int> g_failedAllocations{0};

extern "C" void* malloc(size_t size) {
    if (size >= 256 * 1024 && g_failLargeAllocations.load(std::memory_order_relaxed)) {
        g_failedAllocations.fetch_add(1, std::memory_order_relaxed);
        errno = ENOMEM;
        return nullptr;
    }
    return __libc_malloc(size);
}
