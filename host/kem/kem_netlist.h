#pragma once
// The timing netlist built from the atom netlist, placement and routing.
//
// Nodes: one input pin (type 0) per driven input term of a cell, one output
// pin (type 1) per output term, one device pin (type 2) per design port or
// pad, and one keeper per sequential atom (register, LUT-RAM, RAM, clocked
// DSP block). A cell's nodes are its input pins, output pins and keeper, in
// that order; device pins belong to no cell.
//
// Edges live in chunks of 256 records found by id. Each record is linked
// into its source's fan-out list and its destination's fan-in list. Kinds:
//   0 interconnect: output pin or input device pin -> input pin or output
//     device pin;
//   1 data into a keeper (D, clock enable, synchronous clear);
//   2 cell arcs: LUT input -> output, keeper -> output, clock pin -> keeper.
// A keeper's fan-in list holds its kind-1 edges first, then its clock edges.
// An interconnect edge's delay is the sum of the hop delays of the routing
// elements on the sink's routed path (the design's routing, from the sink's
// node up to its tree's root) plus the load of the dangling stubs hanging at
// the nodes of that path (host::kem::dangling_load_ps); an unrouted one is
// estimated (XAB_DEM).
// Delays scale with the corner (KEM_TIMING_MODEL::get_delay_scale).
// Iterators ask for kind 3 to mean "any kind".
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "common/host_api.h"
#include "kem/kem_timing_model.h"
#include "vok/vok_atom_netlist.h"

class KEM_NETLIST;

// Nodes an edit touched: those whose fan-in changed (their arrival times may
// move, and everything after them) and those whose fan-out changed (their
// required times may move, and everything before them).
struct KEM_DIRTY {
  std::vector<int> arrival;
  std::vector<int> required;
};

enum KEM_NODE_TYPE : std::int32_t {
  KEM_NODE_INPUT_PIN = 0,
  KEM_NODE_OUTPUT_PIN = 1,
  KEM_NODE_DEVICE_PIN = 2,
  KEM_NODE_KEEPER = 3,
};

inline constexpr unsigned KEM_NODE_FLAG_CLOCK_PIN = 0x4000;
inline constexpr unsigned KEM_NODE_FLAG_REGISTER_KEEPER = 0x8000;
inline constexpr unsigned KEM_NODE_FLAG_RAM_KEEPER = 0x10000;  // RAM, LUT-RAM or clocked DSP block
inline constexpr unsigned KEM_NODE_FLAG_DONT_TOUCH = 1u << 29;
// Together: a walk stops here.
inline constexpr unsigned KEM_NODE_FLAGS_STOP = 0x1c000;
// A pin node of an I/O register buried in its I/O cell.
inline constexpr unsigned KEM_NODE_FLAG_BURIED_IO_REGISTER = 0x20000;

enum KEM_EDGE_KIND : std::int32_t {
  KEM_EDGE_INTERCONNECT = 0,
  KEM_EDGE_KEEPER_DATA = 1,
  KEM_EDGE_CELL = 2,
  KEM_EDGE_ANY = 3,
};

// "No requirement": the slack store's sentinel.
inline constexpr std::int32_t KEM_NO_SLACK = static_cast<std::int32_t>(0x80000001u);
// "No slack" of the quick analysis's edge slack.
inline constexpr std::int32_t KEM_QUICK_NO_SLACK = 0x7FFFFFFF;

// An atom terminal by identity (survives copies of the timing netlist).
struct KEM_TERM_REF {
  int atom_id = -1;
  int port_type = -1;
  int index = -1;
  bool operator==(const KEM_TERM_REF&) const = default;
};

class HOST_API KEM_NODE {
public:
  int get_id() const { return m_id; }
  KEM_NODE_TYPE get_type() const { return m_type; }
  bool is_sta_type(KEM_NODE_TYPE type) const { return m_type == type; }
  unsigned get_flags() const { return m_flags; }
  bool has_any_flag(unsigned mask) const { return (m_flags & mask) != 0; }
  bool is_buried_io_register() const { return (m_flags & KEM_NODE_FLAG_BURIED_IO_REGISTER) != 0; }
  // The terminals the node stands for (null when none).
  VOK_ATOM_ITERM* get_iterm() const { return m_iterm; }
  VOK_ATOM_OTERM* get_oterm() const { return m_oterm; }
  // The node's atom (a keeper's atom, a pin's or a device pin's atom).
  VOK_ATOM_NODE* get_atom() const { return m_atom; }
  int get_atom_id() const { return m_atom_id; }
  // The same terminals by identity.
  const KEM_TERM_REF& get_iterm_ref() const { return m_iterm_ref; }
  const KEM_TERM_REF& get_oterm_ref() const { return m_oterm_ref; }
  // -1 for a device pin.
  int get_cell_id() const { return m_cell; }
  // First edge ids of the lists; -1 when empty. A keeper's clock edges are
  // its fan-in edges from clock pins.
  int begin_fanin() const { return m_first_fanin; }
  int begin_fanout() const { return m_first_fanout; }
  int begin_clock_edges() const;
  KEM_NETLIST* get_netlist() const { return m_netlist; }
  // "<atom path>|<pin>" for pins, "<atom path>|keeper" for keepers.
  std::string get_string_name() const;
  // The pulse of a pipeline register (a pulse latch): on its clock pin, kinds
  // 3 and 4 answer the pulse width of its level at the corner, in ps; 0 for
  // any other node or kind.
  int get_micro_delay(int kind, const KEM_CORNER* corner) const;
  // The pulse-width level the cell was built with (pipeline-register keepers
  // and clock pins), -1 when the node is no pulse latch's.
  int get_pulse_level() const { return m_pulse_level; }

private:
  friend class KEM_NETLIST;
  int m_id = -1;
  KEM_NODE_TYPE m_type = KEM_NODE_INPUT_PIN;
  unsigned m_flags = 0;
  int m_cell = -1;
  int m_atom_id = -1;
  KEM_TERM_REF m_iterm_ref;
  KEM_TERM_REF m_oterm_ref;
  VOK_ATOM_NODE* m_atom = nullptr;
  VOK_ATOM_ITERM* m_iterm = nullptr;
  VOK_ATOM_OTERM* m_oterm = nullptr;
  int m_first_fanin = -1, m_last_fanin = -1;
  int m_first_fanout = -1, m_last_fanout = -1;
  // Slow-corner setup and hold times of a keeper, in ps.
  int m_setup_ps = 0;
  int m_hold_ps = 0;
  int m_pulse_level = -1;
  KEM_NETLIST* m_netlist = nullptr;
};

namespace host::kem {
// The pulse width of a level at the slow corner: 30, 60 and 120 ps for levels
// 0, 1 and 2 (a level above 2 counts as 2, below 0 as 0).
HOST_API int pulse_width_ps(int level);
// Whether an atom is a pulse latch: a register in a pipeline (routing) slot.
HOST_API bool is_pulse_latch(const VOK_ATOM_NODE* atom);
}  // namespace host::kem

class HOST_API KEM_EDGE {
public:
  // The leading key: the edge id, -1 in a free record.
  int get_id() const { return m_key; }
  bool is_live() const { return m_live != 0; }
  bool is_excluded() const { return m_excluded != 0; }
  // Two flag bits.
  unsigned get_flag_bits() const { return m_flag_bits; }
  int get_kind() const { return m_kind; }
  // Whether the edge can carry an I/O delay chain (decided when it was made;
  // see host::timing::may_carry_chain).
  bool may_carry_chain() const { return m_chain != 0; }
  // Whether the timing controller uses the edge: a live interconnect edge
  // that is not excluded from analysis.
  bool is_for_hov() const { return is_live() && !is_excluded() && get_kind() == KEM_EDGE_INTERCONNECT; }
  inline KEM_NODE* get_src_node() const;
  inline KEM_NODE* get_dst_node() const;
  // The input term an interconnect edge ends at (null for other kinds).
  VOK_ATOM_ITERM* get_iterm() const;
  // The current corner's delays in ps: 0 max rise, 1 max fall, 2 min rise,
  // 3 min fall.
  int get_delay(int which) const { return m_delays[which & 3]; }
  int get_max_delay() const { return m_delays[0]; }
  // The four current-corner delays in the order of get_delay; the setter
  // overwrites them (an annotation the next quick analysis uses).
  void get_4_delays(int d[4]) const { for (int i = 0; i < 4; ++i) d[i] = m_delays[i]; }
  void set_4_delays(const int d[4]) { for (int i = 0; i < 4; ++i) m_delays[i] = d[i]; }
  int get_min_delay() const { return m_delays[2]; }
  // The current corner's setup and hold slack (ps; KEM_NO_SLACK when none).
  int get_setup_slack() const { return m_setup_slack; }
  int get_hold_slack() const { return m_hold_slack; }
  // The slack the last quick analysis wrote (KEM_QUICK_NO_SLACK when none).
  int get_slack() const { return m_quick_slack; }
  int get_next_fanin() const { return m_next_fanin; }
  int get_next_fanout() const { return m_next_fanout; }
  // The next fan-in edge of the same kind, or -1 (the typed fan-in walk;
  // kind 3 walks every edge).
  int get_next_fanin_of_kind(int kind) const;

private:
  friend class KEM_NETLIST;
  std::int32_t m_key = -1;
  std::uint8_t m_live = 0;
  std::uint8_t m_excluded = 0;
  std::uint8_t m_flag_bits = 0;
  std::uint8_t m_kind = 0;
  int m_src = -1;
  int m_dst = -1;
  std::int32_t m_delays[4] = {0, 0, 0, 0};
  std::int32_t m_setup_slack = KEM_NO_SLACK;
  std::int32_t m_hold_slack = KEM_NO_SLACK;
  std::int32_t m_quick_slack = KEM_QUICK_NO_SLACK;
  int m_next_fanin = -1, m_prev_fanin = -1;
  int m_next_fanout = -1, m_prev_fanout = -1;
  int m_base_ps = 0;  // slow-corner delay
  std::uint8_t m_chain = 0;
  KEM_NETLIST* m_netlist = nullptr;
};

// The nodes of one atom.
class HOST_API KEM_NETLIST_CELL {
public:
  int get_atom_id() const { return m_atom_id; }
  const std::vector<int>& get_node_ids() const { return m_nodes; }
  // The keeper nodes, in cell order.
  std::vector<int> keeper_range() const;
  bool is_node_id_a_keeper(int node_id) const;

private:
  friend class KEM_NETLIST;
  int m_atom_id = -1;
  std::vector<int> m_nodes;
  const KEM_NETLIST* m_netlist = nullptr;
};

class HOST_API KEM_NETLIST {
public:
  static constexpr int CHUNK = 256;

  KEM_NETLIST();
  ~KEM_NETLIST();
  KEM_NETLIST(const KEM_NETLIST&) = delete;
  KEM_NETLIST& operator=(const KEM_NETLIST&) = delete;

  // algorithm: the timing netlist of a design (the top netlist, black boxes
  // flattened), with the given corners loaded (the first current).
  static std::unique_ptr<KEM_NETLIST> build(VOK_ATOM_NETLIST* top, const std::vector<KEM_TIMING_MODEL>& corners);
  // A copy to keep aside (a snapshot's), compact: nodes by value without
  // their pointers (terminals by identity only), edges in one array, the
  // sink map as a sorted array. algorithm: `restore` makes a netlist of it
  // whose terminals are bound by atom id to the atoms of `top` (terminals
  // whose atom is gone become null; all of them for a null `top`, the copy
  // keeping only their ids).
  struct KEPT;
  std::unique_ptr<const KEPT> keep() const;
  static std::unique_ptr<KEM_NETLIST> restore(const KEPT& kept, VOK_ATOM_NETLIST* top);

  // ---- nodes and edges
  int get_node_count() const { return static_cast<int>(m_nodes.size()); }
  // recorded + algorithm: writes the node count to the file `name` (kem_dump.cpp);
  // false when it cannot be written. The flag is recorded only.
  bool dump_to_file(const std::string& name, bool flag) const;
  // null for a free id.
  KEM_NODE* get_node(int id) const {
    return static_cast<unsigned>(id) < m_nodes.size() ? m_nodes[static_cast<std::size_t>(id)].get() : nullptr;
  }
  int get_edge_count() const { return m_edge_count; }
  // null for -1, an id past the count and a free record (every id below the
  // count has its chunk).
  KEM_EDGE* get_edge(int id) const {
    if (static_cast<unsigned>(id) >= static_cast<unsigned>(m_edge_count)) return nullptr;
    KEM_EDGE& e = record(id);
    return e.m_key < 0 ? nullptr : &e;
  }
  KEM_NODE* get_kem_node_from_oterm(const VOK_ATOM_OTERM* oterm) const;
  KEM_NODE* get_kem_node_from_iterm(const VOK_ATOM_ITERM* iterm) const;
  const KEM_NETLIST_CELL* get_cell_from_atom_id(int atom_id) const;
  // The interconnect (kind-0) edge into an input term's pin; null when the
  // term has no pin or its pin no interconnect fan-in.
  KEM_EDGE* get_ic_edge_to_iterm(const VOK_ATOM_ITERM* iterm) const;
  const KEM_NETLIST_CELL* get_cell_from_kem_node(const KEM_NODE* node) const;
  // The atom a node stands for.
  static VOK_ATOM_NODE* get_atom_from_node(const KEM_NODE* node) { return node ? node->get_atom() : nullptr; }

  // ---- corners and delays
  KEM_CORNER_MANAGER* get_corner_manager() { return &m_corners; }
  const KEM_CORNER_MANAGER* get_corner_manager() const { return &m_corners; }
  // An edge's delay in ps at a loaded corner (the slow-corner delay scaled).
  int get_edge_delay_ps(const KEM_EDGE& edge, int corner_id) const;
  // A keeper's setup and hold time in ps at a loaded corner (a pulse
  // latch's hold grows by its pulse width).
  int get_setup_ps(const KEM_NODE& keeper, int corner_id) const;
  int get_hold_ps(const KEM_NODE& keeper, int corner_id) const;
  // Writes the current corner's delays into the edge records.
  void annotate_current_corner();
  // data: the analysis's writers of an edge record's slacks (the current
  // corner's setup and hold slack; the quick analysis's slack).
  void set_edge_slacks(int id, std::int32_t setup, std::int32_t hold) const;
  void set_quick_slack(int id, std::int32_t slack) const;
  // data: an edge record's two flag bits (tests; the builder leaves them 0).
  void set_edge_flag_bits(int id, unsigned bits) const;
  // data: an edge record's excluded flag (tests; the builder leaves it 0).
  void set_edge_excluded(int id, bool excluded) const;

  // ---- updates
  // algorithm: rebuilds the cells of the given atoms (gone atoms lose theirs)
  // and the nets that touch them. Node and edge ids of everything else stay;
  // freed edge ids are reused lowest first. Records the nodes whose fan-in
  // or fan-out changed in `dirty`.
  void rebuild_atoms(VOK_ATOM_NETLIST* top, const std::set<int>& atom_ids, KEM_DIRTY* dirty);
  // algorithm: reads the routing of the nets of the output terms again
  // (their routing hops, then every sink's connection and delay) and the
  // connections into the input terms; records what changed in `dirty`.
  void rebuild_nets(const std::set<const VOK_ATOM_OTERM*>& nets, const std::set<const VOK_ATOM_ITERM*>& sinks,
                    KEM_DIRTY* dirty);
  // algorithm: what rebuild_atoms(atom_ids) does when only routing changed
  // (the atoms' cells would come back as they are, and `nets` are the nets
  // whose routing changed): the cells stay; `nets` and the nets the cells
  // drive are read again whole, and the connections into the cells. A
  // connection that keeps its source keeps its edge, with its new delay.
  void reread_connections(const std::set<int>& atom_ids, std::set<const VOK_ATOM_OTERM*> nets, KEM_DIRTY* dirty);
  // ---- known routing changes. A caller that knows every net whose routing
  // changed since the netlist last read it names them (the set may be
  // empty); the next rebuild_atoms then reads whole only those nets and the
  // nets the rebuilt cells drive, and of the other nets feeding a rebuilt
  // cell only the connections into it (their other sinks' routing, hence
  // delays and hops, stayed). The next rebuild takes the set; without one
  // every net touching a rebuilt cell is read whole.
  void set_routing_changes(std::set<const VOK_ATOM_OTERM*> nets) {
    m_build_id = 0;
    m_routing_changes = std::move(nets);
  }
  void forget_routing_changes() {
    m_build_id = 0;
    m_routing_changes.reset();
  }

  // The number of structural changes since the build (for the analysis).
  std::uint64_t get_generation() const { return m_generation; }

  // ---- as built: a netlist made by build() and not edited since (no node,
  // edge or routing hop changed, no routing changes named, no test flag set)
  // has a build id unique in the process; any other has 0. Such a netlist
  // equals what a build of the same inputs would make but for the values
  // written on it since: reset_to_as_built(corners) leaves it as
  // build(top, corners) would (corner objects as new, the first current, the
  // delays written at it, no quick slacks; the slacks the analysis wrote
  // stay, as they belong to its results). The corners must be those it was
  // built with.
  std::uint64_t get_build_id() const { return m_build_id; }
  void reset_to_as_built(const std::vector<KEM_TIMING_MODEL>& corners);
  // ---- structure as built: the build id of a netlist whose nodes, edges,
  // fan-in and fan-out lists and edge flags are still exactly those its
  // build made (values read from the routing, the interconnect delays and
  // the hops, may have been updated since); 0 after any structural edit.
  std::uint64_t get_structure_id() const { return m_structure_id; }
  // algorithm: makes a netlist whose structure is as built into what a
  // build with `corners` would make of the design now, when since that
  // build only the routing changed (the atoms, their terms, sources and
  // locations did not): every interconnect delay and every hop is read
  // again, the corners and annotations are reset as reset_to_as_built does,
  // and the netlist gets a new build id. The edges whose delay moved are
  // logged and their ends recorded in `dirty`, so that an analysis can
  // follow them. False, with nothing changed, when the structure is not as
  // built or an input's source is no longer the one its edge comes from.
  bool refresh_routing(const std::vector<KEM_TIMING_MODEL>& corners, KEM_DIRTY* dirty);

  // ---- change log (for the incremental analysis): the edges created,
  // freed or re-flagged and the nodes created or freed since the analysis
  // last took it. A freed edge keeps its ends and kind. The log overflows
  // (and is dropped) when it outgrows the netlist, and after a build or
  // copy: the analysis then starts over.
  struct CHANGE_LOG {
    struct EDGE_END { int id, src, dst, kind; };
    std::vector<int> new_edges;
    std::vector<EDGE_END> freed_edges;
    std::vector<int> new_nodes, freed_nodes;
    bool overflow = true;
    bool empty() const { return new_edges.empty() && freed_edges.empty() && new_nodes.empty() && freed_nodes.empty(); }
  };
  // data: hands the log over and starts an empty one.
  CHANGE_LOG take_change_log();
  // data: whether the log holds a change or was lost since it was taken.
  bool has_logged_changes() const { return m_log.overflow || !m_log.empty(); }

  // ---- routing hops (kem_hops.cpp). One hop per node of the design's
  // routing trees; a hop's id is its routing node's id. The element table
  // gives each hop its gid (a terminal: its atom's location gid, the root
  // naming the driver and a sink the load; a wire: its element gid; a
  // virtual node: none, 0xFFFFFFFF), an inversion indicator (2 without a
  // gid; V wires (701) invert: 1; else 0) and its parent hop (-1 at a root).
  // Per loaded corner a hop holds four cumulative delays in seconds from its
  // tree's root: max rise (the delay the interconnect edges sum), max fall,
  // min rise and min fall.
  struct RE_HOP {
    unsigned gid = 0xFFFFFFFFu;
    int inversion = 2;
    int parent = -1;
    bool live = false;
  };
  int get_num_re_hops() const { return static_cast<int>(m_hops.size()); }
  bool has_re_hop(int id) const {
    return id >= 0 && id < static_cast<int>(m_hops.size()) && m_hops[static_cast<std::size_t>(id)].live != 0;
  }
  // The element-table entry; internal error "has_re_hop(id)" when missing.
  RE_HOP get_re_hop(int id) const;
  // The four delays of a hop at a loaded corner (scaled from the hop's
  // slow-corner sums when asked); internal error "has_re_hop(id)" when
  // missing.
  void get_re_hop_delays(int id, int corner_id, float delays[4]) const;
  // The sink map: the hop of an input term's sink node (the slowest when it
  // has several), -1 when it has none.
  int get_re_hop_of_iterm(const VOK_ATOM_ITERM* iterm) const;
  // The routing-element forest: the hops of wire nodes. A node is free when
  // it is no live wire hop; a live one's payload is its element gid (bit 31
  // set), 0xFFFFFFFF for a free node.
  bool is_re_element_free(int id) const { return !has_re_hop(id) || (get_re_hop(id).gid & 0x80000000u) == 0 ||
                                                 get_re_hop(id).gid == 0xFFFFFFFFu; }
  unsigned get_re_element_gid(int id) const { return is_re_element_free(id) ? 0xFFFFFFFFu : get_re_hop(id).gid; }
  // algorithm: recomputes the hops of every routing tree.
  void build_re_hops();
  // algorithm: recomputes the hops of the trees holding the source node of
  // each output term and the sink nodes of its fanouts.
  void refresh_re_hops(const std::set<const VOK_ATOM_OTERM*>& nets);

private:
  int new_node(KEM_NODE_TYPE type, VOK_ATOM_NODE* atom, int cell);
  int new_edge(int src, int dst, int kind, int base_ps);
  void free_edge(int id);
  void free_node(int id);
  void add_cell(VOK_ATOM_NODE* atom, std::vector<int>* added);
  // Reconnects every sink node fed by one of `sources` or standing for one
  // of `sinks`; a connection coming back unchanged is not dirty.
  void reconnect_sinks(const std::set<const VOK_ATOM_OTERM*>& sources, const std::set<const VOK_ATOM_ITERM*>& sinks,
                       KEM_DIRTY* dirty);
  int cell_delay_base(const VOK_ATOM_NODE* atom, const VOK_ATOM_ITERM* in) const;
  KEM_EDGE& record(int id) const {
    return m_chunks[static_cast<std::size_t>(id / CHUNK)][static_cast<std::size_t>(id % CHUNK)];
  }
  void bind_terms(KEM_NODE& node);

  std::vector<std::unique_ptr<KEM_NODE>> m_nodes;
  std::vector<std::unique_ptr<KEM_EDGE[]>> m_chunks;
  int m_edge_count = 0;
  std::set<int> m_free_edges;
  std::vector<std::unique_ptr<KEM_NETLIST_CELL>> m_cells;
  std::map<int, int> m_cell_of_atom;
  std::map<int, int> m_device_pin_of_atom;
  std::unordered_map<const void*, int> m_node_of_term;
  KEM_CORNER_MANAGER m_corners;
  std::uint64_t m_generation = 0;
  mutable std::uint64_t m_build_id = 0;
  mutable std::uint64_t m_structure_id = 0;
  mutable CHANGE_LOG m_log;
  bool log_open() const;
  std::optional<std::set<const VOK_ATOM_OTERM*>> m_routing_changes;
  // Each atom's place in the build order (atoms added later go last).
  std::unordered_map<int, std::int64_t> m_build_pos;
  std::int64_t m_next_pos = 0;
  // routing hops
  void compute_re_hop_tree(int root);
  // The records of one tree's nodes (the records must cover the forest).
  void fill_hop_tree(int root);
  // One record per routing-forest slot (the forest reuses freed slots, so
  // the slot count follows its live nodes). A hop keeps its four cumulative
  // slow-corner sums rounded to ps; a corner's delays are scaled from them
  // when asked, so the records do not grow with the corners loaded.
  struct HOP_RECORD {
    unsigned gid = 0xFFFFFFFFu;
    int parent = -1;
    std::int32_t base_ps[4] = {0, 0, 0, 0};
    std::int8_t inversion = 2;
    std::uint8_t live = 0;
  };
  std::vector<HOP_RECORD> m_hops;
  // The number of corners loaded when every tree was last computed (a
  // change reads every tree again).
  int m_hop_corner_count = 0;
  // Sink (atom id, port type, index) to its hop: hashed, as a build fills
  // it with every sink of the design.
  struct SINK_KEY_HASH {
    std::size_t operator()(const std::tuple<int, int, int>& k) const {
      std::uint64_t v = (static_cast<std::uint64_t>(static_cast<std::uint32_t>(std::get<0>(k))) << 32) ^
                        (static_cast<std::uint64_t>(static_cast<std::uint32_t>(std::get<1>(k))) << 20) ^
                        static_cast<std::uint32_t>(std::get<2>(k));
      v = (v ^ (v >> 30)) * 0xbf58476d1ce4e5b9ull;
      v = (v ^ (v >> 27)) * 0x94d049bb133111ebull;
      return static_cast<std::size_t>(v ^ (v >> 31));
    }
  };
  std::unordered_map<std::tuple<int, int, int>, int, SINK_KEY_HASH> m_hop_of_sink;
};

struct KEM_NETLIST::KEPT {
  struct NODE {
    int id = -1;  // -1: a free id
    KEM_NODE_TYPE type = KEM_NODE_INPUT_PIN;
    unsigned flags = 0;
    int cell = -1, atom_id = -1;
    KEM_TERM_REF iterm_ref, oterm_ref;
    int first_fanin = -1, last_fanin = -1, first_fanout = -1, last_fanout = -1;
    int setup_ps = 0, hold_ps = 0, pulse_level = -1;
  };
  KEM_CORNER_MANAGER corners;
  std::vector<NODE> nodes;
  std::vector<KEM_EDGE> edges;  // edge_count records, no netlist pointer
  std::set<int> free_edges;
  std::vector<std::pair<int, std::vector<int>>> cells;  // by cell id: atom id, node ids
  std::map<int, int> cell_of_atom, device_pin_of_atom;
  std::uint64_t generation = 0;
  std::unordered_map<int, std::int64_t> build_pos;
  std::int64_t next_pos = 0;
  std::vector<HOP_RECORD> hops;
  int hop_corner_count = 0;
  std::vector<std::pair<std::tuple<int, int, int>, int>> hop_of_sink;  // sorted by key
};

KEM_NODE* KEM_EDGE::get_src_node() const { return m_netlist->get_node(m_src); }
KEM_NODE* KEM_EDGE::get_dst_node() const { return m_netlist->get_node(m_dst); }

namespace host::kem {
// The atoms a timing netlist covers, in build order: the atoms of `top` and,
// in place of each black box, those of its child (the child's port atoms
// stand for the box's terminals and are left out).
HOST_API std::vector<VOK_ATOM_NODE*> timing_atoms(VOK_ATOM_NETLIST* top);
}  // namespace host::kem

// The atom a node stands for (null for none).
HOST_API VOK_ATOM_NODE* kem_get_atom_from_node(const KEM_NODE* node);
// The same, asked of the node's timing netlist (null for a node of another).
HOST_API VOK_ATOM_NODE* kem_get_atom_from_node(const KEM_NETLIST* netlist, const KEM_NODE* node);
class VOK_RE_ROUTING;
namespace host::kem {
// algorithm: the slow-corner load in ps the dangling stubs hanging at a
// routing node put on every path through it: half the hop delay of each
// child that is a wire without children (pipeline-register nodes excluded).
HOST_API double dangling_load_ps(const VOK_RE_ROUTING* routing, int node);
}  // namespace host::kem
namespace host::kem {
// data: a fixed delay of the connection into an input term (see
// WEXAN_HOV_UTILITY::annotate_delays_of_connection); get_edge_delay_ps
// answers the maximum for the edges into it, at every corner.
HOST_API void annotate_iterm_delay(const VOK_ATOM_ITERM* iterm, int max_ps, int min_ps);
// Drops the annotations of atoms that moved since (placed, unplaced or
// moved to another site), that left the design netlist `top`, or whose term
// is gone: an annotated delay holds for the connection as it was placed. A
// whole build of the timing netlist calls this first.
HOST_API void drop_moved_iterm_delay_annotations(const VOK_ATOM_NETLIST* top);
}  // namespace host::kem
