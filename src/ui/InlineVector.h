#pragma once

// The children of tree nodes: nearly always one or two, so the first few stand inside the node and
// only longer lists take memory of their own; not for use elsewhere.

#include <cstddef>
#include <initializer_list>
#include <memory>
#include <new>
#include <utility>

namespace qv {

template <class T, size_t N>
class InlineVector {
  public:
    InlineVector() = default;
    InlineVector(std::initializer_list<T> items) {
        reserve(items.size());
        for (const T& item : items) push_back(item);
    }
    InlineVector(const InlineVector& other) {
        reserve(other.size_);
        for (const T& item : other) push_back(item);
    }
    InlineVector(InlineVector&& other) noexcept { take(std::move(other)); }
    InlineVector& operator=(const InlineVector& other) {
        if (this != &other) {
            InlineVector copy(other);
            *this = std::move(copy);
        }
        return *this;
    }
    InlineVector& operator=(InlineVector&& other) noexcept {
        if (this != &other) {
            release();
            take(std::move(other));
        }
        return *this;
    }
    ~InlineVector() { release(); }

    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    T* begin() { return data_; }
    T* end() { return data_ + size_; }
    const T* begin() const { return data_; }
    const T* end() const { return data_ + size_; }
    T& operator[](size_t i) { return data_[i]; }
    const T& operator[](size_t i) const { return data_[i]; }
    T& back() { return data_[size_ - 1]; }
    const T& back() const { return data_[size_ - 1]; }

    void reserve(size_t n) {
        if (n <= capacity_) return;
        T* more = std::allocator<T>().allocate(n);
        for (size_t i = 0; i < size_; ++i) {
            new (more + i) T(std::move(data_[i]));
            data_[i].~T();
        }
        if (data_ != local()) std::allocator<T>().deallocate(data_, capacity_);
        data_ = more;
        capacity_ = n;
    }
    void push_back(const T& item) { emplace_back(item); }
    void push_back(T&& item) { emplace_back(std::move(item)); }
    template <class... Args>
    T& emplace_back(Args&&... args) {
        if (size_ == capacity_) reserve(capacity_ * 2);
        T* slot = new (data_ + size_) T(std::forward<Args>(args)...);
        ++size_;
        return *slot;
    }
    void clear() {
        for (size_t i = 0; i < size_; ++i) data_[i].~T();
        size_ = 0;
    }

  private:
    T* local() { return reinterpret_cast<T*>(storage_); }

    void release() {
        clear();
        if (data_ != local()) std::allocator<T>().deallocate(data_, capacity_);
        data_ = local();
        capacity_ = N;
    }
    // Takes the other's items, leaving it empty; this one is empty and inline.
    void take(InlineVector&& other) {
        if (other.data_ != other.local()) {
            data_ = std::exchange(other.data_, other.local());
            capacity_ = std::exchange(other.capacity_, N);
            size_ = std::exchange(other.size_, 0);
            return;
        }
        for (size_t i = 0; i < other.size_; ++i) {
            new (local() + i) T(std::move(other.data_[i]));
            other.data_[i].~T();
        }
        size_ = std::exchange(other.size_, 0);
    }

    alignas(T) unsigned char storage_[N * sizeof(T)];
    T* data_ = local();
    size_t size_ = 0;
    size_t capacity_ = N;
};

}  // namespace qv
