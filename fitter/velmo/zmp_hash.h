#pragma once
// ZMP_HASH: a chained hash map whose new nodes go to the head of their
// chain, with a caller-driven resize. Keys are hashed and compared through
// the OPS policy; ZMP_CSTR_OPS keys are NUL-terminated strings compared by
// content (the map keeps the caller's pointers, not copies).
#include <cstdint>

#include "gen/gen_string.h"
#include "zmp/zmp_growth.h"

struct ZMP_CSTR_OPS {
  static std::uint32_t hash(const char* key) {
    std::uint32_t h = 0;
    for (const char* p = key; *p != '\0'; ++p)
      h ^= (h << 5) + (h >> 2) + static_cast<std::uint32_t>(static_cast<std::int32_t>(static_cast<signed char>(*p)));
    return h;
  }
  static bool equal(const char* a, const char* b) { return gen_strcmp(a, b) == 0; }
};

template <class K, class V, class OPS> class ZMP_HASH {
public:
  struct NODE {
    K key;
    V value;
    NODE* next;
    NODE* prev;
  };

  ZMP_HASH() : m_bucket_count(61), m_count(0), m_buckets(new NODE*[61]()) {}
  ~ZMP_HASH() {
    for (std::uint32_t b = 0; b < m_bucket_count; ++b) {
      NODE* n = m_buckets[b];
      while (n != nullptr) {
        NODE* next = n->next;
        delete n;
        n = next;
      }
    }
    delete[] m_buckets;
  }
  ZMP_HASH(const ZMP_HASH&) = delete;
  ZMP_HASH& operator=(const ZMP_HASH&) = delete;

  std::uint32_t bucket_count() const { return m_bucket_count; }
  std::uint32_t size() const { return m_count; }

  // The node of the key, or null.
  NODE* find(K key) const {
    for (NODE* n = m_buckets[OPS::hash(key) % m_bucket_count]; n != nullptr; n = n->next)
      if (OPS::equal(n->key, key)) return n;
    return nullptr;
  }

  // Grows when n entries need more buckets: (n / 4) * 5 above the count.
  void resize(std::uint32_t n) {
    const std::uint32_t wanted = (n / 4) * 5;
    if (wanted <= m_bucket_count) return;
    const std::uint32_t count = zmp_hash_50_percent_increase_size(wanted);
    NODE** buckets = new NODE*[count]();
    for (std::uint32_t b = 0; b < m_bucket_count; ++b) {
      NODE* n = m_buckets[b];
      while (n != nullptr) {
        NODE* next = n->next;
        push_head(buckets, count, n);
        n = next;
      }
    }
    delete[] m_buckets;
    m_buckets = buckets;
    m_bucket_count = count;
  }

  // The key's value; a missing key is put at the head of its chain with 0.
  V& operator[](K key) {
    if (NODE* n = find(key)) return n->value;
    NODE* n = new NODE{key, V(), nullptr, nullptr};
    push_head(m_buckets, m_bucket_count, n);
    ++m_count;
    resize(m_count);
    return n->value;
  }

private:
  static void push_head(NODE** buckets, std::uint32_t count, NODE* n) {
    NODE*& head = buckets[OPS::hash(n->key) % count];
    n->prev = nullptr;
    n->next = head;
    if (head != nullptr) head->prev = n;
    head = n;
  }

  std::uint32_t m_bucket_count;
  std::uint32_t m_count;
  NODE** m_buckets;
};
