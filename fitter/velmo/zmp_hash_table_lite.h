#pragma once
// The separately chained table shared by ZMP_HASH_LITE (map) and
// ZMP_HASH_SET_LITE (set). Nodes come from a per-table ZMP_MEM_POOL and never
// move; erased nodes are recycled last in, first out through a free list.
// Nothing is allocated before the first insertion.
//
// Key k lives in bucket hash(k) % bucket count. The remainder is computed with
// a multiply by a 64-bit reciprocal of the bucket count, which is kept in the
// word in front of the bucket array (it exists exactly when the array does).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

#include "zmp/zmp_growth.h"
#include "zmp_mem_pool.h"
#include "zmp_ops.h"

namespace ZMP_LITE_DETAIL {

// Reciprocal for exact 32-bit remainders: a % d == mod(a, reciprocal(d), d)
// for every 32-bit a and every d >= 1.
inline std::uint64_t reciprocal(std::uint32_t d) { return ~std::uint64_t{0} / d + 1; }
inline std::uint32_t mod(std::uint32_t a, std::uint64_t r, std::uint32_t d) {
  const std::uint64_t low = r * a;
  return static_cast<std::uint32_t>((static_cast<unsigned __int128>(low) * d) >> 64);
}

}  // namespace ZMP_LITE_DETAIL

// A chained node: the entry (the key, or the key and the value), then the
// link. The entry's lifetime is managed by the table: a node on the free list
// keeps its link and holds no entry.
template <class K, class ENTRY> struct ZMP_HASH_LITE_NODE {
  using key_type = K;
  using entry_type = ENTRY;
  union {
    ENTRY m_entry;
  };
  ZMP_HASH_LITE_NODE* next;

  ZMP_HASH_LITE_NODE() {}
  ~ZMP_HASH_LITE_NODE() {}
  ZMP_HASH_LITE_NODE(const ZMP_HASH_LITE_NODE&) = delete;
  ZMP_HASH_LITE_NODE& operator=(const ZMP_HASH_LITE_NODE&) = delete;

  const K& key() const {
    if constexpr (std::is_same_v<ENTRY, K>)
      return m_entry;
    else
      return m_entry.first;
  }
  void destroy_entry() {
    if constexpr (!std::is_trivially_destructible_v<ENTRY>) m_entry.~ENTRY();
  }
};

// NODE: a ZMP_HASH_LITE_NODE; OPS: the key policy;
// INITIAL_BLOCK: the node pool's first block size, raised to ten node sizes
// when TEN_NODES is set and that is larger.
template <class NODE, class OPS, std::uint32_t INITIAL_BLOCK, bool TEN_NODES> class ZMP_HASH_TABLE_LITE {
public:
  using node_type = NODE;
  using key_type = typename NODE::key_type;

  static_assert(alignof(NODE) <= 8, "pool pieces are 8-byte aligned");

  ZMP_HASH_TABLE_LITE() { set_bucket_count(zmp_hash_lite_get_next_prime(60)); }
  ~ZMP_HASH_TABLE_LITE() {
    check_layout();
    release_all();
  }

  std::uint32_t size() const { return m_size; }
  bool empty() const { return m_size == 0; }
  std::uint32_t bucket_count() const { return m_bucket_cnt; }

  bool exists(const key_type& k) const { return m_size != 0 && find_node(k) != nullptr; }

  // Removes the entry of k; 1 when there was one, else 0.
  std::uint32_t erase(const key_type& k) {
    if (m_size == 0) return 0;
    NODE** link = &m_buckets[bucket_of(k)];
    for (NODE* n = *link; n; link = &n->next, n = n->next) {
      if (OPS::equal(n->key(), k)) {
        *link = n->next;
        n->destroy_entry();
        n->next = m_free_list;
        m_free_list = n;
        --m_size;
        return 1;
      }
    }
    return 0;
  }

  void clear(bool keep_buckets = false, bool keep_nodes = false) {
    if (m_node_pool) {
      if (keep_nodes) {
        if (m_size != 0) {
          for (std::uint32_t b = 0; b < m_bucket_cnt; ++b) {
            NODE* n = m_buckets[b];
            while (n) {
              NODE* next = n->next;
              n->destroy_entry();
              n->next = m_free_list;
              m_free_list = n;
              n = next;
            }
          }
        }
      } else {
        delete_node_pool();
      }
    }
    if (m_buckets) {
      if (keep_buckets) {
        std::memset(m_buckets, 0, sizeof(NODE*) * m_bucket_cnt);
        if (!m_node_pool) create_node_pool();
      } else {
        free_bucket_array(m_buckets);
        m_buckets = nullptr;
        set_bucket_count(zmp_hash_lite_get_next_prime(60));
        if (m_node_pool) m_buckets = create_bucket_array();
      }
    }
    m_size = 0;
  }

protected:
  ZMP_HASH_TABLE_LITE(const ZMP_HASH_TABLE_LITE& o) {
    try {
      copy_from(o);
    } catch (...) {
      release_all();  // an entry's copy failed: no destructor will run
      throw;
    }
  }
  // The source is left empty: size 0, the first bucket count, no storage.
  ZMP_HASH_TABLE_LITE(ZMP_HASH_TABLE_LITE&& o) noexcept { take_from(o); }

  // Assignment clears fully; only a non-empty source passes on its bucket
  // count, so an empty source that once grew gives a fresh table.
  ZMP_HASH_TABLE_LITE& operator=(const ZMP_HASH_TABLE_LITE& o) {
    if (this != &o) {
      clear(false, false);
      if (o.m_size != 0) copy_from(o);
    }
    return *this;
  }
  ZMP_HASH_TABLE_LITE& operator=(ZMP_HASH_TABLE_LITE&& o) noexcept {
    if (this != &o) {
      release_all();
      take_from(o);
    }
    return *this;
  }

  std::uint32_t bucket_of(const key_type& k) const {
    const std::uint32_t h = OPS::hash(k);
    if (!m_buckets) return h % m_bucket_cnt;
    return ZMP_LITE_DETAIL::mod(h, reciprocal_word(m_buckets), m_bucket_cnt);
  }

  NODE* find_node(const key_type& k) const {
    if (!m_buckets) return nullptr;
    for (NODE* n = m_buckets[bucket_of(k)]; n; n = n->next)
      if (OPS::equal(n->key(), k)) return n;
    return nullptr;
  }

  // Finds k or links a new node for it (its entry built by make(entry*)) at
  // the head of its chain, growing afterwards when size passes the threshold.
  template <class MAKE> std::pair<NODE*, bool> find_or_insert(const key_type& k, MAKE&& make) {
    if (!m_buckets) {
      m_buckets = create_bucket_array();
      create_node_pool();
    }
    const std::uint32_t b = bucket_of(k);
    for (NODE* n = m_buckets[b]; n; n = n->next)
      if (OPS::equal(n->key(), k)) return {n, false};
    NODE* n;
    if (m_free_list) {
      n = m_free_list;
      m_free_list = n->next;
    } else {
      n = ::new (m_node_pool->allocate(sizeof(NODE))) NODE;
    }
    try {
      make(&n->m_entry);
    } catch (...) {
      // The node goes back to the free list; nothing was linked.
      n->next = m_free_list;
      m_free_list = n;
      throw;
    }
    n->next = m_buckets[b];
    m_buckets[b] = n;
    ++m_size;
    if (m_size > static_cast<std::uint32_t>(m_grow_threshold)) rehash(0);
    return {n, true};
  }

  // The bucket count becomes n, or grows when n is 0; existing nodes are
  // relinked (walking old buckets from 0, each chain from its head, onto the
  // front of their new chains), never moved.
  void rehash(std::uint32_t n) {
    const std::uint32_t old_cnt = m_bucket_cnt;
    set_bucket_count(n != 0 ? n : zmp_hash_lite_50_percent_increase_size(old_cnt));
    if (!m_buckets) return;
    NODE** old = m_buckets;
    NODE** fresh = create_bucket_array();
    const std::uint64_t r = reciprocal_word(fresh);
    const std::uint32_t cnt = m_bucket_cnt;
    for (std::uint32_t b = 0; b < old_cnt; ++b) {
      NODE* node = old[b];
      while (node) {
        NODE* next = node->next;
        NODE** head = &fresh[ZMP_LITE_DETAIL::mod(OPS::hash(node->key()), r, cnt)];
        node->next = *head;
        *head = node;
        node = next;
      }
    }
    m_buckets = fresh;
    free_bucket_array(old);
  }

  // First non-empty bucket at or after b (the bucket count when none).
  std::uint32_t next_used_bucket(std::uint32_t b) const {
    while (b < m_bucket_cnt && !m_buckets[b]) ++b;
    return b;
  }
  NODE* bucket_head(std::uint32_t b) const { return m_buckets[b]; }
  bool has_bucket_array() const { return m_buckets != nullptr; }

private:
  template <class, class, std::uint32_t, bool> friend class ZMP_HASH_TABLE_LITE;

  static std::uint64_t reciprocal_word(NODE** buckets) {
    std::uint64_t r;
    std::memcpy(&r, reinterpret_cast<const char*>(buckets) - sizeof(std::uint64_t), sizeof r);
    return r;
  }

  // A zero-filled bucket array of the current bucket count.
  NODE** create_bucket_array() const {
    const std::size_t bytes = sizeof(std::uint64_t) + sizeof(NODE*) * std::size_t{m_bucket_cnt};
    char* raw = static_cast<char*>(::operator new(bytes));
    std::memset(raw, 0, bytes);
    const std::uint64_t r = ZMP_LITE_DETAIL::reciprocal(m_bucket_cnt);
    std::memcpy(raw, &r, sizeof r);
    return reinterpret_cast<NODE**>(raw + sizeof(std::uint64_t));
  }
  static void free_bucket_array(NODE** buckets) {
    if (buckets) ::operator delete(reinterpret_cast<char*>(buckets) - sizeof(std::uint64_t));
  }

  void create_node_pool() {
    constexpr std::uint32_t ten_nodes = 10u * static_cast<std::uint32_t>(sizeof(NODE));
    m_node_pool = new ZMP_MEM_POOL(TEN_NODES && ten_nodes > INITIAL_BLOCK ? ten_nodes : INITIAL_BLOCK);
  }

  // Destroys every entry, empties the free list and drops the pool.
  void delete_node_pool() {
    destroy_all_entries();
    m_free_list = nullptr;
    delete m_node_pool;
    m_node_pool = nullptr;
  }

  void destroy_all_entries() {
    if constexpr (!std::is_trivially_destructible_v<typename NODE::entry_type>) {
      if (m_size == 0 || !m_buckets) return;
      for (std::uint32_t b = 0; b < m_bucket_cnt; ++b)
        for (NODE* n = m_buckets[b]; n;) {
          n->destroy_entry();
          n = n->next;
        }
    }
  }

  // Destroys the entries and frees the pool and the bucket array.
  void release_all() {
    if (m_node_pool) {
      destroy_all_entries();
      delete m_node_pool;
      m_node_pool = nullptr;
    }
    free_bucket_array(m_buckets);
    m_buckets = nullptr;
  }

  void set_bucket_count(std::uint32_t n) {
    m_bucket_cnt = n;
    m_grow_threshold = static_cast<std::int32_t>(4 * n) / 5;
  }

  // The copy has the source's bucket count; entries go, in the source's
  // iteration order, to the head of the same bucket (each chain comes out
  // reversed).
  void copy_from(const ZMP_HASH_TABLE_LITE& o) {
    m_bucket_cnt = o.m_bucket_cnt;
    m_grow_threshold = o.m_grow_threshold;
    if (o.m_size == 0) return;
    m_buckets = create_bucket_array();
    create_node_pool();
    for (std::uint32_t b = 0; b < o.m_bucket_cnt; ++b)
      for (const NODE* s = o.m_buckets[b]; s; s = s->next) {
        NODE* n = ::new (m_node_pool->allocate(sizeof(NODE))) NODE;
        ::new (static_cast<void*>(&n->m_entry)) typename NODE::entry_type(s->m_entry);
        n->next = m_buckets[b];
        m_buckets[b] = n;
        ++m_size;
      }
  }

  void take_from(ZMP_HASH_TABLE_LITE& o) noexcept {
    m_size = o.m_size;
    m_bucket_cnt = o.m_bucket_cnt;
    m_grow_threshold = o.m_grow_threshold;
    m_buckets = o.m_buckets;
    m_free_list = o.m_free_list;
    m_node_pool = o.m_node_pool;
    o.m_size = 0;
    o.set_bucket_count(zmp_hash_lite_get_next_prime(60));
    o.m_buckets = nullptr;
    o.m_free_list = nullptr;
    o.m_node_pool = nullptr;
  }

protected:
  std::uint32_t m_size = 0;
  std::uint32_t m_bucket_cnt;
  std::int32_t m_grow_threshold;  // (4 * bucket count) / 5, signed 32-bit
  NODE** m_buckets = nullptr;
  NODE* m_free_list = nullptr;
  ZMP_MEM_POOL* m_node_pool = nullptr;

  static constexpr void check_layout() {
    static_assert(std::is_standard_layout_v<ZMP_HASH_TABLE_LITE>);
    static_assert(offsetof(ZMP_HASH_TABLE_LITE, m_size) == 0 && offsetof(ZMP_HASH_TABLE_LITE, m_bucket_cnt) == 4 &&
                  offsetof(ZMP_HASH_TABLE_LITE, m_grow_threshold) == 8 &&
                  offsetof(ZMP_HASH_TABLE_LITE, m_buckets) == 16 && offsetof(ZMP_HASH_TABLE_LITE, m_free_list) == 24 &&
                  offsetof(ZMP_HASH_TABLE_LITE, m_node_pool) == 32 && sizeof(ZMP_HASH_TABLE_LITE) == 40);
  }
};
