#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "juk_forest_detail_sys.h"
#include "testing/host_test.h"

using host::testing::expect_internal_error;
using host::testing::HostTest;

namespace {

using FOREST = JUK::FOREST<int, int>;

class ForestTest : public HostTest {};

int root(FOREST& f, int payload) {
  const int id = f.create_node(payload);
  f.append_root(id);
  return id;
}
int child(FOREST& f, int parent, int payload) {
  const int id = f.create_node(payload);
  f.append_child(parent, id);
  return id;
}

// Payloads of a list, front to back, checked against the backward links.
std::vector<int> list_payloads(const FOREST& f, int parent) {
  std::vector<int> out;
  auto b = parent == -1 ? f.roots_begin() : f.children_begin(parent);
  auto e = parent == -1 ? f.roots_end() : f.children_end(parent);
  for (auto it = b; it != e; ++it) {
    EXPECT_EQ(f.parent(it.id()), parent);
    out.push_back(*it);
  }
  std::vector<int> back;
  for (auto it = e; it != b;) back.insert(back.begin(), *--it);
  EXPECT_EQ(out, back) << "previous links agree with next links";
  return out;
}
std::vector<int> list_ids(const FOREST& f, int parent) {
  std::vector<int> out;
  for (int c = parent == -1 ? f.first_root() : f.first_child(parent); c != -1; c = f.next_sibling(c)) out.push_back(c);
  return out;
}
std::vector<int> free_list(const FOREST& f) {
  std::vector<int> out;
  for (int id = f.free_list_head(); id != -1; id = f.next_sibling(id)) out.push_back(id);
  return out;
}

}  // namespace

TEST_F(ForestTest, EraseFreesDeepestFirstAndCreationReusesLastInFirstOut) {
  FOREST f;
  const int r0 = root(f, 10);         // 0
  const int n1 = child(f, r0, 1);     // 1
  const int n2 = child(f, n1, 2);     // 2
  child(f, n2, 3);                    // 3
  child(f, n1, 4);                    // 4
  const int n5 = child(f, r0, 5);     // 5
  f.erase(n1);
  EXPECT_EQ(free_list(f), (std::vector<int>{1, 4, 2, 3}));
  EXPECT_EQ(f.free_count(), 4);
  EXPECT_EQ(list_ids(f, r0), (std::vector<int>{n5}));
  EXPECT_TRUE(f.is_erased(3));
  EXPECT_EQ(f.payload(3), 0);
  EXPECT_EQ(f.node(3).prev_sibling, -2);
  EXPECT_EQ(f.node(3).parent, -1);

  std::vector<int> live;
  for (auto it = f.nodes_begin(); it != f.nodes_end(); ++it) live.push_back(it.id());
  EXPECT_EQ(live, (std::vector<int>{0, 5}));

  std::vector<int> reused;
  for (int i = 0; i < 5; ++i) reused.push_back(f.create_node(100 + i));
  EXPECT_EQ(reused, (std::vector<int>{1, 4, 2, 3, 6}));
  EXPECT_EQ(f.free_count(), 0);
  EXPECT_EQ(f.node(4).prev_sibling, -1);
  EXPECT_EQ(f.payload(4), 101);

  // The only child and the only root.
  FOREST g;
  const int a = root(g, 1);
  const int b = child(g, a, 2);
  g.erase(b);
  EXPECT_EQ(g.first_child(a), -1);
  EXPECT_EQ(g.last_child(a), -1);
  g.erase(a);
  EXPECT_EQ(g.first_root(), -1);
  EXPECT_EQ(g.last_root(), -1);
  EXPECT_TRUE(g.nodes_begin() == g.nodes_end());

  // Erasing the middle and the last of a root list mends both ends.
  FOREST h;
  root(h, 1);
  const int m = root(h, 2);
  const int l = root(h, 3);
  h.erase(m);
  EXPECT_EQ(list_payloads(h, -1), (std::vector<int>{1, 3}));
  h.erase(l);
  EXPECT_EQ(list_payloads(h, -1), (std::vector<int>{1}));
}

TEST_F(ForestTest, IdsRunOutWithAnInternalError) {
  JUK::FOREST<std::int8_t, int> f;
  for (int i = 0; i < 127; ++i) f.create_node(i);
  auto e = expect_internal_error([&] { f.create_node(0); });
  EXPECT_EQ(e.condition, "new_id != std:: numeric_limits< ID >::max()");
  EXPECT_EQ(e.file, "juk_forest_detail_sys");
  EXPECT_EQ(e.line, 2256);
}

TEST_F(ForestTest, SortShortLongAndDeep) {
  FOREST f;
  const int r = root(f, 0);
  const int a = child(f, r, 5);
  const int b = child(f, r, 5);
  f.sort(FOREST::sibling_iterator(f.children_begin(r)), FOREST::sibling_iterator(f.children_end(r)), std::less<int>(),
         false);
  EXPECT_EQ(list_ids(f, r), (std::vector<int>{b, a})) << "two equal payloads trade places";

  FOREST one;
  const int only = root(one, 3);
  one.sort();
  EXPECT_EQ(list_ids(one, -1), (std::vector<int>{only}));

  // 40 siblings with repeats, descending: all of them are sorted.
  FOREST big;
  const int p = root(big, 0);
  for (int i = 39; i >= 0; --i) child(big, p, i / 2);
  big.sort(FOREST::sibling_iterator(big.children_begin(p)), FOREST::sibling_iterator(big.children_end(p)),
           std::less<int>(), false);
  std::vector<int> want;
  for (int i = 0; i < 40; ++i) want.push_back(i / 2);
  EXPECT_EQ(list_payloads(big, p), want);

  // sort(): every list at every depth, including the roots.
  FOREST deep;
  const int r2 = root(deep, 9);
  const int r1 = root(deep, 1);
  const int x = child(deep, r2, 7);
  child(deep, r2, 3);
  for (int v : {6, 2, 4}) child(deep, x, v);
  const int y = child(deep, x, 1);
  for (int v : {3, 2, 1}) child(deep, y, v);
  for (int v : {8, 0}) child(deep, r1, v);
  deep.sort();
  EXPECT_EQ(list_payloads(deep, -1), (std::vector<int>{1, 9}));
  EXPECT_EQ(list_payloads(deep, r1), (std::vector<int>{0, 8}));
  EXPECT_EQ(list_payloads(deep, r2), (std::vector<int>{3, 7}));
  EXPECT_EQ(list_payloads(deep, x), (std::vector<int>{1, 2, 4, 6}));
  EXPECT_EQ(list_payloads(deep, y), (std::vector<int>{1, 2, 3}));

  // A descending predicate on one subtree's list.
  deep.sort(FOREST::sibling_iterator(deep.children_begin(x)), FOREST::sibling_iterator(deep.children_end(x)),
            std::greater<int>(), true);
  EXPECT_EQ(list_payloads(deep, x), (std::vector<int>{6, 4, 2, 1}));
  EXPECT_EQ(list_payloads(deep, y), (std::vector<int>{3, 2, 1}));
}

TEST_F(ForestTest, MergeJoinsEqualRootsAndCopiesTheRest) {
  FOREST to, from;
  const int t2 = root(to, 2);
  const int t3 = root(to, 3);
  child(to, t3, 6);
  root(from, 1);
  const int f3 = root(from, 3);
  child(from, f3, 5);
  JUK::merge_forests(to, from, std::less<int>());
  EXPECT_EQ(list_payloads(to, -1), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(list_payloads(to, t3), (std::vector<int>{5, 6}));
  EXPECT_EQ(to.prev_sibling(t2), to.first_root());

  // Duplicates in the source are not folded; children left over are appended.
  FOREST dst, src;
  const int d4 = root(dst, 4);
  child(dst, d4, 1);
  root(dst, 8);
  const int s4a = root(src, 4);
  for (int v : {0, 1, 2, 9}) child(src, s4a, v);
  const int s4b = root(src, 4);
  child(src, s4b, 7);
  root(src, 10);
  JUK::merge_forests(dst, src, std::less<int>());
  EXPECT_EQ(list_payloads(dst, -1), (std::vector<int>{4, 4, 8, 10}));
  EXPECT_EQ(list_payloads(dst, d4), (std::vector<int>{0, 1, 2, 9}));
  EXPECT_EQ(list_payloads(dst, dst.next_sibling(d4)), (std::vector<int>{7}));

  // Into an empty forest: an exact copy, ids and free list included.
  FOREST empty;
  from.erase(f3);
  root(from, 12);  // reuses an erased id
  JUK::merge_forests(empty, from, std::less<int>());
  EXPECT_EQ(empty.num_slots(), from.num_slots());
  for (int i = 0; i < from.num_slots(); ++i) {
    EXPECT_EQ(empty.node(i).payload, from.node(i).payload);
    EXPECT_EQ(empty.node(i).next_sibling, from.node(i).next_sibling);
    EXPECT_EQ(empty.node(i).prev_sibling, from.node(i).prev_sibling);
  }
  EXPECT_EQ(free_list(empty), free_list(from));

  // Merging an empty forest changes nothing; merging into itself is an error.
  const FOREST before = to;
  JUK::merge_forests(to, FOREST(), std::less<int>());
  EXPECT_EQ(to.nodes().size(), before.nodes().size());
  EXPECT_TRUE(to == before);
  auto e = expect_internal_error([&] { JUK::merge_forests(to, to, std::less<int>()); });
  EXPECT_EQ(e.condition, "&to_forest != &from_forest");
  EXPECT_EQ(e.file, "juk_forest_detail_sys");
  EXPECT_EQ(e.line, 2625);
}

TEST_F(ForestTest, CopyTakesIdsInPreOrderFromTheFreeListFirst) {
  FOREST from;
  const int s = root(from, 0);
  const int a = child(from, s, 1);
  child(from, a, 2);
  child(from, s, 3);

  FOREST to;
  const int t = root(to, 0);
  child(to, t, 9);
  const int gone = child(to, t, 8);
  child(to, gone, 7);
  to.erase(gone);  // free list: 2, 3
  JUK::DETAIL::recursively_copy_children(from, s, to, t, JUK::DETAIL::TRUE_FN());
  EXPECT_EQ(list_payloads(to, t), (std::vector<int>{9, 1, 3}));
  const std::vector<int> ids = list_ids(to, t);
  EXPECT_EQ(ids[1], 2) << "the first copy takes the most recently erased id";
  EXPECT_EQ(list_ids(to, ids[1]), (std::vector<int>{3}));
  EXPECT_EQ(ids[2], 4);
  EXPECT_EQ(to.payload(3), 2);
}

TEST_F(ForestTest, EqualityIgnoresIdsButNotShape) {
  FOREST a, b;
  const int a1 = root(a, 1);
  const int a2 = root(a, 2);
  child(a, a1, 5);
  child(a, a2, 6);

  const int junk = root(b, 99);
  const int b2 = b.create_node(2);
  const int b1 = b.create_node(1);
  b.append_root(b1);
  b.append_root(b2);
  child(b, b2, 6);
  child(b, b1, 5);
  b.erase(junk);
  EXPECT_TRUE(a == b);
  EXPECT_TRUE(JUK::trees_are_equal(a, a2, b, b2));
  EXPECT_FALSE(JUK::trees_are_equal(a, a1, b, b2));

  child(b, b1, 0);
  EXPECT_FALSE(a == b) << "one extra leaf";
  EXPECT_FALSE(JUK::trees_are_equal(a, a1, b, b1));
  EXPECT_TRUE(FOREST() == FOREST());
  EXPECT_FALSE(a == FOREST());
}

TEST_F(ForestTest, VeryDeepTreesNeedNoDeepRecursion) {
  constexpr int depth = 200000;
  FOREST a, b;
  int pa = root(a, 0), pb = root(b, 0);
  for (int i = 1; i < depth; ++i) {
    pa = child(a, pa, i);
    pb = child(b, pb, i);
  }
  child(b, pb, depth);
  EXPECT_FALSE(a == b);
  a.sort();
  FOREST merged;
  root(merged, 0);
  JUK::merge_forests(merged, b, std::less<int>());
  EXPECT_TRUE(merged == b);
  b.erase(b.first_root());
  EXPECT_EQ(b.free_count(), depth + 1);
  EXPECT_EQ(b.free_list_head(), 0);
}
