#pragma once

// Recycled memory for the objects every evaluation of a view makes and drops by the thousand (tree
// nodes, resolved nodes); not for use elsewhere.

#include <cstddef>
#include <new>

namespace qv::blockpool {

// Under a memory sanitizer every block goes back to the allocator, so a node used after its release
// is still caught there.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool kRecycle = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
inline constexpr bool kRecycle = false;
#else
inline constexpr bool kRecycle = true;
#endif
#else
inline constexpr bool kRecycle = true;
#endif

// Freed blocks of one size and alignment, kept per thread for the next allocation of that size.
// Elements are larger than the general allocator's fast per-thread caches, which makes each of
// their allocations and releases a trip through its shared bins; a free list costs two pointer
// moves. At most kKeep blocks are kept; beyond that they go back to the allocator.
template <size_t Size, size_t Align>
class FreeList {
  public:
    static constexpr size_t kKeep = 4096;

    static void* allocate() {
        if (kRecycle && !gone_) {
            FreeList& list = instance();
            if (list.head_) {
                Block* b = list.head_;
                list.head_ = b->next;
                --list.count_;
                return b;
            }
        }
        return ::operator new(Size);
    }

    static void release(void* p) noexcept {
        if (kRecycle && !gone_) {
            FreeList& list = instance();
            if (list.count_ < kKeep) {
                list.head_ = new (p) Block{list.head_};
                ++list.count_;
                return;
            }
        }
        ::operator delete(p);
    }

    ~FreeList() {
        gone_ = true;  // blocks freed later in the thread's exit go straight back
        while (head_) {
            Block* b = head_;
            head_ = b->next;
            ::operator delete(b);
        }
    }

  private:
    struct Block {
        Block* next;
    };
    static_assert(Size >= sizeof(Block) && Align >= alignof(Block) &&
                  Align <= __STDCPP_DEFAULT_NEW_ALIGNMENT__);

    static FreeList& instance() {
        thread_local FreeList list;
        return list;
    }

    Block* head_ = nullptr;
    size_t count_ = 0;
    static inline thread_local bool gone_ = false;
};

// Small arrays (the children of a node, mostly one or two) by size class of 16 bytes.
inline constexpr size_t kSmallArray = 64;

inline void* allocateSmall(size_t bytes) {
    switch ((bytes + 15) / 16) {
        case 1:
            return FreeList<16, 16>::allocate();
        case 2:
            return FreeList<32, 16>::allocate();
        case 3:
            return FreeList<48, 16>::allocate();
        default:
            return FreeList<64, 16>::allocate();
    }
}

inline void releaseSmall(void* p, size_t bytes) noexcept {
    switch ((bytes + 15) / 16) {
        case 1:
            return FreeList<16, 16>::release(p);
        case 2:
            return FreeList<32, 16>::release(p);
        case 3:
            return FreeList<48, 16>::release(p);
        default:
            return FreeList<64, 16>::release(p);
    }
}

// An allocator over those free lists, for std::allocate_shared and the containers of tree nodes.
template <class T>
struct Allocator {
    using value_type = T;
    Allocator() = default;
    template <class U>
    Allocator(const Allocator<U>&) noexcept {}

    T* allocate(size_t n) {
        if (n == 1) return static_cast<T*>(FreeList<sizeof(T), alignof(T)>::allocate());
        if (fitsSmall(n)) return static_cast<T*>(allocateSmall(n * sizeof(T)));
        return static_cast<T*>(::operator new(n * sizeof(T)));
    }
    void deallocate(T* p, size_t n) noexcept {
        if (n == 1) {
            FreeList<sizeof(T), alignof(T)>::release(p);
        } else if (fitsSmall(n)) {
            releaseSmall(p, n * sizeof(T));
        } else {
            ::operator delete(p);
        }
    }
    template <class U>
    bool operator==(const Allocator<U>&) const noexcept {
        return true;
    }

  private:
    static bool fitsSmall(size_t n) { return alignof(T) <= 16 && n * sizeof(T) <= kSmallArray; }
};

}  // namespace qv::blockpool
