#pragma once
// Open-addressing hash containers: ZMP::DENSE_HASH<K, V, OPS> (map),
// ZMP::DENSE_HASH_SET<K, OPS> (set) and ZMP_INT_SET_T (a set of unsigned
// integers kept as a map from 64-bit word numbers to bit masks).
//
// All entries live in one slot array of power-of-two capacity; two state bits
// per slot (bit 2i occupied, bit 2i + 1 deleted) live in a separate byte array.
// Key k is probed from slot (hash(k) * 37) & (capacity - 1) with steps 1, 2,
// 3, ... Iteration is slot order. Nothing is allocated before the first
// insertion.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>
#include <stdexcept>
#include <type_traits>
#include <utility>

#include "zmp_ops.h"

namespace ZMP {

// SLOT is the stored entry (the key, or the pair (key, value)).
template <class SLOT, class K, class OPS> class DENSE_HASH_TABLE {
public:
  using key_type = K;
  using slot_type = SLOT;

  DENSE_HASH_TABLE() = default;
  DENSE_HASH_TABLE(const DENSE_HASH_TABLE& o) { assign(o); }
  DENSE_HASH_TABLE(DENSE_HASH_TABLE&& o) noexcept { take(o); }
  DENSE_HASH_TABLE& operator=(const DENSE_HASH_TABLE& o) {
    assign(o);
    return *this;
  }
  DENSE_HASH_TABLE& operator=(DENSE_HASH_TABLE&& o) noexcept {
    if (this != &o) {
      release();
      take(o);
    }
    return *this;
  }
  ~DENSE_HASH_TABLE() {
    check_layout();
    release();
  }

  std::uint32_t size() const { return m_size; }
  bool empty() const { return m_size == 0; }
  std::uint32_t capacity() const { return m_capacity; }
  std::uint32_t deleted_count() const { return m_num_deleted; }

  bool is_occupied(std::uint32_t i) const { return (state(i) & 1u) != 0; }
  bool is_deleted(std::uint32_t i) const { return (state(i) & 2u) != 0; }
  const SLOT& slot(std::uint32_t i) const { return m_slots[i]; }
  SLOT& slot(std::uint32_t i) { return m_slots[i]; }

  bool exists(const K& k) const { return find_index(k) != m_capacity; }

  // The slot holding k, else the first never-used slot of k's probe sequence
  // (the capacity for a table without slots).
  std::uint32_t get_insertion_index(const K& k) const {
    if (m_capacity == 0) return 0;
    const std::uint32_t mask = m_capacity - 1;
    std::uint32_t p = start_slot(k, mask);
    for (std::uint32_t j = 1;; ++j) {
      const unsigned st = state(p);
      if (st == 0) return p;
      if ((st & 1u) && OPS::equal(key_of(m_slots[p]), k)) return p;
      p = (p + j) & mask;
    }
  }

  // Makes room for n entries; true when the table was rebuilt.
  bool grow_if_necessary(std::uint32_t n) {
    const std::uint32_t m = (4 * n + 2) / 3;
    if (m_capacity >= m && m_capacity > 8 * m_num_deleted) return false;
    const std::uint32_t cap = std::bit_ceil(m == 0 ? 1u : m);
    SLOT* old_slots = m_slots;
    std::uint8_t* old_states = m_states;
    const std::uint32_t old_cap = m_capacity;
    m_slots = allocate_slots(cap);
    m_states = allocate_states(cap);
    m_capacity = cap;
    m_size = 0;
    m_num_deleted = 0;
    for (std::uint32_t i = 0; i < old_cap; ++i) {
      if (!(state_in(old_states, i) & 1u)) continue;
      const std::uint32_t p = get_insertion_index(key_of(old_slots[i]));
      construct_at(p, std::move(old_slots[i]));
      std::destroy_at(&old_slots[i]);
    }
    free_slots(old_slots, old_cap);
    delete[] old_states;
    return true;
  }

protected:
  static unsigned state_in(const std::uint8_t* states, std::uint32_t i) {
    return (states[i >> 2] >> ((i & 3u) * 2)) & 3u;
  }
  unsigned state(std::uint32_t i) const { return state_in(m_states, i); }

  static const K& key_of(const SLOT& s) {
    if constexpr (std::is_same_v<SLOT, K>)
      return s;
    else
      return s.first;
  }
  static std::uint32_t start_slot(const K& k, std::uint32_t mask) { return (OPS::hash(k) * 37u) & mask; }

  // The slot holding k, or the capacity.
  std::uint32_t find_index(const K& k) const {
    if (m_size == 0) return m_capacity;
    const std::uint32_t mask = m_capacity - 1;
    std::uint32_t p = start_slot(k, mask);
    for (std::uint32_t j = 1;; ++j) {
      const unsigned st = state(p);
      if (st == 0) return m_capacity;
      if ((st & 1u) && OPS::equal(key_of(m_slots[p]), k)) return p;
      p = (p + j) & mask;
    }
  }

  // Marks never-used slot p occupied and builds the entry there.
  template <class... A> void construct_at(std::uint32_t p, A&&... a) {
    ::new (static_cast<void*>(&m_slots[p])) SLOT(std::forward<A>(a)...);
    std::uint8_t& byte = m_states[p >> 2];
    const unsigned shift = (p & 3u) * 2;
    if (byte & (2u << shift)) --m_num_deleted;
    byte = static_cast<std::uint8_t>((byte & ~(3u << shift)) | (1u << shift));
    ++m_size;
  }

  // Finds k, or inserts it with the slot built from a... after growing.
  template <class... A> std::pair<std::uint32_t, bool> insert_slot(const K& k, A&&... a) {
    grow_if_necessary(m_size + 1);
    const std::uint32_t p = get_insertion_index(k);
    if (state(p) & 1u) return {p, false};
    construct_at(p, std::forward<A>(a)...);
    return {p, true};
  }

  std::uint32_t next_occupied(std::uint32_t i) const {
    while (i < m_capacity && !(state(i) & 1u)) ++i;
    return i;
  }

private:
  static SLOT* allocate_slots(std::uint32_t cap) { return std::allocator<SLOT>().allocate(cap); }
  static void free_slots(SLOT* s, std::uint32_t cap) {
    if (s) std::allocator<SLOT>().deallocate(s, cap);
  }
  static std::uint8_t* allocate_states(std::uint32_t cap) {
    return new std::uint8_t[(2 * std::size_t{cap} + 7) / 8]();
  }

  void destroy_entries() {
    if constexpr (!std::is_trivially_destructible_v<SLOT>) {
      for (std::uint32_t i = 0; i < m_capacity; ++i)
        if (state(i) & 1u) std::destroy_at(&m_slots[i]);
    }
  }

  void release() {
    if (m_capacity != 0) {
      destroy_entries();
      free_slots(m_slots, m_capacity);
      delete[] m_states;
    }
    m_slots = nullptr;
    m_states = nullptr;
    m_size = m_capacity = m_num_deleted = 0;
  }

  void take(DENSE_HASH_TABLE& o) noexcept {
    m_slots = std::exchange(o.m_slots, nullptr);
    m_size = std::exchange(o.m_size, 0);
    m_capacity = std::exchange(o.m_capacity, 0);
    m_states = std::exchange(o.m_states, nullptr);
    m_num_deleted = std::exchange(o.m_num_deleted, 0);
  }

  // Copies the source slot for slot, so the target gets the same layout.
  void assign(const DENSE_HASH_TABLE& o) {
    if (this == &o) return;
    const std::size_t state_bytes = (2 * std::size_t{o.m_capacity} + 7) / 8;
    if (m_capacity == o.m_capacity) {
      for (std::uint32_t i = 0; i < m_capacity; ++i) {
        const bool src = o.state(i) & 1u;
        const bool dst = state(i) & 1u;
        if (src && dst)
          m_slots[i] = o.m_slots[i];
        else if (src)
          ::new (static_cast<void*>(&m_slots[i])) SLOT(o.m_slots[i]);
        else if (dst)
          std::destroy_at(&m_slots[i]);  // the source has no entry here: the target's would be lost
      }
      if (m_capacity != 0) std::memcpy(m_states, o.m_states, state_bytes);
      m_size = o.m_size;
      m_num_deleted = o.m_num_deleted;
      return;
    }
    release();
    if (o.m_capacity == 0) return;
    m_slots = allocate_slots(o.m_capacity);
    m_states = allocate_states(o.m_capacity);
    m_capacity = o.m_capacity;
    std::memcpy(m_states, o.m_states, state_bytes);
    for (std::uint32_t i = 0; i < m_capacity; ++i)
      if (o.state(i) & 1u) ::new (static_cast<void*>(&m_slots[i])) SLOT(o.m_slots[i]);
    m_size = o.m_size;
    m_num_deleted = o.m_num_deleted;
  }

  static constexpr void check_layout() {
    static_assert(std::is_standard_layout_v<DENSE_HASH_TABLE>);
    static_assert(offsetof(DENSE_HASH_TABLE, m_slots) == 0 && offsetof(DENSE_HASH_TABLE, m_size) == 8 &&
                  offsetof(DENSE_HASH_TABLE, m_capacity) == 12 && offsetof(DENSE_HASH_TABLE, m_states) == 16 &&
                  offsetof(DENSE_HASH_TABLE, m_num_deleted) == 24);
  }

protected:
  SLOT* m_slots = nullptr;
  std::uint32_t m_size = 0;
  std::uint32_t m_capacity = 0;  // 0 or a power of two
  std::uint8_t* m_states = nullptr;
  std::uint32_t m_num_deleted = 0;
};

template <class K, class V, class OPS = ZMP_OPS<K>> class DENSE_HASH;

// Slot index and container; the end is the slot index equal to the capacity.
template <class K, class V, class OPS, bool CONST> class DENSE_HASH_ITERATOR_BASE {
public:
  using MAP = std::conditional_t<CONST, const DENSE_HASH<K, V, OPS>, DENSE_HASH<K, V, OPS>>;
  using iterator_category = std::forward_iterator_tag;
  using value_type = std::pair<K, V>;
  using difference_type = std::ptrdiff_t;
  using reference = std::conditional_t<CONST, const value_type&, value_type&>;
  using pointer = std::conditional_t<CONST, const value_type*, value_type*>;

  DENSE_HASH_ITERATOR_BASE() = default;
  DENSE_HASH_ITERATOR_BASE(std::uint32_t index, MAP* map) : m_index(index), m_map(map) {}

  reference operator*() const { return m_map->slot(m_index); }
  pointer operator->() const { return &m_map->slot(m_index); }
  std::uint32_t index() const { return m_index; }
  MAP* container() const { return m_map; }

  friend bool operator==(const DENSE_HASH_ITERATOR_BASE& a, const DENSE_HASH_ITERATOR_BASE& b) {
    return a.m_index == b.m_index && a.m_map == b.m_map;
  }

protected:
  void step() { m_index = m_map->next_occupied_slot(m_index + 1); }

  std::uint32_t m_index = 0;
  MAP* m_map = nullptr;
};

template <class K, class V, class OPS> class DENSE_HASH_ITERATOR : public DENSE_HASH_ITERATOR_BASE<K, V, OPS, false> {
public:
  using DENSE_HASH_ITERATOR_BASE<K, V, OPS, false>::DENSE_HASH_ITERATOR_BASE;
  DENSE_HASH_ITERATOR& operator++() {
    this->step();
    return *this;
  }
  DENSE_HASH_ITERATOR operator++(int) {
    DENSE_HASH_ITERATOR old = *this;
    this->step();
    return old;
  }
};

template <class K, class V, class OPS>
class DENSE_HASH_CONST_ITERATOR : public DENSE_HASH_ITERATOR_BASE<K, V, OPS, true> {
public:
  using DENSE_HASH_ITERATOR_BASE<K, V, OPS, true>::DENSE_HASH_ITERATOR_BASE;
  DENSE_HASH_CONST_ITERATOR(const DENSE_HASH_ITERATOR<K, V, OPS>& it)
      : DENSE_HASH_ITERATOR_BASE<K, V, OPS, true>(it.index(), it.container()) {}
  DENSE_HASH_CONST_ITERATOR& operator++() {
    this->step();
    return *this;
  }
  DENSE_HASH_CONST_ITERATOR operator++(int) {
    DENSE_HASH_CONST_ITERATOR old = *this;
    this->step();
    return old;
  }
};

template <class K, class V, class OPS> class DENSE_HASH : public DENSE_HASH_TABLE<std::pair<K, V>, K, OPS> {
  using TABLE = DENSE_HASH_TABLE<std::pair<K, V>, K, OPS>;

public:
  using mapped_type = V;
  using value_type = std::pair<K, V>;
  using iterator = DENSE_HASH_ITERATOR<K, V, OPS>;
  using const_iterator = DENSE_HASH_CONST_ITERATOR<K, V, OPS>;

  // (entry, inserted); a present key keeps its value.
  template <class KK, class VV> std::pair<iterator, bool> insert_impl(KK&& k, VV&& v) {
    const K& key = k;
    auto r = this->insert_slot(key, std::forward<KK>(k), std::forward<VV>(v));
    return {iterator(r.first, this), r.second};
  }
  std::pair<iterator, bool> insert(const K& k, const V& v) { return insert_impl(k, v); }

  // The value of k, inserting k with a value-initialised value (0) when absent.
  V& operator[](const K& k) {
    const bool looked_up = this->m_size != 0;
    std::uint32_t p = 0;
    if (looked_up) {
      p = this->get_insertion_index(k);
      if (this->is_occupied(p)) return this->m_slots[p].second;
    }
    if (this->grow_if_necessary(this->m_size + 1) || !looked_up) p = this->get_insertion_index(k);
    this->construct_at(p, std::piecewise_construct, std::forward_as_tuple(k), std::forward_as_tuple());
    return this->m_slots[p].second;
  }

  // The value of k; std::out_of_range("Key not found") when k is absent.
  const V& at(const K& k) const {
    const std::uint32_t p = this->find_index(k);
    if (p == this->m_capacity) throw std::out_of_range("Key not found");
    return this->m_slots[p].second;
  }
  V& at(const K& k) { return const_cast<V&>(static_cast<const DENSE_HASH&>(*this).at(k)); }

  iterator find(const K& k) { return iterator(this->find_index(k), this); }
  const_iterator find(const K& k) const { return const_iterator(this->find_index(k), this); }

  iterator begin() { return iterator(this->next_occupied(0), this); }
  iterator end() { return iterator(this->m_capacity, this); }
  const_iterator begin() const { return const_iterator(this->next_occupied(0), this); }
  const_iterator end() const { return const_iterator(this->m_capacity, this); }

  std::uint32_t next_occupied_slot(std::uint32_t i) const { return this->next_occupied(i); }
};

template <class K, class OPS = ZMP_OPS<K>> class DENSE_HASH_SET : public DENSE_HASH_TABLE<K, K, OPS> {
public:
  class const_iterator {
  public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = K;
    using difference_type = std::ptrdiff_t;
    using reference = const K&;
    using pointer = const K*;

    const_iterator() = default;
    const_iterator(std::uint32_t index, const DENSE_HASH_SET* set) : m_index(index), m_set(set) {}
    const K& operator*() const { return m_set->slot(m_index); }
    const K* operator->() const { return &m_set->slot(m_index); }
    std::uint32_t index() const { return m_index; }
    const_iterator& operator++() {
      m_index = m_set->next_occupied(m_index + 1);
      return *this;
    }
    const_iterator operator++(int) {
      const_iterator old = *this;
      ++*this;
      return old;
    }
    friend bool operator==(const const_iterator& a, const const_iterator& b) {
      return a.m_index == b.m_index && a.m_set == b.m_set;
    }

  private:
    std::uint32_t m_index = 0;
    const DENSE_HASH_SET* m_set = nullptr;
  };
  using iterator = const_iterator;

  // (member, inserted).
  template <class KK> std::pair<const_iterator, bool> insert(KK&& k) {
    const K& key = k;
    auto r = this->insert_slot(key, std::forward<KK>(k));
    return {const_iterator(r.first, this), r.second};
  }
  const_iterator find(const K& k) const { return const_iterator(this->find_index(k), this); }

  const_iterator begin() const { return const_iterator(this->next_occupied(0), this); }
  const_iterator end() const { return const_iterator(this->m_capacity, this); }
};

}  // namespace ZMP

// A set of unsigned integers: element v is bit (v & 63) of the mask stored
// under key v >> 6. Iterated word by word in slot order, bits ascending.
template <class T, class MAP> class ZMP_INT_SET_T {
public:
  using map_iterator = typename MAP::const_iterator;

  class const_iterator {
  public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = T;
    using difference_type = std::ptrdiff_t;
    using reference = T;
    using pointer = void;

    const_iterator() = default;
    const_iterator(map_iterator it, map_iterator end, std::uint32_t bit) : m_it(it), m_end(end), m_bit(bit) {}

    T operator*() const { return static_cast<T>((static_cast<std::uint64_t>(m_it->first) << 6) + m_bit); }

    // Onto the next element at or after the current position.
    void skip_zeros() {
      if (m_bit > 63) {
        m_bit = 0;
        ++m_it;
      }
      while (!(m_it == m_end)) {
        const std::uint64_t rest = static_cast<std::uint64_t>(m_it->second) >> m_bit;
        if (rest != 0) {
          m_bit += static_cast<std::uint32_t>(std::countr_zero(rest));
          return;
        }
        m_bit = 0;
        ++m_it;
      }
    }
    const_iterator& operator++() {
      ++m_bit;
      skip_zeros();
      return *this;
    }
    const_iterator operator++(int) {
      const_iterator old = *this;
      ++*this;
      return old;
    }
    friend bool operator==(const const_iterator& a, const const_iterator& b) {
      return a.m_it == b.m_it && a.m_bit == b.m_bit;
    }

  private:
    map_iterator m_it;
    map_iterator m_end;
    std::uint32_t m_bit = 0;
  };
  using iterator = const_iterator;

  void insert(T v) { m_map[static_cast<T>(v >> 6)] |= std::uint64_t{1} << (v & 63u); }
  bool exists(T v) const {
    const auto it = m_map.find(static_cast<T>(v >> 6));
    return !(it == m_map.end()) && ((static_cast<std::uint64_t>(it->second) >> (v & 63u)) & 1u);
  }
  bool empty() const { return m_map.empty(); }

  const_iterator begin() const {
    const_iterator it(m_map.begin(), m_map.end(), 0);
    it.skip_zeros();
    return it;
  }
  const_iterator end() const { return const_iterator(m_map.end(), m_map.end(), 0); }

  const MAP& words() const { return m_map; }

private:
  MAP m_map;
};
