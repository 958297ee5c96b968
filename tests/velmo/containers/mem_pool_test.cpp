#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "testing/host_test.h"
#include "zmp_mem_pool.h"
#include "zmp_ops.h"

using host::testing::HostTest;

namespace {

class MemPoolTest : public HostTest {};

std::uint32_t block_bytes(const ZMP_MEM_BLOCK* b) {
  return static_cast<std::uint32_t>(b->m_cursor - b->m_memory) + b->m_free;
}

std::vector<std::uint32_t> free_bytes_head_to_tail(const ZMP_MEM_POOL& pool) {
  std::vector<std::uint32_t> out;
  for (const ZMP_MEM_BLOCK* b = pool.m_head; b; b = b->m_next) out.push_back(b->m_free);
  return out;
}

// A detached block record with the given free bytes (no memory).
ZMP_MEM_BLOCK* bare_block(std::uint32_t free) { return new ZMP_MEM_BLOCK{nullptr, nullptr, nullptr, free}; }

}  // namespace

TEST_F(MemPoolTest, FreshMapPoolFillsItsFirstBlockExactlyThenMakesASecond) {
  ZMP_MEM_POOL pool(512);
  EXPECT_EQ(pool.m_head, nullptr);
  EXPECT_EQ(pool.m_countdown, 4);

  std::vector<char*> pieces;
  for (int i = 0; i < 32; ++i) pieces.push_back(static_cast<char*>(pool.allocate(16)));
  ASSERT_NE(pool.m_head, nullptr);
  EXPECT_EQ(pool.m_head, pool.m_tail);
  EXPECT_EQ(block_bytes(pool.m_head), 512u);
  EXPECT_EQ(pool.m_head->m_free, 0u);
  for (int i = 0; i < 32; ++i) {
    EXPECT_EQ(pieces[i], pool.m_head->m_memory + 16 * i);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(pieces[i]) % 8, 0u);
    for (int b = 0; b < 16; ++b) EXPECT_EQ(pieces[i][b], 0) << "pieces are zero-filled";
  }

  char* p = static_cast<char*>(pool.allocate(16));
  EXPECT_EQ(block_bytes(pool.m_head), 512u);
  EXPECT_EQ(p, pool.m_head->m_memory) << "the new block becomes head";
  EXPECT_EQ(free_bytes_head_to_tail(pool), (std::vector<std::uint32_t>{496, 0})) << "the full block goes behind";
  EXPECT_EQ(pool.m_countdown, 2);
}

TEST_F(MemPoolTest, RequestsAreRoundedToEightAndLargeOnesGetTheirOwnTailBlock) {
  ZMP_MEM_POOL pool(512);
  char* a = static_cast<char*>(pool.allocate(13));
  char* b = static_cast<char*>(pool.allocate(1));
  EXPECT_EQ(b - a, 16) << "13 bytes take 16";
  EXPECT_EQ(pool.m_head->m_free, 512u - 24u);

  char* big = static_cast<char*>(pool.allocate(600));
  ASSERT_NE(pool.m_tail, pool.m_head);
  EXPECT_EQ(pool.m_tail->m_memory, big);
  EXPECT_EQ(block_bytes(pool.m_tail), 600u);
  EXPECT_EQ(pool.m_countdown, 3) << "an exact-size block leaves the countdown alone";
  EXPECT_EQ(pool.m_block_size, 512u);

  char* small = static_cast<char*>(pool.allocate(8));
  EXPECT_EQ(small, b + 8) << "the head still serves small requests";

  // A request of exactly the block size also gets a block of its own.
  char* exact = static_cast<char*>(pool.allocate(512));
  EXPECT_EQ(pool.m_tail->m_memory, exact);
  EXPECT_EQ(block_bytes(pool.m_tail), 512u);
}

TEST_F(MemPoolTest, BlockSizeDoublesEveryFourBlocksUpToTheMaximum) {
  ZMP_MEM_POOL pool(512);
  std::vector<std::uint32_t> made;
  for (int i = 0; i < 16; ++i) {
    // Leaves 8 free bytes in each new block, so every new block becomes head.
    pool.allocate(pool.m_block_size - 8);
    made.push_back(block_bytes(pool.m_head));
  }
  EXPECT_EQ(made, (std::vector<std::uint32_t>{512, 512, 512, 512, 1024, 1024, 1024, 1024, 2048, 2048, 2048, 2048,
                                              4096, 4096, 4096, 4096}));
  EXPECT_EQ(pool.m_block_size, 4096u);

  ZMP_MEM_POOL set_pool(256);
  set_pool.allocate(8);
  EXPECT_EQ(block_bytes(set_pool.m_head), 256u);
}

TEST_F(MemPoolTest, BlockSizeClasses) {
  const std::uint32_t cases[][2] = {{1, 8},        {8, 8},         {9, 16},        {250, 256},     {257, 288},
                                    {513, 576},    {769, 768 + 128}, {1537, 1792},   {3329, 4096},   {4097, 4608},
                                    {5121, 6144},  {6145, 6656},   {6657, 8192},   {8193, 9216},   {10241, 12288},
                                    {12289, 13312}, {13313, 16384}, {16385, 20480}, {24577, 26624}, {26625, 32768}};
  for (const auto& c : cases) EXPECT_EQ(ZMP_MEM_POOL::block_size_class(c[0]), c[1]) << c[0];
}

TEST_F(MemPoolTest, SuccessorServesWhenTheHeadCannotAndBecomesHead) {
  ZMP_MEM_POOL pool(512);
  pool.allocate(400);  // A: 112 free
  pool.allocate(200);  // B: 312 free, head; A behind
  EXPECT_EQ(free_bytes_head_to_tail(pool), (std::vector<std::uint32_t>{312, 112}));
  pool.allocate(304);  // B: 8 free
  ZMP_MEM_BLOCK* a = pool.m_head->m_next;
  char* p = static_cast<char*>(pool.allocate(96));
  EXPECT_EQ(pool.m_head, a);
  EXPECT_EQ(p, a->m_memory + 400);
  EXPECT_EQ(free_bytes_head_to_tail(pool), (std::vector<std::uint32_t>{16, 8}));
  EXPECT_EQ(pool.m_tail->m_next, nullptr);
  EXPECT_EQ(pool.m_tail->m_free, 8u);
}

TEST_F(MemPoolTest, RepositionKeepsTheOrderedPartAndSendsFullBlocksToTheTail) {
  ZMP_MEM_POOL pool(512);
  // Head 5, then 100, 50, then a full block.
  ZMP_MEM_BLOCK* old_fifty = nullptr;
  for (std::uint32_t f : {5u, 100u, 50u, 0u}) {
    ZMP_MEM_BLOCK* b = bare_block(f);
    if (f == 50u) old_fifty = b;
    if (pool.m_tail)
      pool.m_tail->m_next = b;
    else
      pool.m_head = b;
    pool.m_tail = b;
  }
  ZMP_MEM_BLOCK* new_fifty = bare_block(50);
  pool.reposition_block(new_fifty);  // before the equal one
  EXPECT_EQ(new_fifty->m_next, old_fifty) << "a block goes in front of blocks with equal free bytes";
  pool.reposition_block(bare_block(8));    // 8 > threshold: stays in the ordered part
  pool.reposition_block(bare_block(7));    // full: to the tail
  pool.reposition_block(bare_block(200));  // right behind the head
  EXPECT_EQ(free_bytes_head_to_tail(pool), (std::vector<std::uint32_t>{5, 200, 100, 50, 50, 8, 0, 7}));
  EXPECT_EQ(pool.m_tail->m_free, 7u);

  ZMP_MEM_POOL empty(256);
  ZMP_MEM_BLOCK* only = bare_block(100);
  empty.reposition_block(only);
  EXPECT_EQ(empty.m_head, only);
  EXPECT_EQ(empty.m_tail, only);
}

TEST_F(MemPoolTest, KeyPolicyHashes) {
  EXPECT_EQ(ZMP_OPS<int>::hash(-1), 0xFFFFFFFFu);
  EXPECT_EQ(ZMP_OPS<unsigned>::hash(77u), 77u);
  EXPECT_EQ(ZMP_OPS<const int*>::hash(reinterpret_cast<const int*>(std::uintptr_t{0x1008})), 0x201u);
  EXPECT_EQ(ZMP_OPS<int*>::hash(reinterpret_cast<int*>(std::uintptr_t{0x123456789ull << 3})), 0x23456789u)
      << "low 32 bits of the shifted address";
  EXPECT_EQ((ZMP_OPS<std::pair<int, int>>::hash({2, 3})), 17u);
  EXPECT_EQ((ZMP_OPS<std::pair<int, int>>::hash({-1, 0})), 0xFFFFFFF9u);
  using P2 = ZMP::POINT<2, int, ZMP::DEFAULT_COORDINATE_SPACE>;
  using P3 = ZMP::POINT<3, int, ZMP::DEFAULT_COORDINATE_SPACE>;
  EXPECT_EQ(ZMP_OPS<P2>::hash(P2(5, 9)), 5u);
  EXPECT_FALSE(ZMP_OPS<P2>::equal(P2(5, 9), P2(5, 8)));
  EXPECT_EQ(ZMP_OPS<P3>::hash(P3(1, 2, 3)), 131073u);
  EXPECT_EQ(ZMP_OPS<P3>::hash(P3(1, 2, 3)), ZMP_OPS<P3>::hash(P3(1, 2, 4))) << "z does not enter the hash";
  EXPECT_FALSE(ZMP_OPS<P3>::equal(P3(1, 2, 3), P3(1, 2, 4)));
  EXPECT_EQ(ZMP_OPS<std::string>::hash(""), 0u);
  EXPECT_EQ(ZMP_OPS<std::string>::hash("ab"), 3323u);
  EXPECT_EQ(ZMP_OPS<std::string>::hash("\xff"), 0xFFFFFFFFu) << "bytes are sign-extended";
  EXPECT_FALSE(ZMP_OPS<std::string>::equal("ab", "abc"));
  EXPECT_TRUE(ZMP_OPS<std::string>::equal("", ""));

  struct PORT {
    std::uint32_t atom;
    std::uint32_t symbol;
    std::uint16_t index;
  };
  PORT a{1, 2, 3}, b{1, 2, 3}, c{1, 2, 4};
  std::memset(reinterpret_cast<char*>(&b) + 10, 0xAB, 2);  // padding plays no part
  EXPECT_EQ(VOK_ATOM_LOGICAL_PORT_OPS::hash(a), 4090812151u);
  EXPECT_EQ(VOK_ATOM_LOGICAL_PORT_OPS::hash(b), 4090812151u);
  EXPECT_TRUE(VOK_ATOM_LOGICAL_PORT_OPS::equal(a, b));
  EXPECT_FALSE(VOK_ATOM_LOGICAL_PORT_OPS::equal(a, c));

  PAIR_OF_NUMERIC_THINGS<int, unsigned> x{4, 5}, y{4, 5}, z{5, 4};
  EXPECT_TRUE(PAIR_OF_NUMERIC_THINGS_OPS::equal(x, y));
  EXPECT_FALSE(PAIR_OF_NUMERIC_THINGS_OPS::equal(x, z));
  EXPECT_EQ(PAIR_OF_NUMERIC_THINGS_OPS::hash(x), PAIR_OF_NUMERIC_THINGS_OPS::hash(y));
}
