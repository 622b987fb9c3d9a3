#include "AllocationCounter.h"

#include <cstdlib>
#include <new>

namespace allocations {
std::atomic<bool> counting{false};
std::atomic<long> count{0};
thread_local bool countingHere = false;
} // namespace allocations

namespace {

void* allocate(std::size_t size) {
    if (allocations::counting.load(std::memory_order_relaxed) || allocations::countingHere)
        ++allocations::count;
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr) throw std::bad_alloc();
    return block;
}

void release(void* block) noexcept {
    if (block != nullptr &&
        (allocations::counting.load(std::memory_order_relaxed) || allocations::countingHere))
        ++allocations::count;
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
