#pragma once
// ZMP_HASH_LITE<K, V, OPS>: the separately chained hash map. New keys go to
// the head of their chain; iteration is bucket order, then chain order.
// Values never move: a reference stays valid until its entry is erased or the
// map is cleared or destroyed, also across growth.
#include <cstdint>
#include <iterator>
#include <tuple>
#include <utility>

#include "msg/msg_internal_error.h"
#include "zmp_hash_table_lite.h"

template <class K, class V, class OPS = ZMP_OPS<K>> class ZMP_HASH_LITE;

// Iterator over a map: container, node (null at end), bucket index and the
// container's bucket count when the iterator was made. Stepping after the
// bucket count changed is an internal error.
template <class K, class V, class OPS, bool CONST> class ZMP_HASH_LITE_ITERATOR_BASE {
public:
  using MAP = std::conditional_t<CONST, const ZMP_HASH_LITE<K, V, OPS>, ZMP_HASH_LITE<K, V, OPS>>;
  using NODE = ZMP_HASH_LITE_NODE<K, std::pair<const K, V>>;
  using iterator_category = std::forward_iterator_tag;
  using value_type = std::pair<const K, V>;
  using difference_type = std::ptrdiff_t;
  using reference = std::conditional_t<CONST, const value_type&, value_type&>;
  using pointer = std::conditional_t<CONST, const value_type*, value_type*>;

  ZMP_HASH_LITE_ITERATOR_BASE() = default;
  ZMP_HASH_LITE_ITERATOR_BASE(MAP* map, NODE* node, std::uint32_t bucket, std::uint32_t bucket_cnt)
      : m_hash(map), m_node(node), m_bucket(bucket), m_bucket_cnt(bucket_cnt) {}

  reference operator*() const { return m_node->m_entry; }
  pointer operator->() const { return &m_node->m_entry; }
  const K& key() const { return m_node->m_entry.first; }
  std::conditional_t<CONST, const V&, V&> value() const { return m_node->m_entry.second; }

  bool is_end() const { return m_node == nullptr; }
  std::uint32_t bucket() const { return m_bucket; }
  NODE* node() const { return m_node; }
  MAP* container() const { return m_hash; }
  std::uint32_t bucket_count_seen() const { return m_bucket_cnt; }

  friend bool operator==(const ZMP_HASH_LITE_ITERATOR_BASE& a, const ZMP_HASH_LITE_ITERATOR_BASE& b) {
    return a.m_node == b.m_node;
  }

protected:
  void step(int line) {
    if (!((m_hash != 0) && (m_bucket_cnt == m_hash->bucket_count())))
      MSG_INTERNAL_ERROR::report("(m_hash != 0) && (m_bucket_cnt == m_hash->bucket_count())", "VELMO",
                                 "zmp_hash_lite_sys", line);
    if (!m_node) return;
    if (m_node->next) {
      m_node = m_node->next;
      return;
    }
    m_bucket = m_hash->next_used_bucket(m_bucket + 1);
    m_node = m_bucket < m_bucket_cnt ? m_hash->bucket_head(m_bucket) : nullptr;
  }

  MAP* m_hash = nullptr;
  NODE* m_node = nullptr;
  std::uint32_t m_bucket = 0;
  std::uint32_t m_bucket_cnt = 0;
};

template <class K, class V, class OPS> class ZMP_HASH_LITE_ITERATOR
    : public ZMP_HASH_LITE_ITERATOR_BASE<K, V, OPS, false> {
public:
  using ZMP_HASH_LITE_ITERATOR_BASE<K, V, OPS, false>::ZMP_HASH_LITE_ITERATOR_BASE;
  ZMP_HASH_LITE_ITERATOR& operator++() {
    this->step(177);
    return *this;
  }
  ZMP_HASH_LITE_ITERATOR operator++(int) {
    ZMP_HASH_LITE_ITERATOR old = *this;
    ++*this;
    return old;
  }
};

template <class K, class V, class OPS> class ZMP_HASH_LITE_CONST_ITERATOR
    : public ZMP_HASH_LITE_ITERATOR_BASE<K, V, OPS, true> {
public:
  using ZMP_HASH_LITE_ITERATOR_BASE<K, V, OPS, true>::ZMP_HASH_LITE_ITERATOR_BASE;
  ZMP_HASH_LITE_CONST_ITERATOR(const ZMP_HASH_LITE_ITERATOR<K, V, OPS>& it)
      : ZMP_HASH_LITE_ITERATOR_BASE<K, V, OPS, true>(it.container(), it.node(), it.bucket(), it.bucket_count_seen()) {}
  ZMP_HASH_LITE_CONST_ITERATOR& operator++() {
    this->step(278);
    return *this;
  }
  ZMP_HASH_LITE_CONST_ITERATOR operator++(int) {
    ZMP_HASH_LITE_CONST_ITERATOR old = *this;
    ++*this;
    return old;
  }
};

// The node pool starts with blocks of 512 bytes, or of ten nodes where that
// is larger.
template <class K, class V, class OPS>
class ZMP_HASH_LITE : public ZMP_HASH_TABLE_LITE<ZMP_HASH_LITE_NODE<K, std::pair<const K, V>>, OPS, 512, true> {
  using NODE = ZMP_HASH_LITE_NODE<K, std::pair<const K, V>>;
  template <class, class, class, bool> friend class ZMP_HASH_LITE_ITERATOR_BASE;

public:
  using key_type = K;
  using mapped_type = V;
  using value_type = std::pair<const K, V>;
  using iterator = ZMP_HASH_LITE_ITERATOR<K, V, OPS>;
  using const_iterator = ZMP_HASH_LITE_CONST_ITERATOR<K, V, OPS>;

  ZMP_HASH_LITE() = default;
  ZMP_HASH_LITE(const ZMP_HASH_LITE&) = default;
  ZMP_HASH_LITE(ZMP_HASH_LITE&&) noexcept = default;
  // Clears fully, then fills as the copy constructor does.
  ZMP_HASH_LITE& operator=(const ZMP_HASH_LITE&) = default;
  ZMP_HASH_LITE& operator=(ZMP_HASH_LITE&&) noexcept = default;
  ~ZMP_HASH_LITE() = default;

  V& operator[](const K& k) { return subscript_impl(k); }
  V& operator[](K&& k) { return subscript_impl(std::move(k)); }

  // The value of k, inserting a value-initialised one when k is absent.
  template <class KK> V& subscript_impl(KK&& k) {
    const K& key = k;
    auto r = this->find_or_insert(key, [&](value_type* e) {
      ::new (static_cast<void*>(e)) value_type(std::piecewise_construct, std::forward_as_tuple(std::forward<KK>(k)),
                                               std::forward_as_tuple());
    });
    return r.first->m_entry.second;
  }

  // (entry, inserted); a present key keeps its value.
  template <class KK, class VV> std::pair<iterator, bool> insert_impl(KK&& k, VV&& v) {
    const K& key = k;
    auto r = this->find_or_insert(key, [&](value_type* e) {
      ::new (static_cast<void*>(e)) value_type(std::forward<KK>(k), std::forward<VV>(v));
    });
    return {iterator_at(r.first), r.second};
  }
  std::pair<iterator, bool> insert(const K& k, const V& v) { return insert_impl(k, v); }

  // The entry of k, or an end iterator whose bucket index is k's bucket.
  const_iterator find_impl(const K& k) const {
    return const_iterator(this, this->find_node(k), this->bucket_of(k), this->m_bucket_cnt);
  }
  iterator find_impl(const K& k) {
    return iterator(this, this->find_node(k), this->bucket_of(k), this->m_bucket_cnt);
  }
  const_iterator find(const K& k) const { return find_impl(k); }
  iterator find(const K& k) { return find_impl(k); }

  // The value of k, or null.
  V* lookup(const K& k) {
    NODE* n = this->find_node(k);
    return n ? &n->m_entry.second : nullptr;
  }
  const V* lookup(const K& k) const {
    const NODE* n = this->find_node(k);
    return n ? &n->m_entry.second : nullptr;
  }

  void resize_hash(std::uint32_t n) { this->rehash(n); }

  iterator begin() {
    if (!this->has_bucket_array()) return end();
    const std::uint32_t b = this->next_used_bucket(0);
    return iterator(this, b < this->m_bucket_cnt ? this->bucket_head(b) : nullptr, b, this->m_bucket_cnt);
  }
  const_iterator begin() const {
    if (!this->has_bucket_array()) return end();
    const std::uint32_t b = this->next_used_bucket(0);
    return const_iterator(this, b < this->m_bucket_cnt ? this->bucket_head(b) : nullptr, b, this->m_bucket_cnt);
  }
  iterator end() { return iterator(this, nullptr, this->m_bucket_cnt, this->m_bucket_cnt); }
  const_iterator end() const { return const_iterator(this, nullptr, this->m_bucket_cnt, this->m_bucket_cnt); }
  const_iterator cbegin() const { return begin(); }
  const_iterator cend() const { return end(); }

private:
  iterator iterator_at(NODE* n) { return iterator(this, n, this->bucket_of(n->key()), this->m_bucket_cnt); }
};
