#pragma once
// JUK::FOREST<ID, T>: an ordered forest in one array of node records indexed
// by id. Roots and the children of each node form doubly linked sibling lists;
// erased ids stay in the array (previous sibling -2) on a last-in first-out
// free list that node creation uses first. Links are ids, so the array may
// move when it grows and copying a forest keeps every id.
//
// Walks along the depth of a tree (erase, merge, copy, equality, deep sort)
// use explicit stacks or parent links, never recursion: routing trees can be
// very deep. They hold ids, never references into the array, across node
// creation.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <iterator>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "msg/msg_internal_error.h"

namespace JUK {

// No node; the previous-sibling mark of an erased node.
enum : int { INVALID_ID = -1, ERASED_MARK = -2 };

template <class ID, class T> struct FOREST_NODE_DATA {
  T payload;
  ID first_child;
  ID last_child;
  ID prev_sibling;  // -2 marks an erased node
  ID next_sibling;  // for an erased node: the next id on the free list
  ID parent;        // -1 for a root
};

using FOREST_NODE_DATA_INT = FOREST_NODE_DATA<int, int>;
static_assert(sizeof(FOREST_NODE_DATA_INT) == 24 && offsetof(FOREST_NODE_DATA_INT, first_child) == 4 &&
              offsetof(FOREST_NODE_DATA_INT, last_child) == 8 && offsetof(FOREST_NODE_DATA_INT, prev_sibling) == 12 &&
              offsetof(FOREST_NODE_DATA_INT, next_sibling) == 16 && offsetof(FOREST_NODE_DATA_INT, parent) == 20);

template <class ID, class T> class FOREST;

namespace DETAIL {

// Accepts every child (the predicate of the only copy in use).
struct TRUE_FN {
  template <class... A> bool operator()(const A&...) const { return true; }
};

// Orders ids by the predicate applied to their payloads.
template <class FOREST_T, class PRED> struct COMPARE_FOREST_NODES_WRAPPED_PRED {
  const FOREST_T* forest;
  PRED pred;
  bool operator()(typename FOREST_T::id_type a, typename FOREST_T::id_type b) const {
    return pred(forest->payload(a), forest->payload(b));
  }
};

}  // namespace DETAIL

template <class ID, class T> class FOREST {
public:
  using id_type = ID;
  using payload_type = T;
  using node_type = FOREST_NODE_DATA<ID, T>;

  static_assert(std::is_signed_v<ID>, "ids are signed: -1 is none, -2 marks an erased node");

  // ---- iterators ---------------------------------------------------------

  // Walks one sibling list (or the root list); its end (-1) steps back to the
  // list's last member. Dereferences to the payload.
  class const_sibling_iterator {
  public:
    using iterator_category = std::bidirectional_iterator_tag;
    using value_type = T;
    using difference_type = std::ptrdiff_t;
    using reference = const T&;
    using pointer = const T*;

    const_sibling_iterator() = default;
    const_sibling_iterator(const FOREST* forest, ID id, ID parent) : m_forest(forest), m_id(id), m_parent(parent) {}

    const T& operator*() const { return m_forest->payload(m_id); }
    const T* operator->() const { return &m_forest->payload(m_id); }
    ID id() const { return m_id; }
    ID parent_id() const { return m_parent; }
    const FOREST* forest() const { return m_forest; }

    const_sibling_iterator& operator++() {
      m_id = m_forest->m_nodes[m_id].next_sibling;
      return *this;
    }
    const_sibling_iterator& operator--() {
      if (m_id == -1)
        m_id = m_parent == -1 ? m_forest->m_last_root : m_forest->m_nodes[m_parent].last_child;
      else
        m_id = m_forest->m_nodes[m_id].prev_sibling;
      return *this;
    }
    const_sibling_iterator operator++(int) {
      const_sibling_iterator old = *this;
      ++*this;
      return old;
    }
    const_sibling_iterator operator--(int) {
      const_sibling_iterator old = *this;
      --*this;
      return old;
    }
    friend bool operator==(const const_sibling_iterator& a, const const_sibling_iterator& b) {
      return a.m_id == b.m_id;
    }

  private:
    const FOREST* m_forest = nullptr;
    ID m_id = -1;
    ID m_parent = -1;
  };

  // Walks every live id in increasing order, stepping over erased slots; its
  // end is the number of slots. Dereferences to the payload.
  class const_node_iterator {
  public:
    using iterator_category = std::bidirectional_iterator_tag;
    using value_type = T;
    using difference_type = std::ptrdiff_t;
    using reference = const T&;
    using pointer = const T*;

    const_node_iterator() = default;
    const_node_iterator(const FOREST* forest, ID id) : m_forest(forest), m_id(id) {}

    const T& operator*() const { return m_forest->payload(m_id); }
    const T* operator->() const { return &m_forest->payload(m_id); }
    ID id() const { return m_id; }
    const FOREST* forest() const { return m_forest; }

    const_node_iterator& operator++() {
      const ID n = m_forest->num_slots();
      do ++m_id;
      while (m_id < n && m_forest->is_erased(m_id));
      return *this;
    }
    const_node_iterator& operator--() {
      do --m_id;
      while (m_id > 0 && m_forest->is_erased(m_id));
      return *this;
    }
    const_node_iterator operator++(int) {
      const_node_iterator old = *this;
      ++*this;
      return old;
    }
    const_node_iterator operator--(int) {
      const_node_iterator old = *this;
      --*this;
      return old;
    }
    friend bool operator==(const const_node_iterator& a, const const_node_iterator& b) { return a.m_id == b.m_id; }

  private:
    const FOREST* m_forest = nullptr;
    ID m_id = 0;
  };

  // Yields the id of the wrapped iterator.
  template <class IT> class id_iterator_wrapper {
  public:
    using iterator_category = std::bidirectional_iterator_tag;
    using value_type = ID;
    using difference_type = std::ptrdiff_t;
    using reference = ID;
    using pointer = void;

    id_iterator_wrapper() = default;
    explicit id_iterator_wrapper(IT it) : m_it(it) {}
    ID operator*() const { return m_it.id(); }
    const IT& base() const { return m_it; }
    id_iterator_wrapper& operator++() {
      ++m_it;
      return *this;
    }
    id_iterator_wrapper& operator--() {
      --m_it;
      return *this;
    }
    id_iterator_wrapper operator++(int) {
      id_iterator_wrapper old = *this;
      ++m_it;
      return old;
    }
    id_iterator_wrapper operator--(int) {
      id_iterator_wrapper old = *this;
      --m_it;
      return old;
    }
    friend bool operator==(const id_iterator_wrapper& a, const id_iterator_wrapper& b) { return a.m_it == b.m_it; }

  private:
    IT m_it;
  };

  // Write access to the payloads through the wrapped iterator.
  template <class IT> class non_const_iterator_wrapper {
  public:
    using iterator_category = std::bidirectional_iterator_tag;
    using value_type = T;
    using difference_type = std::ptrdiff_t;
    using reference = T&;
    using pointer = T*;

    non_const_iterator_wrapper() = default;
    explicit non_const_iterator_wrapper(IT it) : m_it(it) {}
    T& operator*() const { return const_cast<FOREST*>(m_it.forest())->payload(m_it.id()); }
    T* operator->() const { return &**this; }
    ID id() const { return m_it.id(); }
    const IT& base() const { return m_it; }
    non_const_iterator_wrapper& operator++() {
      ++m_it;
      return *this;
    }
    non_const_iterator_wrapper& operator--() {
      --m_it;
      return *this;
    }
    non_const_iterator_wrapper operator++(int) {
      non_const_iterator_wrapper old = *this;
      ++m_it;
      return old;
    }
    non_const_iterator_wrapper operator--(int) {
      non_const_iterator_wrapper old = *this;
      --m_it;
      return old;
    }
    friend bool operator==(const non_const_iterator_wrapper& a, const non_const_iterator_wrapper& b) {
      return a.m_it == b.m_it;
    }

  private:
    IT m_it;
  };

  using sibling_iterator = non_const_iterator_wrapper<const_sibling_iterator>;

  // ---- construction and access --------------------------------------------

  FOREST() = default;

  ID num_slots() const { return static_cast<ID>(m_nodes.size()); }
  bool empty() const { return m_first_root == -1; }
  ID first_root() const { return m_first_root; }
  ID last_root() const { return m_last_root; }
  ID free_list_head() const { return m_free_head; }
  int free_count() const { return m_free_count; }
  const std::vector<node_type>& nodes() const { return m_nodes; }

  const node_type& node(ID id) const { return m_nodes[id]; }
  node_type& node(ID id) { return m_nodes[id]; }
  const T& payload(ID id) const { return m_nodes[id].payload; }
  T& payload(ID id) { return m_nodes[id].payload; }
  ID first_child(ID id) const { return m_nodes[id].first_child; }
  ID last_child(ID id) const { return m_nodes[id].last_child; }
  ID prev_sibling(ID id) const { return m_nodes[id].prev_sibling; }
  ID next_sibling(ID id) const { return m_nodes[id].next_sibling; }
  ID parent(ID id) const { return m_nodes[id].parent; }
  bool is_erased(ID id) const { return m_nodes[id].prev_sibling == -2; }

  const_sibling_iterator roots_begin() const { return const_sibling_iterator(this, m_first_root, -1); }
  const_sibling_iterator roots_end() const { return const_sibling_iterator(this, -1, -1); }
  const_sibling_iterator children_begin(ID id) const {
    return const_sibling_iterator(this, m_nodes[id].first_child, id);
  }
  const_sibling_iterator children_end(ID id) const { return const_sibling_iterator(this, -1, id); }
  const_node_iterator nodes_begin() const {
    ID first = 0;
    while (first < num_slots() && is_erased(first)) ++first;
    return const_node_iterator(this, first);
  }
  const_node_iterator nodes_end() const { return const_node_iterator(this, num_slots()); }

  // A new unlinked node: the most recently erased id when there is one, else
  // the next id past the array.
  ID create_node(const T& payload) {
    if (m_free_head != -1) {
      const ID id = m_free_head;
      node_type& n = m_nodes[id];
      m_free_head = n.next_sibling;
      n.prev_sibling = -1;
      n.next_sibling = -1;
      --m_free_count;
      n.payload = payload;
      return id;
    }
    const ID new_id = num_slots();
    if (!(new_id != std::numeric_limits<ID>::max()))
      MSG_INTERNAL_ERROR::report("new_id != std:: numeric_limits< ID >::max()", "VELMO", "juk_forest_detail_sys", 2256);
    m_nodes.push_back(node_type{payload, -1, -1, -1, -1, -1});
    return new_id;
  }

  // Links an unlinked node at the end of the root list.
  void append_root(ID id) { link_last(-1, id); }
  // Links an unlinked node as the last child of parent.
  void append_child(ID parent, ID id) { link_last(parent, id); }
  // Links an unlinked node just before sibling, in sibling's list.
  void insert_before(ID sibling, ID id) {
    node_type& s = m_nodes[sibling];
    node_type& n = m_nodes[id];
    n.parent = s.parent;
    n.prev_sibling = s.prev_sibling;
    n.next_sibling = sibling;
    if (s.prev_sibling != -1)
      m_nodes[s.prev_sibling].next_sibling = id;
    else if (s.parent == -1)
      m_first_root = id;
    else
      m_nodes[s.parent].first_child = id;
    s.prev_sibling = id;
  }

  // Takes a node (with its subtree) out of its list; its previous sibling,
  // next sibling and parent become -1.
  void unlink(ID id) {
    node_type& n = m_nodes[id];
    const ID p = n.prev_sibling, s = n.next_sibling, q = n.parent;
    if (p == -1) {
      if (q == -1)
        m_first_root = s;
      else
        m_nodes[q].first_child = s;
    } else {
      m_nodes[p].next_sibling = s;
    }
    if (s == -1) {
      if (q == -1)
        m_last_root = p;
      else
        m_nodes[q].last_child = p;
    } else {
      m_nodes[s].prev_sibling = p;
    }
    n.prev_sibling = n.next_sibling = n.parent = -1;
  }

  // Removes the node and its whole subtree. Each subtree's deepest first
  // descendants are freed first, the node itself last.
  void erase(ID id) {
    ID cur = id;
    for (;;) {
      while (m_nodes[cur].first_child != -1) cur = m_nodes[cur].first_child;
      const ID up = m_nodes[cur].parent;
      free_node(cur);
      if (cur == id) return;
      cur = up;
    }
  }

  // Sorts every sibling list and the root list by payload.
  void sort() { sort(sibling_iterator(roots_begin()), sibling_iterator(roots_end()), std::less<T>(), true); }

  // Sorts one whole sibling list [begin, end); with deep, every list below
  // its nodes first (post-order, the range's own list last).
  template <class PRED> void sort(sibling_iterator begin, sibling_iterator end, PRED pred, bool deep) {
    (void)end;  // the range is always a whole list, ending at -1
    const ID first = begin.id();
    if (first == -1) return;
    if (deep) {
      for (ID s = first; s != -1; s = m_nodes[s].next_sibling) {
        ID cur = deepest_first_descendant(s);
        for (;;) {
          sort_list(cur, pred);
          if (cur == s) break;
          const ID next = m_nodes[cur].next_sibling;
          cur = next != -1 ? deepest_first_descendant(next) : m_nodes[cur].parent;
        }
      }
    }
    sort_list_from(m_nodes[first].parent, first, pred);
  }

private:
  void link_last(ID parent, ID id) {
    node_type& n = m_nodes[id];
    n.parent = parent;
    n.next_sibling = -1;
    ID& last = parent == -1 ? m_last_root : m_nodes[parent].last_child;
    if (last == -1) {
      n.prev_sibling = -1;
      (parent == -1 ? m_first_root : m_nodes[parent].first_child) = id;
    } else {
      n.prev_sibling = last;
      m_nodes[last].next_sibling = id;
    }
    last = id;
  }

  void free_node(ID id) {
    unlink(id);
    node_type& n = m_nodes[id];
    n.payload = T();
    n.prev_sibling = -2;
    n.next_sibling = m_free_head;
    ++m_free_count;
    m_free_head = id;
  }

  ID deepest_first_descendant(ID id) const {
    while (m_nodes[id].first_child != -1) id = m_nodes[id].first_child;
    return id;
  }

  // Sorts the children list of id.
  template <class PRED> void sort_list(ID id, PRED& pred) {
    if (m_nodes[id].first_child != -1) sort_list_from(id, m_nodes[id].first_child, pred);
  }

  // Sorts the list that starts at first, whose parent is parent (-1 for the
  // root list).
  template <class PRED> void sort_list_from(ID parent, ID first, PRED& pred) {
    std::size_t n = 0;
    for (ID c = first; c != -1; c = m_nodes[c].next_sibling) ++n;
    if (n <= 1) return;
    ID local[32];
    std::unique_ptr<ID[]> heap;
    ID* ids = local;
    if (n > 32) {
      heap.reset(new ID[n]);
      ids = heap.get();
    }
    std::size_t k = 0;
    for (ID c = first; c != -1; c = m_nodes[c].next_sibling) ids[k++] = c;
    if (n == 2) {
      // Exchanged unless the first is less: two equal payloads trade places.
      if (pred(m_nodes[ids[0]].payload, m_nodes[ids[1]].payload)) return;
      std::swap(ids[0], ids[1]);
    } else {
      std::sort(ids, ids + n, DETAIL::COMPARE_FOREST_NODES_WRAPPED_PRED<FOREST, PRED&>{this, pred});
    }
    (parent == -1 ? m_first_root : m_nodes[parent].first_child) = ids[0];
    (parent == -1 ? m_last_root : m_nodes[parent].last_child) = ids[n - 1];
    for (std::size_t i = 0; i < n; ++i) {
      m_nodes[ids[i]].prev_sibling = i == 0 ? -1 : ids[i - 1];
      m_nodes[ids[i]].next_sibling = i + 1 == n ? -1 : ids[i + 1];
    }
  }

public:
  std::vector<node_type> m_nodes;
  ID m_first_root = -1;
  ID m_last_root = -1;
  ID m_free_head = -1;
  int m_free_count = 0;
};

static_assert(sizeof(FOREST<int, int>) == sizeof(std::vector<FOREST_NODE_DATA<int, int>>) + 16);

namespace DETAIL {

// Copies the children of f (with their subtrees) as new last children of t;
// new ids are taken in pre-order of the copied subtrees.
template <class ID, class T, class PRED>
void recursively_copy_children(const FOREST<ID, T>& from, ID f, FOREST<ID, T>& to, ID t, PRED pred) {
  struct FRAME {
    ID from_child;  // next child of the source to copy
    ID to_parent;   // node that receives the copies
  };
  std::vector<FRAME> stack;
  stack.push_back({from.first_child(f), t});
  while (!stack.empty()) {
    const FRAME top = stack.back();
    if (top.from_child == -1) {
      stack.pop_back();
      continue;
    }
    stack.back().from_child = from.next_sibling(top.from_child);
    if (!pred(from.payload(top.from_child))) continue;
    const ID n = to.create_node(T());
    to.payload(n) = from.payload(top.from_child);
    to.append_child(top.to_parent, n);
    stack.push_back({from.first_child(top.from_child), n});
  }
}

// Merges the list under from_parent into the list under to_parent (-1 for the
// root lists); both lists sorted by pred. Matched nodes merge their children,
// the others are copied in at their sorted place.
template <class ID, class T, class PRED>
void merge_lists(const FOREST<ID, T>& from, ID from_parent, FOREST<ID, T>& to, ID to_parent, PRED& pred) {
  struct FRAME {
    ID f;          // current node of the source list
    ID t;          // current node of the target list
    ID to_parent;  // parent of the target list
  };
  auto first_of = [](const FOREST<ID, T>& forest, ID parent) {
    return parent == -1 ? forest.first_root() : forest.first_child(parent);
  };
  auto copy_new = [&](ID f) {
    const ID n = to.create_node(T());
    to.payload(n) = from.payload(f);
    recursively_copy_children(from, f, to, n, TRUE_FN());
    return n;
  };
  std::vector<FRAME> stack;
  stack.push_back({first_of(from, from_parent), first_of(to, to_parent), to_parent});
  while (!stack.empty()) {
    const FRAME fr = stack.back();
    if (fr.f == -1) {
      stack.pop_back();
      continue;
    }
    if (fr.t == -1) {
      const ID n = copy_new(fr.f);
      if (fr.to_parent == -1)
        to.append_root(n);
      else
        to.append_child(fr.to_parent, n);
      stack.back().f = from.next_sibling(fr.f);
      continue;
    }
    const T& pf = from.payload(fr.f);
    const T& pt = to.payload(fr.t);
    const bool t_less = pred(pt, pf);
    const bool f_less = pred(pf, pt);
    if (!t_less && !f_less) {
      stack.back().f = from.next_sibling(fr.f);
      stack.back().t = to.next_sibling(fr.t);
      stack.push_back({from.first_child(fr.f), to.first_child(fr.t), fr.t});
    } else if (t_less) {
      stack.back().t = to.next_sibling(fr.t);
    } else {
      const ID n = copy_new(fr.f);
      to.insert_before(fr.t, n);
      stack.back().f = from.next_sibling(fr.f);
    }
  }
}

// Merges the children of node f of `from` into the children of node t of `to`.
template <class ID, class T, class PRED>
void recursively_merge_trees(const FOREST<ID, T>& from, ID f, FOREST<ID, T>& to, ID t, PRED pred) {
  merge_lists(from, f, to, t, pred);
}

// Children lists of i (in a) and j (in b) hold equal payloads in the same
// order, recursively.
template <class ID, class T>
bool children_are_equal(const FOREST<ID, T>& a, ID i, const FOREST<ID, T>& b, ID j) {
  std::vector<std::pair<ID, ID>> stack;
  stack.push_back({i == -1 ? a.first_root() : a.first_child(i), j == -1 ? b.first_root() : b.first_child(j)});
  while (!stack.empty()) {
    auto [x, y] = stack.back();
    stack.pop_back();
    while (x != -1 && y != -1) {
      if (!(a.payload(x) == b.payload(y))) return false;
      stack.push_back({a.first_child(x), b.first_child(y)});
      x = a.next_sibling(x);
      y = b.next_sibling(y);
    }
    if (x != -1 || y != -1) return false;
  }
  return true;
}

}  // namespace DETAIL

// Merges `from` into `to`; both forests' lists must be sorted by pred.
template <class ID, class T, class PRED> void merge_forests(FOREST<ID, T>& to, const FOREST<ID, T>& from, PRED pred) {
  if (!(&to != &from))
    MSG_INTERNAL_ERROR::report("&to_forest != &from_forest", "VELMO", "juk_forest_detail_sys", 2625);
  if (from.first_root() == -1) return;
  if (to.first_root() == -1) {
    to = from;
    return;
  }
  DETAIL::merge_lists(from, ID(-1), to, ID(-1), pred);
}

// Structural equality of the tree at a_id in a and the tree at b_id in b.
template <class ID, class T> bool trees_are_equal(const FOREST<ID, T>& a, ID a_id, const FOREST<ID, T>& b, ID b_id) {
  if (!(a.payload(a_id) == b.payload(b_id))) return false;
  return DETAIL::children_are_equal(a, a_id, b, b_id);
}

// Same payloads in the same root and children lists; ids, erased slots and
// the free list play no part.
template <class ID, class T> bool operator==(const FOREST<ID, T>& a, const FOREST<ID, T>& b) {
  if (a.first_root() == -1 || b.first_root() == -1) return a.first_root() == -1 && b.first_root() == -1;
  return DETAIL::children_are_equal(a, ID(-1), b, ID(-1));
}

}  // namespace JUK
