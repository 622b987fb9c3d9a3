#include "AllocationCounter.h"

#include <cstdlib>
#include <new>

namespace allocations {
std::atomic<bool> counting{false};
std::atomic<long> count{0};
thread_local bool countingHere = false;
} // namespace allocations

namespace {

void note() {
    if (allocations::counting.load(std::memory_order_relaxed) || allocations::countingHere)
        ++allocations::count;
}

} // namespace

#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// The shipped plug-in libraries carry a C++ run-time of their own, whose operator new no
// replacement here reaches: allocations are counted where they reach the C library, whose
// allocator the ones below pass on to. (A sanitizer keeps the C library's functions to itself;
// its builds link the plug-ins with the shared C++ run-time, and operator new counts, as it
// does on Windows.)
#define MORVO_COUNTS_MALLOC 1
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
void __libc_free(void* block);

void* malloc(std::size_t size) {
    note();
    return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) {
    note();
    return __libc_calloc(count, size);
}
void* realloc(void* block, std::size_t size) {
    note();
    return __libc_realloc(block, size);
}
void free(void* block) {
    if (block != nullptr) note();
    __libc_free(block);
}
}
#else
#define MORVO_COUNTS_MALLOC 0
#endif

namespace {

void* allocate(std::size_t size) {
    if (!MORVO_COUNTS_MALLOC) note();
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr) throw std::bad_alloc();
    return block;
}

void release(void* block) noexcept {
    if (!MORVO_COUNTS_MALLOC && block != nullptr) note();
    std::free(block);
}

} // namespace

void* operator new(std::size_t size) {
    return allocate(size);
}
void* operator new[](std::size_t size) {
    return allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void* block) noexcept {
    release(block);
}
void operator delete[](void* block) noexcept {
    release(block);
}
void operator delete(void* block, std::size_t) noexcept {
    release(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    release(block);
}
