#pragma once
// ZMP_HASH_SET<K, OPS>: the older chained set. 61 buckets made at
// construction, doubly linked nodes allocated one by one; new keys go to the
// front of their chain and the table grows once (size / 4) * 5 passes the
// bucket count.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <utility>

#include "zmp/zmp_growth.h"
#include "zmp_ops.h"

template <class K, class OPS = ZMP_OPS<K>> class ZMP_HASH_SET {
  struct NODE {
    K key;
    NODE* next;
    NODE* prev;
  };

public:
  class const_iterator {
  public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = K;
    using difference_type = std::ptrdiff_t;
    using reference = const K&;
    using pointer = const K*;

    const_iterator() = default;
    const K& operator*() const { return m_node->key; }
    const K* operator->() const { return &m_node->key; }
    const_iterator& operator++() {
      if (m_node->next) {
        m_node = m_node->next;
        return *this;
      }
      m_node = nullptr;
      while (++m_bucket < m_set->m_bucket_cnt)
        if ((m_node = m_set->m_buckets[m_bucket])) break;
      return *this;
    }
    const_iterator operator++(int) {
      const_iterator old = *this;
      ++*this;
      return old;
    }
    friend bool operator==(const const_iterator& a, const const_iterator& b) { return a.m_node == b.m_node; }

  private:
    friend class ZMP_HASH_SET;
    const_iterator(const ZMP_HASH_SET* set, NODE* node, std::uint32_t bucket)
        : m_set(set), m_node(node), m_bucket(bucket) {}
    const ZMP_HASH_SET* m_set = nullptr;
    NODE* m_node = nullptr;
    std::uint32_t m_bucket = 0;
  };
  using iterator = const_iterator;

  ZMP_HASH_SET() : m_buckets(new NODE*[61]()) {}
  ZMP_HASH_SET(const ZMP_HASH_SET&) = delete;
  ZMP_HASH_SET& operator=(const ZMP_HASH_SET&) = delete;
  ~ZMP_HASH_SET() {
    static_assert(offsetof(ZMP_HASH_SET, m_bucket_cnt) == 0 && offsetof(ZMP_HASH_SET, m_size) == 4 &&
                  offsetof(ZMP_HASH_SET, m_buckets) == 8);
    for (std::uint32_t b = 0; b < m_bucket_cnt; ++b)
      for (NODE* n = m_buckets[b]; n;) {
        NODE* next = n->next;
        delete n;
        n = next;
      }
    delete[] m_buckets;
  }

  std::uint32_t size() const { return m_size; }
  bool empty() const { return m_size == 0; }
  std::uint32_t bucket_count() const { return m_bucket_cnt; }

  // (member, inserted).
  std::pair<const_iterator, bool> insert(const K& k) {
    std::uint32_t b = OPS::hash(k) % m_bucket_cnt;
    for (NODE* n = m_buckets[b]; n; n = n->next)
      if (OPS::equal(n->key, k)) return {const_iterator(this, n, b), false};
    NODE* n = new NODE{k, m_buckets[b], nullptr};
    if (n->next) n->next->prev = n;
    m_buckets[b] = n;
    ++m_size;
    if (resize(m_size)) b = OPS::hash(k) % m_bucket_cnt;
    return {const_iterator(this, n, b), true};
  }

  const_iterator find(const K& k) const {
    const std::uint32_t b = OPS::hash(k) % m_bucket_cnt;
    for (NODE* n = m_buckets[b]; n; n = n->next)
      if (OPS::equal(n->key, k)) return const_iterator(this, n, b);
    return end();
  }
  bool exists(const K& k) const { return find(k) != end(); }

  // Grows when (n / 4) * 5 is above the bucket count; true when it did.
  bool resize(std::uint32_t n) {
    const std::uint32_t m = (n / 4) * 5;
    if (m <= m_bucket_cnt) return false;
    const std::uint32_t cnt = zmp_hash_50_percent_increase_size(m);
    NODE** fresh = new NODE*[cnt]();
    for (std::uint32_t b = 0; b < m_bucket_cnt; ++b)
      for (NODE* node = m_buckets[b]; node;) {
        NODE* next = node->next;
        NODE*& head = fresh[OPS::hash(node->key) % cnt];
        node->prev = nullptr;
        node->next = head;
        if (head) head->prev = node;
        head = node;
        node = next;
      }
    delete[] m_buckets;
    m_buckets = fresh;
    m_bucket_cnt = cnt;
    return true;
  }

  const_iterator begin() const {
    for (std::uint32_t b = 0; b < m_bucket_cnt; ++b)
      if (m_buckets[b]) return const_iterator(this, m_buckets[b], b);
    return end();
  }
  const_iterator end() const { return const_iterator(this, nullptr, m_bucket_cnt); }

private:
  std::uint32_t m_bucket_cnt = 61;
  std::uint32_t m_size = 0;
  NODE** m_buckets;
};
