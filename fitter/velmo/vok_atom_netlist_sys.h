#pragma once
// Walks over the atom netlist: the atoms of a netlist, as stored (mode 0, and
// mode 2 likewise) or hierarchically (mode 1), where each black box with a
// non-empty child netlist is replaced in place by the walk of its child
// (recursively), black boxes without content are yielded as atoms, and port
// atoms (basic type 284) are left out below the top level; the occupied input
// and output term slots of one atom; and the defaults of the atom predicates.
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <type_traits>
#include <vector>

#include "msg/msg_internal_error.h"
#include "vok/vok_atom_netlist.h"
#include "vok_atom_oterm_sys.h"

template <bool RO> class VOK_ATOM_ITERATOR {
public:
  using NETLIST = std::conditional_t<RO, const VOK_ATOM_NETLIST, VOK_ATOM_NETLIST>;
  using NODE = std::conditional_t<RO, const VOK_ATOM_NODE, VOK_ATOM_NODE>;
  using BLACKBOX = std::conditional_t<RO, const VOK_ATOM_BLACKBOX, VOK_ATOM_BLACKBOX>;
  using LIST_ITERATOR = std::conditional_t<RO, VOK_ATOM_NETLIST::ATOM_LIST::const_iterator,
                                           VOK_ATOM_NETLIST::ATOM_LIST::iterator>;

  using iterator_category = std::forward_iterator_tag;
  using value_type = NODE*;
  using difference_type = std::ptrdiff_t;
  using pointer = NODE**;
  using reference = NODE*;

  // A position in a netlist's atom list.
  struct RANGE {
    LIST_ITERATOR it;
    NETLIST* netlist;
  };

  // At the first atom the mode yields (or at the end, when `at_end`). With
  // `use_ro_list`, netlists that are not modifiable are walked through their
  // second (read-only) list.
  VOK_ATOM_ITERATOR(NETLIST* netlist, VOK_TRAVERSE mode, bool at_end, bool use_ro_list = false)
      : m_current{LIST_ITERATOR(), netlist}, m_mode(mode), m_use_ro_list(use_ro_list) {
    m_current.it = at_end ? get_atom_iterator_end(netlist) : chosen_list(netlist).begin();
    if (!at_end) validate();
  }

  NODE* operator*() const { return *m_current.it; }
  VOK_ATOM_ITERATOR& operator++() {
    ++m_current.it;
    validate();
    return *this;
  }
  VOK_ATOM_ITERATOR operator++(int) {
    VOK_ATOM_ITERATOR old = *this;
    ++*this;
    return old;
  }
  bool operator==(const VOK_ATOM_ITERATOR& o) const {
    return m_current.netlist == o.m_current.netlist && m_stack.size() == o.m_stack.size() &&
           m_current.it == o.m_current.it;
  }
  bool operator!=(const VOK_ATOM_ITERATOR& o) const { return !(*this == o); }

  // Moves forward to the next atom the mode yields. Nothing to do as stored.
  void validate() {
    if (m_mode != VOK_TRAVERSE_HIERARCHICAL) return;
    descend();
    for (;;) {
      if (m_current.it == get_atom_iterator_end(m_current.netlist)) {
        if (m_stack.empty()) return;  // the end of the walk
        return_from_child();
        step_over();  // the black box whose contents were just walked
        continue;
      }
      NODE* atom = current_atom();
      if (atom->is_box()) {
        NETLIST* child = child_of(atom);
        if (child == nullptr || chosen_list(child).empty()) return;  // a box without content
        step_over();
        continue;
      }
      if (atom->get_basic_type() == 284 && !m_stack.empty()) {  // port atoms inside a child
        step_over();
        continue;
      }
      return;
    }
  }

  // The netlist of the current position and the nesting depth.
  NETLIST* current_netlist() const { return m_current.netlist; }
  std::size_t depth() const { return m_stack.size(); }

private:
  auto& chosen_list(NETLIST* netlist) const {
    return (m_use_ro_list && !netlist->is_modifiable()) ? netlist->m_atoms_ro : netlist->m_atoms;
  }
  LIST_ITERATOR get_atom_iterator_end(NETLIST* netlist) const { return chosen_list(netlist).end(); }

  NODE* current_atom() const {
    NODE* atom = *m_current.it;
    if (atom == nullptr) MSG_INTERNAL_ERROR::report("atom", "VELMO", "vok_atom_netlist_sys", 765);
    return atom;
  }

  static NETLIST* child_of(NODE* box) { return static_cast<BLACKBOX*>(box)->get_child_netlist(); }

  // While the position holds a black box with a non-empty child, go inside.
  void descend() {
    while (m_current.it != get_atom_iterator_end(m_current.netlist)) {
      NODE* atom = current_atom();
      if (!atom->is_box()) return;
      NETLIST* child = child_of(atom);
      if (child == nullptr || chosen_list(child).empty()) return;
      m_stack.push_back(m_current);
      m_current = RANGE{chosen_list(child).begin(), child};
    }
  }

  // From the end of a child's list back to the black box in its parent.
  void return_from_child() {
    if (m_current.it != get_atom_iterator_end(m_current.netlist))
      MSG_INTERNAL_ERROR::report("m_current.it == get_atom_iterator_end(m_current.netlist)", "VELMO",
                                 "vok_atom_netlist_sys", 805);
    if (m_stack.empty()) MSG_INTERNAL_ERROR::report("!m_stack.empty()", "VELMO", "vok_atom_netlist_sys", 806);
    m_current = m_stack.back();
    m_stack.pop_back();
    if (m_current.it == get_atom_iterator_end(m_current.netlist))
      MSG_INTERNAL_ERROR::report("m_current.it != get_atom_iterator_end(m_current.netlist)", "VELMO",
                                 "vok_atom_netlist_sys", 809);
  }

  // Past the current atom, descending into what follows.
  void step_over() {
    ++m_current.it;
    descend();
  }

  RANGE m_current;
  std::vector<RANGE> m_stack;
  VOK_TRAVERSE m_mode;
  bool m_use_ro_list;
};

// The atoms of a netlist in one traversal mode, for range-for.
template <bool RO> class VOK_ATOM_RANGE {
public:
  using iterator = VOK_ATOM_ITERATOR<RO>;
  VOK_ATOM_RANGE(typename iterator::NETLIST* netlist, VOK_TRAVERSE mode) : m_netlist(netlist), m_mode(mode) {}
  iterator begin() const { return iterator(m_netlist, m_mode, false); }
  iterator end() const { return iterator(m_netlist, m_mode, true); }

private:
  typename iterator::NETLIST* m_netlist;
  VOK_TRAVERSE m_mode;
};

inline VOK_ATOM_RANGE<false> VOK_ATOM_NETLIST::nodes(VOK_TRAVERSE mode) { return VOK_ATOM_RANGE<false>(this, mode); }

inline VOK_ATOM_RANGE<true> VOK_ATOM_NETLIST::nodes(VOK_TRAVERSE mode) const {
  return VOK_ATOM_RANGE<true>(this, mode);
}

// The occupied input-term slots of an atom: an index that, stepped, skips null
// slots and stops at the first occupied one or at the slot count.
class VOK_ATOM_VALID_ITERM_ITER {
public:
  using iterator_category = std::forward_iterator_tag;
  using value_type = VOK_ATOM_ITERM*;
  using difference_type = std::ptrdiff_t;
  using pointer = VOK_ATOM_ITERM**;
  using reference = VOK_ATOM_ITERM*;

  VOK_ATOM_VALID_ITERM_ITER(const VOK_ATOM_NODE* atom, std::uint64_t index) : m_atom(atom), m_index(index) {}
  // At the first occupied slot.
  static VOK_ATOM_VALID_ITERM_ITER first(const VOK_ATOM_NODE* atom) {
    VOK_ATOM_VALID_ITERM_ITER it(atom, 0);
    it.skip_null_slots();
    return it;
  }
  VOK_ATOM_VALID_ITERM_ITER& operator++() {
    ++m_index;
    skip_null_slots();
    return *this;
  }
  VOK_ATOM_ITERM* operator*() const { return m_atom->get_iterm_slots().at(m_index); }
  bool operator==(const VOK_ATOM_VALID_ITERM_ITER& o) const { return m_atom == o.m_atom && m_index == o.m_index; }
  bool operator!=(const VOK_ATOM_VALID_ITERM_ITER& o) const { return !(*this == o); }
  std::uint64_t index() const { return m_index; }

private:
  void skip_null_slots() {
    const auto& slots = m_atom->get_iterm_slots();
    const std::uint64_t n = slots.size();
    while (m_index < n && slots.at(m_index) == nullptr) ++m_index;
  }
  const VOK_ATOM_NODE* m_atom;
  std::uint64_t m_index;
};

// The occupied output-term slots of an atom.
class VOK_ATOM_VALID_OTERM_ITER {
public:
  using iterator_category = std::forward_iterator_tag;
  using value_type = VOK_ATOM_OTERM*;
  using difference_type = std::ptrdiff_t;
  using pointer = VOK_ATOM_OTERM**;
  using reference = VOK_ATOM_OTERM*;

  VOK_ATOM_VALID_OTERM_ITER(const VOK_ATOM_NODE* atom, std::uint64_t index) : m_atom(atom), m_index(index) {}
  static VOK_ATOM_VALID_OTERM_ITER first(const VOK_ATOM_NODE* atom) {
    VOK_ATOM_VALID_OTERM_ITER it(atom, 0);
    it.skip_null_slots();
    return it;
  }
  VOK_ATOM_VALID_OTERM_ITER& operator++() {
    ++m_index;
    skip_null_slots();
    return *this;
  }
  VOK_ATOM_OTERM* operator*() const { return m_atom->get_oterm_slots().at(m_index); }
  bool operator==(const VOK_ATOM_VALID_OTERM_ITER& o) const { return m_atom == o.m_atom && m_index == o.m_index; }
  bool operator!=(const VOK_ATOM_VALID_OTERM_ITER& o) const { return !(*this == o); }
  std::uint64_t index() const { return m_index; }

private:
  void skip_null_slots() {
    const auto& slots = m_atom->get_oterm_slots();
    const std::uint64_t n = slots.size();
    while (m_index < n && slots.at(m_index) == nullptr) ++m_index;
  }
  const VOK_ATOM_NODE* m_atom;
  std::uint64_t m_index;
};

class VOK_ATOM_VALID_ITERM_RANGE {
public:
  explicit VOK_ATOM_VALID_ITERM_RANGE(const VOK_ATOM_NODE* atom) : m_atom(atom) {}
  VOK_ATOM_VALID_ITERM_ITER begin() const { return VOK_ATOM_VALID_ITERM_ITER::first(m_atom); }
  VOK_ATOM_VALID_ITERM_ITER end() const { return VOK_ATOM_VALID_ITERM_ITER(m_atom, m_atom->get_iterm_slots().size()); }

private:
  const VOK_ATOM_NODE* m_atom;
};

class VOK_ATOM_VALID_OTERM_RANGE {
public:
  explicit VOK_ATOM_VALID_OTERM_RANGE(const VOK_ATOM_NODE* atom) : m_atom(atom) {}
  VOK_ATOM_VALID_OTERM_ITER begin() const { return VOK_ATOM_VALID_OTERM_ITER::first(m_atom); }
  VOK_ATOM_VALID_OTERM_ITER end() const { return VOK_ATOM_VALID_OTERM_ITER(m_atom, m_atom->get_oterm_slots().size()); }

private:
  const VOK_ATOM_NODE* m_atom;
};

inline VOK_ATOM_VALID_ITERM_RANGE VOK_ATOM_NODE::iterms() const { return VOK_ATOM_VALID_ITERM_RANGE(this); }
inline VOK_ATOM_VALID_ITERM_RANGE VOK_ATOM_NODE::citerms() const { return VOK_ATOM_VALID_ITERM_RANGE(this); }
inline VOK_ATOM_VALID_OTERM_RANGE VOK_ATOM_NODE::oterms() const { return VOK_ATOM_VALID_OTERM_RANGE(this); }
inline VOK_ATOM_VALID_OTERM_RANGE VOK_ATOM_NODE::coterms() const { return VOK_ATOM_VALID_OTERM_RANGE(this); }

// Predicate defaults: false for an atom whose class does not override them.
inline bool VOK_ATOM_NODE::is_ff() const { return false; }
inline bool VOK_ATOM_NODE::is_lcell_comb() const { return false; }
inline bool VOK_ATOM_NODE::is_mac() const { return false; }
inline bool VOK_ATOM_NODE::is_ram() const { return false; }
inline bool VOK_ATOM_NODE::is_lutram() const { return false; }
inline bool VOK_ATOM_NODE::is_clk_burst() const { return false; }
inline bool VOK_ATOM_NODE::is_clk_divider() const { return false; }
inline bool VOK_ATOM_NODE::is_clk_gate() const { return false; }
inline bool VOK_ATOM_NODE::is_io_ibuf() const { return false; }
inline bool VOK_ATOM_NODE::is_io_pad() const { return false; }
inline bool VOK_ATOM_NODE::is_bidir() const { return false; }
inline bool VOK_ATOM_NODE::is_port() const { return false; }
inline bool VOK_ATOM_NODE::is_ufind4h_uib() const { return false; }
inline bool VOK_ATOM_NODE::is_ufi_esram() const { return false; }
inline bool VOK_ATOM_NODE::is_ufi_uib() const { return false; }
inline bool VOK_ATOM_NODE::is_uibssm() const { return false; }
inline bool VOK_ATOM_NODE::is_uib_io_phy() const { return false; }
inline bool VOK_ATOM_NODE::is_uib_rdrc() const { return false; }
inline bool VOK_ATOM_NODE::is_uib_wdrc() const { return false; }
inline bool VOK_ATOM_NODE::is_logic_module() const { return false; }
inline bool VOK_ATOM_NODE::is_prblock() const { return false; }
inline bool VOK_ATOM_NODE::is_tile_ctrl() const { return false; }
inline bool VOK_ATOM_NODE::is_jtag_ela() const { return false; }
