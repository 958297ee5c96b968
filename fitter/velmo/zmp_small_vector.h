#pragma once
// ZMP_SMALL_VECTOR<T, N>: a vector with inline room for N elements; it goes
// to the heap only when it outgrows them.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <new>
#include <utility>

template <class T, unsigned N = 4> class ZMP_SMALL_VECTOR {
  static_assert(N >= 1);

public:
  using value_type = T;
  using size_type = std::uint32_t;
  using iterator = T*;
  using const_iterator = const T*;

  ZMP_SMALL_VECTOR() = default;
  ZMP_SMALL_VECTOR(size_type count, const T& value) { insert(end(), count, value); }
  ZMP_SMALL_VECTOR(std::initializer_list<T> init) {
    reserve(static_cast<size_type>(init.size()));
    for (const T& v : init) ::new (static_cast<void*>(m_data + m_size++)) T(v);
  }
  ZMP_SMALL_VECTOR(const ZMP_SMALL_VECTOR& o) {
    reserve(o.m_size);
    std::uninitialized_copy(o.begin(), o.end(), m_data);
    m_size = o.m_size;
  }
  ZMP_SMALL_VECTOR(ZMP_SMALL_VECTOR&& o) noexcept { take(o); }
  ZMP_SMALL_VECTOR& operator=(const ZMP_SMALL_VECTOR& o) {
    if (this != &o) {
      clear();
      reserve(o.m_size);
      std::uninitialized_copy(o.begin(), o.end(), m_data);
      m_size = o.m_size;
    }
    return *this;
  }
  ZMP_SMALL_VECTOR& operator=(ZMP_SMALL_VECTOR&& o) noexcept {
    if (this != &o) {
      clear();
      release_heap();
      take(o);
    }
    return *this;
  }
  ~ZMP_SMALL_VECTOR() {
    clear();
    release_heap();
  }

  size_type size() const { return m_size; }
  bool empty() const { return m_size == 0; }
  size_type capacity() const { return m_capacity; }
  bool is_inline() const { return m_data == inline_data(); }
  T* data() { return m_data; }
  const T* data() const { return m_data; }
  T* begin() { return m_data; }
  T* end() { return m_data + m_size; }
  const T* begin() const { return m_data; }
  const T* end() const { return m_data + m_size; }
  T& operator[](size_type i) { return m_data[i]; }
  const T& operator[](size_type i) const { return m_data[i]; }
  T& front() { return m_data[0]; }
  T& back() { return m_data[m_size - 1]; }
  const T& front() const { return m_data[0]; }
  const T& back() const { return m_data[m_size - 1]; }

  void reserve(size_type n) {
    if (n <= m_capacity) return;
    T* fresh = std::allocator<T>().allocate(n);
    std::uninitialized_move(m_data, m_data + m_size, fresh);
    std::destroy(m_data, m_data + m_size);
    release_heap();
    m_data = fresh;
    m_capacity = n;
  }

  void push_back(const T& v) { emplace_back(v); }
  void push_back(T&& v) { emplace_back(std::move(v)); }
  template <class... A> T& emplace_back(A&&... a) {
    if (m_size == m_capacity) {
      T tmp(std::forward<A>(a)...);  // the argument may live in this vector
      reserve(grown(m_size + 1));
      return *::new (static_cast<void*>(m_data + m_size++)) T(std::move(tmp));
    }
    return *::new (static_cast<void*>(m_data + m_size++)) T(std::forward<A>(a)...);
  }
  void pop_back() { std::destroy_at(m_data + --m_size); }

  // count copies of value in front of pos; an iterator to the first of them.
  T* insert(const T* pos, size_type count, const T& value) {
    const size_type offset = static_cast<size_type>(pos - m_data);
    if (count == 0) return m_data + offset;
    const T copy = value;  // the value may live in this vector
    reserve(m_size + count > m_capacity ? grown(m_size + count) : m_capacity);
    std::uninitialized_fill_n(m_data + m_size, count, copy);
    m_size += count;
    std::rotate(m_data + offset, m_data + m_size - count, m_data + m_size);
    return m_data + offset;
  }
  T* insert(const T* pos, const T& value) { return insert(pos, 1, value); }

  void resize(size_type n) {
    if (n < m_size) {
      std::destroy(m_data + n, m_data + m_size);
      m_size = n;
      return;
    }
    reserve(n);
    std::uninitialized_value_construct(m_data + m_size, m_data + n);
    m_size = n;
  }
  // New elements are copies of value.
  void resize(size_type n, const T& value) {
    if (n <= m_size) {
      resize(n);
      return;
    }
    insert(end(), n - m_size, value);
  }

  void clear() {
    std::destroy(m_data, m_data + m_size);
    m_size = 0;
  }

  friend bool operator==(const ZMP_SMALL_VECTOR& a, const ZMP_SMALL_VECTOR& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
  }

private:
  T* inline_data() { return reinterpret_cast<T*>(m_inline); }
  const T* inline_data() const { return reinterpret_cast<const T*>(m_inline); }
  size_type grown(size_type need) const { return std::max(need, 2 * m_capacity); }

  void release_heap() {
    if (!is_inline()) {
      std::allocator<T>().deallocate(m_data, m_capacity);
      m_data = inline_data();
      m_capacity = N;
    }
  }

  // Takes the elements of o (its block, or moved inline elements); o is left
  // empty and inline.
  void take(ZMP_SMALL_VECTOR& o) noexcept {
    if (o.is_inline()) {
      std::uninitialized_move(o.begin(), o.end(), m_data);
      m_size = o.m_size;
      o.clear();
    } else {
      m_data = o.m_data;
      m_size = o.m_size;
      m_capacity = o.m_capacity;
      o.m_data = o.inline_data();
      o.m_size = 0;
      o.m_capacity = N;
    }
  }

  T* m_data = inline_data();
  size_type m_size = 0;
  size_type m_capacity = N;
  alignas(T) unsigned char m_inline[N * sizeof(T)];
};
