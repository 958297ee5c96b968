#pragma once
// ZMP_HASH_SET_LITE<K, OPS>: the separately chained hash set, the map without
// a value. Iteration is bucket order, then chain order.
#include <cstdint>
#include <iterator>
#include <utility>

#include "msg/msg_internal_error.h"
#include "zmp_hash_table_lite.h"

template <class K, class OPS = ZMP_OPS<K>> class ZMP_HASH_SET_LITE;

// Container, node (null at end), bucket index and the set's bucket count when
// the iterator was made. Stepping after the bucket count changed is an
// internal error.
template <class K, class OPS> class ZMP_HASH_SET_LITE_CONST_ITERATOR {
public:
  using SET = ZMP_HASH_SET_LITE<K, OPS>;
  using NODE = ZMP_HASH_LITE_NODE<K, K>;
  using iterator_category = std::forward_iterator_tag;
  using value_type = K;
  using difference_type = std::ptrdiff_t;
  using reference = const K&;
  using pointer = const K*;

  ZMP_HASH_SET_LITE_CONST_ITERATOR() = default;
  ZMP_HASH_SET_LITE_CONST_ITERATOR(const SET* set, NODE* node, std::uint32_t bucket, std::uint32_t bucket_cnt)
      : m_set(set), m_node(node), m_bucket(bucket), m_bucket_cnt(bucket_cnt) {}

  const K& operator*() const { return m_node->m_entry; }
  const K* operator->() const { return &m_node->m_entry; }
  bool is_end() const { return m_node == nullptr; }
  std::uint32_t bucket() const { return m_bucket; }

  ZMP_HASH_SET_LITE_CONST_ITERATOR& operator++() {
    if (!((m_set != 0) && (m_bucket_cnt == m_set->bucket_count())))
      MSG_INTERNAL_ERROR::report("(m_set != 0) && (m_bucket_cnt == m_set->bucket_count())", "VELMO",
                                 "zmp_hash_set_lite_sys", 160);
    if (!m_node) return *this;
    if (m_node->next) {
      m_node = m_node->next;
      return *this;
    }
    m_bucket = m_set->next_used_bucket(m_bucket + 1);
    m_node = m_bucket < m_bucket_cnt ? m_set->bucket_head(m_bucket) : nullptr;
    return *this;
  }
  ZMP_HASH_SET_LITE_CONST_ITERATOR operator++(int) {
    ZMP_HASH_SET_LITE_CONST_ITERATOR old = *this;
    ++*this;
    return old;
  }

  friend bool operator==(const ZMP_HASH_SET_LITE_CONST_ITERATOR& a, const ZMP_HASH_SET_LITE_CONST_ITERATOR& b) {
    return a.m_node == b.m_node;
  }

private:
  const SET* m_set = nullptr;
  NODE* m_node = nullptr;
  std::uint32_t m_bucket = 0;
  std::uint32_t m_bucket_cnt = 0;
};

template <class K, class OPS>
class ZMP_HASH_SET_LITE : public ZMP_HASH_TABLE_LITE<ZMP_HASH_LITE_NODE<K, K>, OPS, 256, false> {
  using TABLE = ZMP_HASH_TABLE_LITE<ZMP_HASH_LITE_NODE<K, K>, OPS, 256, false>;
  using NODE = ZMP_HASH_LITE_NODE<K, K>;
  friend class ZMP_HASH_SET_LITE_CONST_ITERATOR<K, OPS>;

public:
  using key_type = K;
  using value_type = K;
  using const_iterator = ZMP_HASH_SET_LITE_CONST_ITERATOR<K, OPS>;
  using iterator = const_iterator;

  ZMP_HASH_SET_LITE() = default;
  ZMP_HASH_SET_LITE(const ZMP_HASH_SET_LITE&) = default;
  ZMP_HASH_SET_LITE(ZMP_HASH_SET_LITE&&) noexcept = default;
  ZMP_HASH_SET_LITE& operator=(const ZMP_HASH_SET_LITE&) = default;
  ZMP_HASH_SET_LITE& operator=(ZMP_HASH_SET_LITE&&) noexcept = default;
  ~ZMP_HASH_SET_LITE() = default;

  // (member, inserted); a present key is left as it is.
  template <class KK> std::pair<const_iterator, bool> insert_impl(KK&& k) {
    const K& key = k;
    auto r = this->find_or_insert(key, [&](K* e) { ::new (static_cast<void*>(e)) K(std::forward<KK>(k)); });
    return {const_iterator(this, r.first, this->bucket_of(r.first->key()), this->m_bucket_cnt), r.second};
  }
  std::pair<const_iterator, bool> insert(const K& k) { return insert_impl(k); }
  std::pair<const_iterator, bool> insert(K&& k) { return insert_impl(std::move(k)); }

  // The member k, or an end iterator whose bucket index is k's bucket.
  const_iterator find_impl(const K& k) const {
    return const_iterator(this, this->find_node(k), this->bucket_of(k), this->m_bucket_cnt);
  }
  const_iterator find(const K& k) const { return find_impl(k); }

  void resize_set(std::uint32_t n) { this->rehash(n); }

  const_iterator begin() const {
    if (!this->has_bucket_array()) return end();
    const std::uint32_t b = this->next_used_bucket(0);
    return const_iterator(this, b < this->m_bucket_cnt ? this->bucket_head(b) : nullptr, b, this->m_bucket_cnt);
  }
  const_iterator end() const { return const_iterator(this, nullptr, this->m_bucket_cnt, this->m_bucket_cnt); }
};
