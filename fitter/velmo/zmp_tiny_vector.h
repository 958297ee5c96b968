#pragma once
// ZMP_TINY_VECTOR<T>: a vector of 32-bit elements in one 64-bit word while it
// holds at most one element.
//  - inline mode (bit 0 of the first byte set): the first byte is
//    2 * count + 1 (count 0 or 1), the element sits in the upper 32 bits;
//  - heap mode (bit 0 clear): the word is a pointer to a block {u64 size,
//    u64 capacity, elements}, or null.
// A heap vector stays in heap mode when it shrinks; only a move assignment
// brings a small vector back inline. Growth reallocates to the exact size.
#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>

template <class T> class ZMP_TINY_VECTOR_IMPL {
  static_assert(sizeof(T) == 4 && alignof(T) <= 4 && std::is_trivially_copyable_v<T>,
                "tiny vectors hold 32-bit elements");
  static_assert(std::endian::native == std::endian::little, "the mode bit is bit 0 of the word's first byte");

  struct BLOCK {
    std::uint64_t size;
    std::uint64_t capacity;
    T* elements() { return reinterpret_cast<T*>(reinterpret_cast<char*>(this) + sizeof(BLOCK)); }
  };
  static_assert(sizeof(BLOCK) == 16);

public:
  using value_type = T;
  using iterator = T*;
  using const_iterator = const T*;

  ZMP_TINY_VECTOR_IMPL() { set_inline(0); }
  ZMP_TINY_VECTOR_IMPL(const ZMP_TINY_VECTOR_IMPL& o) : ZMP_TINY_VECTOR_IMPL() {
    insert(begin(), o.begin(), o.end());
  }
  ZMP_TINY_VECTOR_IMPL(ZMP_TINY_VECTOR_IMPL&& o) noexcept : ZMP_TINY_VECTOR_IMPL() {
    *this = static_cast<ZMP_TINY_VECTOR_IMPL&&>(o);
  }
  ZMP_TINY_VECTOR_IMPL& operator=(const ZMP_TINY_VECTOR_IMPL& o) {
    if (this != &o) {
      clear();
      insert(begin(), o.begin(), o.end());
    }
    return *this;
  }

  // The target becomes inline when the source holds at most one element (a
  // source block is freed), else takes the source's block; the source becomes
  // the empty inline word. Moving a vector onto itself changes nothing.
  ZMP_TINY_VECTOR_IMPL& operator=(ZMP_TINY_VECTOR_IMPL&& o) noexcept {
    if (this == &o) return *this;
    free_block();
    if (o.is_inline()) {
      std::memcpy(m_word, o.m_word, sizeof m_word);
    } else {
      BLOCK* b = o.block();
      if (!b || b->size <= 1) {
        if (b && b->size == 1) {
          set_inline(1);
          std::memcpy(m_word + 4, b->elements(), sizeof(T));
        } else {
          set_inline(0);
        }
        std::free(b);
      } else {
        std::memcpy(m_word, o.m_word, sizeof m_word);
      }
    }
    o.set_inline(0);
    return *this;
  }

  ~ZMP_TINY_VECTOR_IMPL() {
    clear();
    free_block();
  }

  bool is_inline() const { return (m_word[0] & 1u) != 0; }
  std::size_t size() const {
    if (is_inline()) return m_word[0] >> 1;
    const BLOCK* b = block();
    return b ? static_cast<std::size_t>(b->size) : 0;
  }
  bool empty() const { return size() == 0; }
  // Elements the storage holds without reallocating.
  std::size_t capacity() const {
    if (is_inline()) return 1;
    const BLOCK* b = block();
    return b ? static_cast<std::size_t>(b->capacity) : 0;
  }

  T* begin() {
    if (is_inline()) return std::launder(reinterpret_cast<T*>(m_word + 4));
    BLOCK* b = block();
    return b ? b->elements() : nullptr;
  }
  T* end() { return begin() + size(); }
  const T* begin() const { return const_cast<ZMP_TINY_VECTOR_IMPL*>(this)->begin(); }
  const T* end() const { return begin() + size(); }
  T& operator[](std::size_t i) { return begin()[i]; }
  const T& operator[](std::size_t i) const { return begin()[i]; }

  // Inserts [first, last) in front of pos; a pointer to the first inserted
  // element.
  T* insert(const T* pos, const T* first, const T* last) {
    const std::size_t n = static_cast<std::size_t>(last - first);
    const std::size_t offset = static_cast<std::size_t>(pos - begin());
    const std::size_t old_size = size();
    const std::size_t s = old_size + n;
    if (is_inline() && s <= 1) {
      if (n == 1) std::memcpy(m_word + 4, first, sizeof(T));
      set_inline(static_cast<unsigned>(s));
    } else if (!is_inline() && block() && block()->capacity >= s) {
      std::memmove(block()->elements() + old_size, first, n * sizeof(T));
      block()->size = s;
    } else if (!is_inline() && !block() && n == 0) {
      return begin() + offset;
    } else {
      BLOCK* fresh = static_cast<BLOCK*>(std::malloc(sizeof(BLOCK) + s * sizeof(T)));
      if (!fresh) throw std::bad_alloc();
      fresh->size = s;
      fresh->capacity = s;
      if (old_size) std::memcpy(fresh->elements(), begin(), old_size * sizeof(T));
      // The new elements are copied before the old storage goes: they may
      // come from it.
      if (n) std::memcpy(fresh->elements() + old_size, first, n * sizeof(T));
      free_block();
      std::memcpy(m_word, &fresh, sizeof fresh);
    }
    T* b = begin();
    std::rotate(b + offset, b + old_size, b + s);
    return b + offset;
  }
  void push_back(const T& v) {
    const T copy = v;
    insert(end(), &copy, &copy + 1);
  }

  // Removes every element; a heap block stays allocated.
  void clear() {
    if (is_inline())
      set_inline(0);
    else if (BLOCK* b = block())
      b->size = 0;
  }

  // The raw word (first byte 2 * count + 1 inline, else the block address).
  std::uint64_t raw_word() const {
    std::uint64_t w;
    std::memcpy(&w, m_word, sizeof w);
    return w;
  }

private:
  BLOCK* block() const {
    BLOCK* b;
    std::memcpy(&b, m_word, sizeof b);
    return b;
  }
  void set_inline(unsigned count) { m_word[0] = static_cast<unsigned char>(2 * count + 1); }
  void free_block() {
    if (!is_inline()) std::free(block());
  }

  alignas(8) unsigned char m_word[8] = {};
};

template <class T> class ZMP_TINY_VECTOR : public ZMP_TINY_VECTOR_IMPL<T> {
public:
  using ZMP_TINY_VECTOR_IMPL<T>::ZMP_TINY_VECTOR_IMPL;
  ZMP_TINY_VECTOR() = default;
  ZMP_TINY_VECTOR(const ZMP_TINY_VECTOR&) = default;
  ZMP_TINY_VECTOR(ZMP_TINY_VECTOR&&) noexcept = default;
  ZMP_TINY_VECTOR& operator=(const ZMP_TINY_VECTOR&) = default;
  ZMP_TINY_VECTOR& operator=(ZMP_TINY_VECTOR&&) noexcept = default;
  ~ZMP_TINY_VECTOR() = default;
};

static_assert(sizeof(ZMP_TINY_VECTOR<int>) == 8 && alignof(ZMP_TINY_VECTOR<int>) == 8);
