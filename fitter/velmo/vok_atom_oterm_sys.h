#pragma once
// Fanout walks of an output term. Mode 0 (and 2) yields the stored fanout list
// in connection order. Mode 1 yields the ordinary input terms the signal
// reaches: each input term on a hierarchy boundary is replaced, in place, by
// the walk of the fanouts of its equivalent output term on the other side,
// recursively. The iterator holds positions only; the stack grows with the
// nesting depth of the boundaries crossed.
#include <cstddef>
#include <iterator>
#include <type_traits>
#include <vector>

#include "msg/msg_internal_error.h"
#include "vok/vok_atom_term.h"

template <bool RO> class VOK_ATOM_FANOUT_ITERATOR {
public:
  using ITERM = std::conditional_t<RO, const VOK_ATOM_ITERM, VOK_ATOM_ITERM>;
  using OTERM = std::conditional_t<RO, const VOK_ATOM_OTERM, VOK_ATOM_OTERM>;

  using iterator_category = std::forward_iterator_tag;
  using value_type = ITERM*;
  using difference_type = std::ptrdiff_t;
  using pointer = ITERM**;
  using reference = ITERM*;

  // A position: the input term (null at the end of a fanout list) and the
  // output term whose fanout list it is in.
  struct POSITION {
    ITERM* it;
    OTERM* oterm;
  };

  // The end of every walk.
  VOK_ATOM_FANOUT_ITERATOR() : m_current{nullptr, nullptr}, m_mode(VOK_TRAVERSE_AS_STORED) {}

  // Positions on the first fanout of oterm that the mode yields.
  VOK_ATOM_FANOUT_ITERATOR(OTERM* oterm, VOK_TRAVERSE mode)
      : m_current{oterm ? oterm->get_first_fanout(VOK_TRAVERSE_AS_STORED) : nullptr, oterm}, m_mode(mode) {
    cross_boundaries();
    settle();
  }

  // Steps to the next fanout the mode yields.
  void incr() {
    m_current.it = m_current.it->get_next_fanout(VOK_TRAVERSE_AS_STORED);
    cross_boundaries();
    settle();
  }

  ITERM* operator*() const { return m_current.it; }
  VOK_ATOM_FANOUT_ITERATOR& operator++() {
    incr();
    return *this;
  }
  VOK_ATOM_FANOUT_ITERATOR operator++(int) {
    VOK_ATOM_FANOUT_ITERATOR old = *this;
    incr();
    return old;
  }
  bool operator==(const VOK_ATOM_FANOUT_ITERATOR& o) const {
    return m_current.it == o.m_current.it && m_stack.size() == o.m_stack.size();
  }
  bool operator!=(const VOK_ATOM_FANOUT_ITERATOR& o) const { return !(*this == o); }

  // The output term whose stored fanout list holds the current position.
  OTERM* current_oterm() const { return m_current.oterm; }
  std::size_t depth() const { return m_stack.size(); }

private:
  bool hierarchical() const { return m_mode == VOK_TRAVERSE_HIERARCHICAL; }

  // At the end of an inner fanout list, return to the boundary term that led
  // there; on a boundary term whose other side has fanouts, go inside.
  void cross_boundaries() {
    if (!hierarchical()) return;
    if (m_current.it == nullptr) {
      if (m_stack.empty()) return;
      m_current = m_stack.back();
      m_stack.pop_back();
      if (m_current.it == m_current.oterm->end_raw_iterm_fanout())
        MSG_INTERNAL_ERROR::report("m_current.it != m_current.oterm->end_raw_iterm_fanout()", "VELMO",
                                   "vok_atom_oterm_sys", 879);
      return;
    }
    for (;;) {
      OTERM* equivalent = vok_hier_get_equivalent_oterm(m_current.it);
      if (equivalent == nullptr || equivalent->get_first_fanout(VOK_TRAVERSE_AS_STORED) == nullptr) return;
      m_stack.push_back(m_current);
      m_current = POSITION{equivalent->get_first_fanout(VOK_TRAVERSE_AS_STORED), equivalent};
      if (m_current.it == m_current.oterm->end_raw_iterm_fanout())
        MSG_INTERNAL_ERROR::report("m_current.it != m_current.oterm->end_raw_iterm_fanout()", "VELMO",
                                   "vok_atom_oterm_sys", 868);
    }
  }

  // Steps over boundary terms (whose other side was walked or has no fanout)
  // until an ordinary term or the end.
  void settle() {
    while (m_current.it != nullptr && hierarchical() && vok_hier_get_equivalent_oterm(m_current.it) != nullptr) {
      m_current.it = m_current.it->get_next_fanout(VOK_TRAVERSE_AS_STORED);
      cross_boundaries();
    }
  }

  POSITION m_current;
  std::vector<POSITION> m_stack;
  VOK_TRAVERSE m_mode;
};

// The fanout walk of one output term, for range-for.
template <bool RO> class VOK_ATOM_FANOUT_RANGE {
public:
  using iterator = VOK_ATOM_FANOUT_ITERATOR<RO>;
  VOK_ATOM_FANOUT_RANGE(typename iterator::OTERM* oterm, VOK_TRAVERSE mode) : m_oterm(oterm), m_mode(mode) {}
  iterator begin() const { return iterator(m_oterm, m_mode); }
  iterator end() const { return iterator(); }
  bool empty() const { return begin() == end(); }

private:
  typename iterator::OTERM* m_oterm;
  VOK_TRAVERSE m_mode;
};

inline VOK_ATOM_FANOUT_RANGE<false> VOK_ATOM_OTERM::fanout(VOK_TRAVERSE mode) {
  return VOK_ATOM_FANOUT_RANGE<false>(this, mode);
}

inline VOK_ATOM_FANOUT_RANGE<true> VOK_ATOM_OTERM::cfanout(VOK_TRAVERSE mode) const {
  return VOK_ATOM_FANOUT_RANGE<true>(this, mode);
}
