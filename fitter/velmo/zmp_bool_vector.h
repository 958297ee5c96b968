#pragma once
// ZMP_BOOL_VECTOR: a packed bit vector; bit i is bit i % 32 of word i / 32.
// No bit at or beyond the size is ever set.
#include <cstdint>
#include <cstring>
#include <utility>

class ZMP_BOOL_VECTOR {
public:
  ZMP_BOOL_VECTOR() = default;
  explicit ZMP_BOOL_VECTOR(std::uint32_t size) { resize(size); }
  ZMP_BOOL_VECTOR(const ZMP_BOOL_VECTOR& o) : m_size(o.m_size) {
    if (o.m_words) {
      m_words = new std::uint32_t[word_count(m_size)];
      std::memcpy(m_words, o.m_words, sizeof(std::uint32_t) * word_count(m_size));
    }
  }
  ZMP_BOOL_VECTOR(ZMP_BOOL_VECTOR&& o) noexcept
      : m_words(std::exchange(o.m_words, nullptr)), m_size(std::exchange(o.m_size, 0)) {}
  ZMP_BOOL_VECTOR& operator=(const ZMP_BOOL_VECTOR& o) {
    if (this != &o) {
      ZMP_BOOL_VECTOR copy(o);
      swap(copy);
    }
    return *this;
  }
  ZMP_BOOL_VECTOR& operator=(ZMP_BOOL_VECTOR&& o) noexcept {
    if (this != &o) {
      delete[] m_words;
      m_words = std::exchange(o.m_words, nullptr);
      m_size = std::exchange(o.m_size, 0);
    }
    return *this;
  }
  ~ZMP_BOOL_VECTOR() { delete[] m_words; }

  void swap(ZMP_BOOL_VECTOR& o) noexcept {
    std::swap(m_words, o.m_words);
    std::swap(m_size, o.m_size);
  }

  std::uint32_t size() const { return m_size; }
  const std::uint32_t* words() const { return m_words; }
  bool test(std::uint32_t i) const { return (m_words[i >> 5] >> (i & 31u)) & 1u; }
  bool operator[](std::uint32_t i) const { return test(i); }
  void set(std::uint32_t i, bool value) {
    if (value)
      m_words[i >> 5] |= 1u << (i & 31u);
    else
      m_words[i >> 5] &= ~(1u << (i & 31u));
  }

  // New bits are clear; bits cut off are forgotten.
  void resize(std::uint32_t size) {
    const std::uint32_t old_words = word_count(m_size);
    const std::uint32_t new_words = word_count(size);
    if (new_words != old_words) {
      std::uint32_t* fresh = new_words ? new std::uint32_t[new_words]() : nullptr;
      if (m_words && fresh)
        std::memcpy(fresh, m_words, sizeof(std::uint32_t) * (old_words < new_words ? old_words : new_words));
      delete[] m_words;
      m_words = fresh;
    }
    m_size = size;
    clear_tail();
  }

  // Sets or clears the bits first to last, both included (first <= last < size).
  void assign(std::uint32_t first, std::uint32_t last, bool value) {
    if (first == 0 && last + 1 == m_size) {
      const std::uint32_t fill = value ? ~0u : 0u;
      for (std::uint32_t w = 0; w <= last / 32; ++w) m_words[w] = fill;
      if (value) clear_tail();
      return;
    }
    const std::uint32_t f = first / 32, l = last / 32;
    const std::uint32_t low = ~0u << (first % 32);
    const std::uint32_t high = ~0u >> (31 - last % 32);
    if (f == l) {
      if (value)
        m_words[f] |= low & high;
      else
        m_words[f] &= ~(low & high);
      return;
    }
    if (value) {
      m_words[f] |= low;
      m_words[l] |= high;
    } else {
      m_words[f] &= ~low;
      m_words[l] &= ~high;
    }
    for (std::uint32_t w = f + 1; w < l; ++w) m_words[w] = value ? ~0u : 0u;
  }

private:
  static std::uint32_t word_count(std::uint32_t bits) { return (bits + 31) / 32; }
  void clear_tail() {
    if (m_size % 32) m_words[m_size / 32] &= ~(~0u << (m_size % 32));
  }

  std::uint32_t* m_words = nullptr;
  std::uint32_t m_size = 0;
};

static_assert(sizeof(ZMP_BOOL_VECTOR) == 16);
