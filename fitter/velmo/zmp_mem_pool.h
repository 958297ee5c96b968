#pragma once
// A bump allocator for container nodes: small pieces of large zero-filled
// blocks, never returned singly. Blocks behind the head stand in descending
// order of free bytes, then the full ones in the order they filled up.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

struct ZMP_MEM_BLOCK {
  ZMP_MEM_BLOCK* m_next;  // null at the tail
  char* m_memory;         // owned
  char* m_cursor;         // first free byte
  std::uint32_t m_free;   // free bytes behind the cursor
};

static_assert(offsetof(ZMP_MEM_BLOCK, m_next) == 0 && offsetof(ZMP_MEM_BLOCK, m_memory) == 8 &&
              offsetof(ZMP_MEM_BLOCK, m_cursor) == 16 && offsetof(ZMP_MEM_BLOCK, m_free) == 24);

class ZMP_MEM_POOL {
public:
  explicit ZMP_MEM_POOL(std::uint32_t block_size) : m_block_size(block_size) {}
  ZMP_MEM_POOL(const ZMP_MEM_POOL&) = delete;
  ZMP_MEM_POOL& operator=(const ZMP_MEM_POOL&) = delete;

  ~ZMP_MEM_POOL() {
    ZMP_MEM_BLOCK* b = m_head;
    while (b) {
      ZMP_MEM_BLOCK* next = b->m_next;
      std::free(b->m_memory);
      delete b;
      b = next;
    }
  }

  // n bytes (raised to a multiple of 8), 8-byte aligned, zero-filled when the
  // block was made.
  void* allocate(unsigned n) {
    n = (n + 7u) & ~7u;
    ZMP_MEM_BLOCK* head = m_head;
    if (head && head->m_free >= n) return take(head, n);
    if (head && head->m_next && head->m_next->m_free >= n) {
      ZMP_MEM_BLOCK* succ = head->m_next;
      void* p = take(succ, n);
      m_head = succ;
      head->m_next = nullptr;
      reposition_block(head);
      return p;
    }
    return allocate_from_new_block(n);
  }

  // Links a block that is not in the list back in at its place by free bytes.
  void reposition_block(ZMP_MEM_BLOCK* b) {
    if (b->m_free > m_full_threshold && m_head && m_head->m_next) {
      ZMP_MEM_BLOCK* prev = m_head;
      ZMP_MEM_BLOCK* cur = m_head->m_next;
      while (cur && cur->m_free > b->m_free) {
        prev = cur;
        cur = cur->m_next;
      }
      if (cur) {
        b->m_next = cur;
        prev->m_next = b;
        return;
      }
    }
    append_at_tail(b);
  }

  // Bytes of an ordinary block made for a pool whose block size is s.
  static std::uint32_t block_size_class(std::uint32_t s) {
    auto up = [](std::uint32_t v, std::uint32_t m) { return (v + m - 1) / m * m; };
    if (s <= 8) return 8;
    if (s <= 256) return up(s, 16);
    if (s <= 512) return up(s, 32);
    if (s <= 768) return up(s, 64);
    if (s <= 1536) return up(s, 128);
    if (s <= 3328) return up(s, 256);
    if (s <= 4096) return 4096;
    if (s <= 5120) return up(s, 512);
    if (s <= 6144) return 6144;
    if (s <= 6656) return 6656;
    if (s <= 8192) return 8192;
    if (s <= 10240) return up(s, 1024);
    if (s <= 12288) return 12288;
    if (s <= 13312) return 13312;
    if (s <= 16384) return 16384;
    if (s <= 24576) return up(s, 4096);
    if (s <= 26624) return 26624;
    return static_cast<std::uint32_t>((static_cast<std::uint64_t>(s) + 8191) / 8192 * 8192);
  }

  std::uint8_t m_countdown = 4;        // ordinary blocks still to make at the current size
  std::uint8_t m_countdown_reset = 4;
  std::uint32_t m_block_size;          // size of the next ordinary block
  std::uint32_t m_max_block_size = 4096;
  std::uint32_t m_full_threshold = 7;  // a block with at most this many free bytes is full
  ZMP_MEM_BLOCK* m_head = nullptr;
  ZMP_MEM_BLOCK* m_tail = nullptr;

private:
  static void* take(ZMP_MEM_BLOCK* b, unsigned n) {
    char* p = b->m_cursor;
    b->m_cursor = p + n;
    b->m_free -= n;
    return p;
  }

  void append_at_tail(ZMP_MEM_BLOCK* b) {
    b->m_next = nullptr;
    if (m_tail)
      m_tail->m_next = b;
    else
      m_head = b;
    m_tail = b;
  }

  void* allocate_from_new_block(unsigned n) {
    std::uint32_t bytes;
    if (m_block_size > n) {
      bytes = block_size_class(m_block_size);
      if (--m_countdown == 0) {
        m_countdown = m_countdown_reset;
        const std::uint64_t doubled = static_cast<std::uint64_t>(m_block_size) * 2;
        m_block_size = static_cast<std::uint32_t>(doubled < m_max_block_size ? doubled : m_max_block_size);
      }
    } else {
      bytes = n;
    }
    char* memory = static_cast<char*>(std::calloc(bytes ? bytes : 1, 1));
    if (!memory) throw std::bad_alloc();
    ZMP_MEM_BLOCK* b = new ZMP_MEM_BLOCK{nullptr, memory, memory, bytes};
    void* p = take(b, n);
    if (b->m_free > m_full_threshold) {
      ZMP_MEM_BLOCK* old = m_head;
      if (!old) {
        m_head = m_tail = b;
      } else {
        b->m_next = old->m_next;
        m_head = b;
        if (m_tail == old) m_tail = b;
        old->m_next = nullptr;
        reposition_block(old);
      }
    } else {
      append_at_tail(b);
    }
    return p;
  }
};

static_assert(offsetof(ZMP_MEM_POOL, m_countdown) == 0 && offsetof(ZMP_MEM_POOL, m_countdown_reset) == 1 &&
              offsetof(ZMP_MEM_POOL, m_block_size) == 4 && offsetof(ZMP_MEM_POOL, m_max_block_size) == 8 &&
              offsetof(ZMP_MEM_POOL, m_full_threshold) == 12 && offsetof(ZMP_MEM_POOL, m_head) == 16 &&
              offsetof(ZMP_MEM_POOL, m_tail) == 24);
