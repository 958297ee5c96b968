#pragma once
// Terminals of the stand-in atom netlist: input terms (VOK_ATOM_ITERM) and
// output terms (VOK_ATOM_OTERM), the traversal and port-type enumerations, and
// the slot vectors in which an atom keeps its terms.
//
// One term model answers every "connected" question:
//   connected        the connected flag;
//   used and driven  state bit 6 and a source;
//   fed              connected and a source;
//   tied             connected without a source (tie_low chooses 0 or 1).
// An output term's fanout is an intrusive singly linked list through the input
// terms it drives, in connection order.
//
// Hierarchy: a black box's input term and the output term of the matching
// input port atom inside its child netlist are each other's hierarchical
// equivalents; so are a black box's output term and the input term of the
// matching output port atom inside the child.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/host_api.h"

class VOK_ATOM_NODE;
class VOK_ATOM_NETLIST;
class VOK_ATOM_ITERM;
class VOK_ATOM_OTERM;
template <bool RO> class VOK_ATOM_FANOUT_ITERATOR;
template <bool RO> class VOK_ATOM_FANOUT_RANGE;

// Traversal mode of atom and fanout walks: 0 walks the netlist as stored, 1
// walks it hierarchically through black-box child netlists. Mode 2 is walked
// as mode 0 everywhere.
enum VOK_TRAVERSE : std::int32_t {
  VOK_TRAVERSE_AS_STORED = 0,
  VOK_TRAVERSE_HIERARCHICAL = 1,
  VOK_TRAVERSE_PARTITION = 2,
};

// Input port types (any value is a valid port type; the named ones are those
// the stand-in's atom kinds use).
enum DB_INPUT_PORT_TYPE : std::int32_t {
  DB_INPUT_PORT_BOX = 1,        // black-box and port-atom data input, by index
  DB_INPUT_PORT_CARRY_IN = 2,   // arithmetic cell carry-in
  DB_INPUT_PORT_ACLR = 6,       // register asynchronous clear
  DB_INPUT_PORT_CLK = 7,        // register / MAC / LUT-RAM clock
  DB_INPUT_PORT_ENA = 8,        // register clock enable
  DB_INPUT_PORT_LUT_DATA = 12,  // LUT input i is 12 + i
  DB_INPUT_PORT_DATA_IN = 20,   // register data input
  DB_INPUT_PORT_SCLR = 30,      // register synchronous clear
  DB_INPUT_PORT_LUTRAM_ADDR = 35,
  DB_INPUT_PORT_LUTRAM_WE = 41,
  DB_INPUT_PORT_LUTRAM_DATA_A = 83,
  // MAC (DSP) inputs: scan-chain input, data operands, chain input and the
  // two coefficient-select inputs.
  DB_MAC_SCANIN = 244,
  DB_MAC_DATA_AX = 408,
  DB_MAC_DATA_AY = 409,
  DB_MAC_DATA_BX = 410,
  DB_DATA_BY = 411,
  DB_MAC_DATA_CX = 412,
  DB_MAC_DATA_CY = 413,
  DB_MAC_DATA_DX = 414,
  DB_MAC_DATA_DY = 415,
  DB_MAC_CHAININ = 543,
  DB_MAC_DATA_AZ = 3043,
  DB_MAC_COEFSELA = 3045,
  DB_MAC_COEFSELB = 3048,
  DB_MAC_DATA_BZ = 3364,
  DB_INPUT_PORT_PLL_REFCLK = 3388,
  DB_INPUT_PORT_PLL_FBCLK = 3389,
};

// Output port types.
enum DB_OUTPUT_PORT_TYPE : std::int32_t {
  DB_OUTPUT_PORT_CARRY_OUT = 0,  // arithmetic cell carry-out
  DB_OUTPUT_PORT_DATA = 1,       // ports, pads, buffers, RAM/MAC/PLL outputs, by index
  DB_OUTPUT_PORT_SUM = 8,        // arithmetic cell result
  DB_OUTPUT_PORT_COMB = 9,       // combinational cell result
  DB_MAC_SCANOUT = 223,          // MAC scan-chain output
  DB_MAC_CHAINOUT = 800,         // MAC chain output
  DB_OUTPUT_PORT_REG = 10,       // register output
  DB_OUTPUT_PORT_CLK_GATE = 4541,
  // A pad's I/O term: never connected; per-pin options name it.
  DB_OUTPUT_PORT_PAD_IO = 116,
};

// algorithm: connects sink to source (first disconnecting sink from any old
// source); sets the connected flag and the used bit. Both terms must belong to
// the same netlist (the ground term of the sink's netlist is allowed); a
// connection across netlists is an internal error.
HOST_API void vok_connect(VOK_ATOM_OTERM* source, VOK_ATOM_ITERM* sink);
// For an input term on a hierarchy boundary, the output term that carries its
// signal on the other side; null for an ordinary input term.
HOST_API VOK_ATOM_OTERM* vok_hier_get_equivalent_oterm(const VOK_ATOM_ITERM* iterm);
// For an output term on a hierarchy boundary (an input port atom's output),
// the input term that carries its signal on the other side; null otherwise.
HOST_API VOK_ATOM_ITERM* vok_hier_get_equivalent_iterm(const VOK_ATOM_OTERM* oterm);
// Makes iterm and oterm each other's hierarchical equivalents (a black-box
// terminal and the output/input term of the matching port atom inside).
HOST_API void vok_link_hier_equivalents(VOK_ATOM_ITERM* iterm, VOK_ATOM_OTERM* oterm);
// algorithm: cuts a term's hierarchy link on both sides (nothing when unlinked).
HOST_API void vok_unlink_hier_equivalent(VOK_ATOM_ITERM* iterm);
HOST_API void vok_unlink_hier_equivalent(VOK_ATOM_OTERM* oterm);
HOST_API bool vok_is_connected(const VOK_ATOM_ITERM* iterm);
// An output term is connected when its walk in the given mode yields a fanout.
HOST_API bool vok_is_connected(const VOK_ATOM_OTERM* oterm, VOK_TRAVERSE mode);
// data: whether the atom's input port of that usage reads as inverted when
// nothing drives it (false unless host::vok::set_port_default_inverted).
HOST_API bool vok_port_default_is_inverted(const VOK_ATOM_NODE* atom, int usage);
namespace host::vok {
HOST_API void set_port_default_inverted(int atom_id, int usage);
}  // namespace host::vok

// How an input is left when it loses its source.
class HOST_API VOK_NET_ITERM {
public:
  enum CONNECT_STATE : std::int32_t {
    OPEN = 1,    // unconnected and unused
    GROUND = 2,  // tied to 0
  };
};

// Slot vector of terms. Slots may be null. While short the slots live inline
// (word 0 has bit 0 set and the count in bits 1..7); otherwise word 0 points to
// a heap array. size() and at(i) are what the valid-term iterators use.
template <class T> class VOK_TERM_SLOTS {
public:
  static constexpr std::size_t INLINE_CAPACITY = 4;

  VOK_TERM_SLOTS() : m_word(1) {
    for (auto& s : m_inline) s = nullptr;
  }
  ~VOK_TERM_SLOTS() {
    if (!is_inline()) delete m_heap;
  }
  VOK_TERM_SLOTS(const VOK_TERM_SLOTS&) = delete;
  VOK_TERM_SLOTS& operator=(const VOK_TERM_SLOTS&) = delete;

  bool is_inline() const { return (m_word & 1u) != 0; }
  std::size_t size() const { return is_inline() ? (m_word >> 1) & 0x7Fu : m_heap->slots.size(); }
  T* at(std::size_t i) const { return is_inline() ? m_inline[i] : m_heap->slots[i]; }

  // Stores t in slot i, growing the vector (with null slots) as needed.
  void set(std::size_t i, T* t) {
    if (i >= size()) resize(i + 1);
    if (is_inline())
      m_inline[i] = t;
    else
      m_heap->slots[i] = t;
  }
  void push_back(T* t) { set(size(), t); }

private:
  struct HEAP {
    std::vector<T*> slots;
  };
  void resize(std::size_t n) {
    if (is_inline() && n <= INLINE_CAPACITY) {
      m_word = 1u | (static_cast<std::uintptr_t>(n) << 1);
      return;
    }
    if (is_inline()) {
      auto* heap = new HEAP;
      const std::size_t old = size();
      heap->slots.assign(m_inline, m_inline + old);
      for (auto& s : m_inline) s = nullptr;
      m_heap = heap;
    }
    m_heap->slots.resize(n, nullptr);
  }

  union {
    std::uintptr_t m_word;
    HEAP* m_heap;
  };
  T* m_inline[INLINE_CAPACITY];
};
static_assert(sizeof(VOK_TERM_SLOTS<int>) == (1 + VOK_TERM_SLOTS<int>::INLINE_CAPACITY) * sizeof(void*),
              "slot vector: one tag word and the inline slots");

class HOST_API VOK_ATOM_ITERM : public VOK_NET_ITERM {
public:
  // State byte: bits 0-4 the connection code, bit 5 inversion, bit 6 used.
  static constexpr std::uint8_t STATE_CODE_MASK = 0x1F;
  static constexpr std::uint8_t STATE_INVERTED = 0x20;
  static constexpr std::uint8_t STATE_USED = 0x40;

  VOK_ATOM_ITERM(VOK_ATOM_NODE* atom, DB_INPUT_PORT_TYPE type, int index);
  ~VOK_ATOM_ITERM();
  VOK_ATOM_ITERM(const VOK_ATOM_ITERM&) = delete;
  VOK_ATOM_ITERM& operator=(const VOK_ATOM_ITERM&) = delete;

  // data
  VOK_ATOM_NODE* get_my_node() const { return m_atom; }
  DB_INPUT_PORT_TYPE get_port_type() const { return m_port_type; }
  int get_index() const { return m_index; }
  // The logical role of the input; defaults to the port type.
  int get_any_usage_as() const { return m_usage; }
  bool is_used_as(int usage) const { return m_usage == usage; }
  void set_usage(int usage) { m_usage = usage; }
  // data: the I/O delay chain (kind, e.g. 8 the pad-to-core chains) the
  // input is connected through, and which chain of that kind (0 or 1).
  bool is_connected_to_delay_chain(int kind) const { return m_delay_chain_kind == kind; }
  int get_delay_chain_index(int kind) const { return m_delay_chain_kind == kind ? m_delay_chain_index : -1; }
  void set_delay_chain_connection(int kind, int index) {
    m_delay_chain_kind = kind;
    m_delay_chain_index = index;
  }

  std::uint8_t get_state() const { return m_state; }
  void set_state(std::uint8_t state) { m_state = state; }
  int get_connection_code() const { return m_state & STATE_CODE_MASK; }
  void set_connection_code(int code) {
    m_state = static_cast<std::uint8_t>((m_state & ~STATE_CODE_MASK) | (code & STATE_CODE_MASK));
  }
  // Codes 0, 1, 3 and 4 are ordinary; every other code is a global one
  // (2 generic, 5 GCLK, 6 RCLK, 11 PCLK).
  bool is_global() const {
    const int c = get_connection_code();
    return !(c == 0 || c == 1 || c == 3 || c == 4);
  }
  bool is_inverted() const { return (m_state & STATE_INVERTED) != 0; }
  void set_inverted(bool on) { set_state_bit(STATE_INVERTED, on); }
  bool is_used() const { return (m_state & STATE_USED) != 0; }
  void set_used(bool on) { set_state_bit(STATE_USED, on); }

  bool is_connected() const { return m_connected; }
  bool is_tie_low() const { return m_tie_low; }
  // Connected without a source: tied to 0 (tie_low) or 1.
  bool is_vcc_or_gnd() const { return m_connected && m_source == nullptr; }
  // Used and driven.
  bool is_used_and_driven() const { return is_used() && m_source != nullptr; }

  // algorithm: mode 0 (and 2) the stored source; mode 1 crosses black-box
  // boundaries both ways until it reaches an ordinary output term or null.
  VOK_ATOM_OTERM* get_source(VOK_TRAVERSE mode) const;
  // data: the next input term of the source's stored fanout list (null after
  // the last); the hierarchical order is the fanout iterator's business.
  VOK_ATOM_ITERM* get_next_fanout(VOK_TRAVERSE mode) const;

  // The output term on the other side of a hierarchy boundary (null for an
  // ordinary input term).
  VOK_ATOM_OTERM* get_hier_equiv() const { return m_hier_equiv; }

  // algorithm: leaves the input without its source, OPEN (unconnected,
  // unused) or GROUND (tied to 0). Keeps the source's fanout list consistent.
  void disconnect_from_source(CONNECT_STATE state);
  // data: the port's name as written in the design: the port type's
  // symbol name, "[index]" appended for index > 0 (vok_re_logical_port.cpp).
  std::string get_wysiwyg_port_name() const;
  // algorithm: disconnects from any source and ties the input to 0 (low) or 1.
  void tie(bool low);

private:
  friend class VOK_ATOM_OTERM;
  friend class VOK_ATOM_NODE;
  friend class VOK_ATOM_BLACKBOX;
  friend class VOK_ATOM_NETLIST;
  friend void vok_connect(VOK_ATOM_OTERM* source, VOK_ATOM_ITERM* sink);
  friend void vok_link_hier_equivalents(VOK_ATOM_ITERM*, VOK_ATOM_OTERM*);
  friend void vok_unlink_hier_equivalent(VOK_ATOM_ITERM*);
  friend void vok_unlink_hier_equivalent(VOK_ATOM_OTERM*);
  void set_state_bit(std::uint8_t bit, bool on) {
    m_state = static_cast<std::uint8_t>(on ? (m_state | bit) : (m_state & ~bit));
  }
  void unlink_from_source();
  // Drops every link without touching the linked terms (netlist teardown).
  void forget_links() {
    m_source = nullptr;
    m_next_fanout = m_prev_fanout = nullptr;
  }

  VOK_ATOM_NODE* m_atom;
  DB_INPUT_PORT_TYPE m_port_type;
  int m_index;
  int m_usage;
  int m_delay_chain_kind = -1;
  int m_delay_chain_index = -1;
  std::uint8_t m_state = 0;
  bool m_connected = false;
  bool m_tie_low = false;
  VOK_ATOM_OTERM* m_source = nullptr;
  VOK_ATOM_ITERM* m_next_fanout = nullptr;
  VOK_ATOM_ITERM* m_prev_fanout = nullptr;  // O(1) unlink from long fanout lists
  VOK_ATOM_OTERM* m_hier_equiv = nullptr;
};

class HOST_API VOK_ATOM_OTERM {
public:
  // atom may be null: the netlist's ground term belongs to no atom.
  VOK_ATOM_OTERM(VOK_ATOM_NODE* atom, DB_OUTPUT_PORT_TYPE type, int index);
  ~VOK_ATOM_OTERM();
  VOK_ATOM_OTERM(const VOK_ATOM_OTERM&) = delete;
  VOK_ATOM_OTERM& operator=(const VOK_ATOM_OTERM&) = delete;

  // data
  VOK_ATOM_NODE* get_my_node() const { return m_atom; }
  DB_OUTPUT_PORT_TYPE get_port_type() const { return m_port_type; }
  int get_index() const { return m_index; }
  int get_any_usage_as() const { return m_usage; }
  bool is_used_as(int usage) const { return m_usage == usage; }
  void set_usage(int usage) { m_usage = usage; }
  // The atom's path for its primary output (slot 0), "path~PORT" otherwise.
  std::string get_name() const;
  // data: as the input term's (vok_re_logical_port.cpp).
  std::string get_wysiwyg_port_name() const;

  // data: the stored fanout list (mode-independent; the hierarchical walk is
  // the fanout iterator's).
  VOK_ATOM_ITERM* get_first_fanout(VOK_TRAVERSE mode) const;
  // The end of the stored fanout list.
  VOK_ATOM_ITERM* end_raw_iterm_fanout() const { return nullptr; }

  // The input term on the other side of a hierarchy boundary, or null.
  VOK_ATOM_ITERM* get_hier_equiv() const { return m_hier_equiv; }

  // The component's fanout walks (see the fanout iterator).
  inline VOK_ATOM_FANOUT_RANGE<false> fanout(VOK_TRAVERSE mode);
  inline VOK_ATOM_FANOUT_RANGE<true> cfanout(VOK_TRAVERSE mode) const;

  // algorithm: counts along the fanout walk of the given mode, stopping early.
  bool has_fanout_exactly(int n, VOK_TRAVERSE mode) const;
  bool has_fanout_less_than(int n, VOK_TRAVERSE mode) const;
  // Number of input terms of the hierarchical (mode 1) walk.
  int count_flatten_fanouts() const;
  // The only fanout of the walk; anything else is an internal error.
  VOK_ATOM_ITERM* get_only_fanout_or_die(VOK_TRAVERSE mode = VOK_TRAVERSE_AS_STORED) const;

  // Disconnects every input term this term drives, leaving each OPEN.
  void disconnect_all_fanouts();
  // algorithm: the number of distinct atoms the fanout walk reaches.
  int get_number_of_fanout_nodes(VOK_TRAVERSE mode) const;

private:
  friend class VOK_ATOM_ITERM;
  friend class VOK_ATOM_NODE;
  friend class VOK_ATOM_BLACKBOX;
  friend class VOK_ATOM_NETLIST;
  friend void vok_connect(VOK_ATOM_OTERM* source, VOK_ATOM_ITERM* sink);
  friend void vok_link_hier_equivalents(VOK_ATOM_ITERM*, VOK_ATOM_OTERM*);
  friend void vok_unlink_hier_equivalent(VOK_ATOM_ITERM*);
  friend void vok_unlink_hier_equivalent(VOK_ATOM_OTERM*);
  int count_fanouts_up_to(int limit, VOK_TRAVERSE mode) const;
  void forget_links() { m_first_fanout = m_last_fanout = nullptr; }

  VOK_ATOM_NODE* m_atom;
  DB_OUTPUT_PORT_TYPE m_port_type;
  int m_index;
  int m_usage;
  VOK_ATOM_ITERM* m_first_fanout = nullptr;
  VOK_ATOM_ITERM* m_last_fanout = nullptr;  // O(1) append in connection order
  VOK_ATOM_ITERM* m_hier_equiv = nullptr;
};

#include "vok_atom_oterm_sys.h"
