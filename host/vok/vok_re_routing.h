#pragma once
// The routing of a design state: a forest of routing nodes with side tables.
//
// Every node's forest payload indexes a payload record {value, flags, pair
// offset}. The value says what the node is:
//   wire      the routing-element gid (element index | 0x80000000, so < -1);
//   virtual   -1;
//   terminal  an index (>= 0) into the terminal table, whose entries name an
//             atom port and its side (namespace 9 source, 8 sink).
// Pipeline-register (ZOTA) nodes come in pairs and are marked in a bit
// vector: the marked node in the driving tree (the register's D side) and a
// marked root (its Q side) under which the route continues. The pair of node
// i is i + the record's pair offset or, when that offset is -32768, the
// overflow map's entry for i.
//
// The navigation, iterators, construction, copy and destruction are the
// component's (vok_re_routing_sys.h); building, editing, the terminal maps
// and the stream dump are the host's.
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "common/host_api.h"
#include "juk_forest_detail_sys.h"
#include "vok/vok_re_logical_port.h"
#include "zmp_bool_vector.h"
#include "zmp_dense_hash.h"
#include "zmp_filter_bidir_iter.h"
#include "zmp_hash_lite_sys.h"
#include "zmp_tiny_vector.h"

class VOK_ATOM_NETLIST;
class VOK_ATOM_NODE;
class VOK_ATOM_ITERM;
class VOK_ATOM_OTERM;

// A node's payload: the index of its payload record.
struct VOK_RE_ROUTING_PAYLOAD {
  std::int32_t record = 0;
  friend bool operator==(const VOK_RE_ROUTING_PAYLOAD&, const VOK_RE_ROUTING_PAYLOAD&) = default;
  friend auto operator<=>(const VOK_RE_ROUTING_PAYLOAD&, const VOK_RE_ROUTING_PAYLOAD&) = default;
};
static_assert(sizeof(VOK_RE_ROUTING_PAYLOAD) == 4);

struct VOK_RE_ROUTING_RECORD {
  std::int32_t value;
  std::uint16_t flags;
  std::int16_t pair_offset;  // -32768: the pair is in the overflow map
};
static_assert(sizeof(VOK_RE_ROUTING_RECORD) == 8 && offsetof(VOK_RE_ROUTING_RECORD, value) == 0 &&
              offsetof(VOK_RE_ROUTING_RECORD, flags) == 4 && offsetof(VOK_RE_ROUTING_RECORD, pair_offset) == 6);

// A terminal-table entry: the atom port and its side (9 source, 8 sink).
struct VOK_RE_TERMINAL {
  VOK_ATOM_LOGICAL_PORT port;
  std::int32_t name_space;
};

// Selects the view in which pipeline-register nodes are hidden.
struct VOK_RE_ROUTING_ZOTA_SKIP {};

class HOST_API VOK_RE_ROUTING {
public:
  using FOREST = JUK::FOREST<int, VOK_RE_ROUTING_PAYLOAD>;
  static constexpr std::int16_t OVERFLOW_PAIR_OFFSET = -32768;
  static constexpr std::int32_t VIRTUAL_VALUE = -1;
  static constexpr std::uint32_t WIRE_BIT = 0x80000000u;

  // Accepts ids that are not pipeline-register nodes.
  struct ZOTA_SKIP_FILTER {
    const VOK_RE_ROUTING* routing = nullptr;
    bool operator()(int id) const { return !routing->is_zota_node(id); }
  };
  using node_id_iterator =
      ZMP_FILTER_BIDIR_ITER<ZOTA_SKIP_FILTER, FOREST::id_iterator_wrapper<FOREST::const_node_iterator>>;
  using sibling_id_iterator =
      ZMP_FILTER_BIDIR_ITER<ZOTA_SKIP_FILTER, FOREST::id_iterator_wrapper<FOREST::const_sibling_iterator>>;

  // The leaves met walking from a leaf towards an end node (-1 for the whole
  // forest), in pre-order, through the skip view; -1 once exhausted.
  class leaf_id_iterator {
  public:
    leaf_id_iterator(const VOK_RE_ROUTING* routing, int current, int end)
        : m_routing(routing), m_current(current), m_end(end) {}
    int operator*() const { return m_current; }
    inline leaf_id_iterator& operator++();
    bool at_end() const { return m_current == -1; }
    friend bool operator==(const leaf_id_iterator& a, const leaf_id_iterator& b) {
      return a.m_current == b.m_current;
    }

  private:
    const VOK_RE_ROUTING* m_routing;
    int m_current;
    int m_end;
  };

  // The nodes of a subtree in post-order through the skip view, its top
  // last; -1 once exhausted.
  class post_order_id_iterator {
  public:
    post_order_id_iterator(const VOK_RE_ROUTING* routing, int current, int top)
        : m_routing(routing), m_current(current), m_top(top) {}
    int operator*() const { return m_current; }
    inline post_order_id_iterator& operator++();
    bool at_end() const { return m_current == -1; }
    friend bool operator==(const post_order_id_iterator& a, const post_order_id_iterator& b) {
      return a.m_current == b.m_current;
    }

  private:
    const VOK_RE_ROUTING* m_routing;
    int m_current;
    int m_top;
  };

  // ---- component: construction, copy, destruction (the mutex is never
  // copied).
  inline VOK_RE_ROUTING();
  inline VOK_RE_ROUTING(const VOK_RE_ROUTING& other);
  inline ~VOK_RE_ROUTING();
  inline VOK_RE_ROUTING& operator=(const VOK_RE_ROUTING& other);

  // ---- component: navigation through the skip view. A marked node whose
  // pair offset sends the lookup to the overflow map, and whose id is not
  // there, throws std::out_of_range("Key not found").
  inline bool is_zota_node(int id) const;
  inline int get_corresponding_zota_id(int id) const;
  inline int get_first_child(int id, VOK_RE_ROUTING_ZOTA_SKIP) const;
  inline int get_parent(int id, VOK_RE_ROUTING_ZOTA_SKIP) const;
  inline int get_next_sibling(int id, VOK_RE_ROUTING_ZOTA_SKIP) const;
  inline int get_num_children(int id, VOK_RE_ROUTING_ZOTA_SKIP) const;
  inline node_id_iterator begin_node_ids(VOK_RE_ROUTING_ZOTA_SKIP) const;
  inline node_id_iterator end_node_ids(VOK_RE_ROUTING_ZOTA_SKIP) const;
  template <class SKIP> inline std::pair<sibling_id_iterator, sibling_id_iterator> root_ids() const;
  // The first leaf below id through the skip view (id itself for a leaf).
  inline int get_first_leaf(int id, VOK_RE_ROUTING_ZOTA_SKIP) const;
  // Post-order walk of the subtree of top, starting at its first leaf.
  inline post_order_id_iterator begin_post_order_ids(int top, VOK_RE_ROUTING_ZOTA_SKIP) const;
  // Writes the host's dump (skip view) to the named file, truncating it.
  template <class SKIP> inline void debug_dump(const std::string& file_name) const;

  // ---- component: terminal lookups. Both need the attached atom netlist
  // (internal error "m_atom_netlist"). The sink nodes of an input term: none
  // when it has none, when its first node is a pipeline-register node or
  // when that node is not a terminal of `port`. The source node of an output
  // term, -1 on the same conditions.
  inline ZMP_TINY_VECTOR<int> get_iterm_mappings(const VOK_ATOM_ITERM* iterm, const VOK_ATOM_LOGICAL_PORT& port,
                                                 VOK_RE_ROUTING_ZOTA_SKIP) const;
  inline int get_oterm_mapping(const VOK_ATOM_OTERM* oterm, const VOK_ATOM_LOGICAL_PORT& port,
                               VOK_RE_ROUTING_ZOTA_SKIP) const;

  // ---- host: data.
  const FOREST& forest() const { return m_forest; }
  FOREST& forest() { return m_forest; }
  // The record value of a node (see the class comment).
  std::int32_t get_value(int id) const { return m_records[static_cast<std::size_t>(m_forest.payload(id).record)].value; }
  const VOK_RE_ROUTING_RECORD& get_record(int id) const {
    return m_records[static_cast<std::size_t>(m_forest.payload(id).record)];
  }
  static bool is_wire_value(std::int32_t value) { return value <= -2; }
  bool is_wire(int id) const { return is_wire_value(get_value(id)); }
  bool is_terminal(int id) const { return get_value(id) >= 0; }
  // The routing-element gid (bit 31 set) of a wire node.
  unsigned get_gid(int id) const { return static_cast<unsigned>(get_value(id)); }
  const VOK_RE_TERMINAL& get_terminal(int index) const { return m_terminals.at(static_cast<std::size_t>(index)); }
  int get_num_terminals() const { return static_cast<int>(m_terminals.size()); }
  // The terminal entry of a terminal node.
  const VOK_RE_TERMINAL& get_node_terminal(int id) const { return get_terminal(get_value(id)); }
  int get_change_counter() const { return m_change_counter; }
  void bump_change_counter() { ++m_change_counter; }
  int get_live_node_count() const { return m_live_count; }
  bool is_live(int id) const { return id >= 0 && id < m_forest.num_slots() && !m_forest.is_erased(id); }
  const ZMP_BOOL_VECTOR& get_zota_bits() const { return m_zota_bits; }
  const ZMP::DENSE_HASH<int, int>& get_zota_overflow() const { return m_zota_overflow; }
  std::vector<int>& hard_constraint_ids() { return m_hard_constraint_ids; }
  const std::vector<int>& hard_constraint_ids() const { return m_hard_constraint_ids; }
  JUK::FOREST<int, int>& network(int i) { return m_networks[i]; }
  std::mutex& mutex() { return m_mutex; }

  // ---- host: building. Values as in the class comment; a wire value must
  // have bit 31 set.
  int new_root(std::int32_t value);
  int append_child_value(int parent, std::int32_t value);
  // A wire child of parent for the routing element of that index (given
  // without bit 31; a set bit 31 is ignored).
  int append_child(int parent, unsigned element_index);
  // Inserts a new node between node and its parent (node becomes its only
  // child); the new node takes node's place in its sibling list.
  int insert_as_parent(int node, std::int32_t value);
  // A new source root for the output term, or a sink under parent for the
  // input term; the terminal maps take the node at once.
  int new_source(const VOK_ATOM_OTERM* oterm);
  int append_sink(int parent, const VOK_ATOM_ITERM* iterm);
  // A terminal-table index for the port on that side (existing entries are
  // reused).
  int add_terminal(const VOK_ATOM_LOGICAL_PORT& port, int name_space);
  // Marks d (with a parent) and q (a root) as a pipeline-register pair. With
  // `overflow`, or when the distance does not fit the record's offset, both
  // pair links go through the overflow map.
  void set_zota_pair(int d, int q, bool overflow = false);
  // Tests: forgets a node's overflow-map entry, leaving a broken pair.
  void drop_zota_overflow_entry(int id);
  // Removes the node and its whole subtree at once (through the skip view:
  // the routes continuing under the pair roots of marked nodes go with it).
  // A pair root erased without its other side leaves that side unmarked.
  // The terminal maps lose the removed nodes.
  void erase(int id);
  // Empties the routing (tables, bits, maps; the netlist stays attached).
  void clear();

  // ---- host: terminal maps, built from the terminal nodes of an atom
  // netlist: terms of its own atoms, and in mode 1 also of the atoms inside
  // its black boxes.
  void attach_atom_netlist(VOK_ATOM_NETLIST* netlist, int mode);
  VOK_ATOM_NETLIST* get_atom_netlist() const { return m_atom_netlist; }
  // Rebuilds the maps for the attached netlist.
  void rebuild_terminal_maps();
  // algorithm: terminal records of atom `from` name atom `to` instead (an
  // atom re-created under a new id); the maps are rebuilt when a netlist is
  // attached.
  void rebind_atom_terminals(std::uint32_t from, std::uint32_t to);
  // The source node of an output term, -1 for none.
  int get_source_node(const VOK_ATOM_OTERM* oterm) const;
  // The sink nodes of an input term (empty for none).
  std::vector<int> get_sink_nodes(const VOK_ATOM_ITERM* iterm) const;

  // ---- host: one indented pre-order line per node of the skip view.
  void debug_dump(std::ostream& out, VOK_RE_ROUTING_ZOTA_SKIP skip) const;

  // ---- host: partition routing. Adds another routing's trees: a tree whose
  // source (terminal port, or value of a non-terminal root) matches a root
  // here is joined to it, node by node down the matching children (same
  // value; pipeline-register pairs followed to their Q side); what does not
  // match is copied with new ids.
  void merge_partition(const VOK_RE_ROUTING& other);
  // The nodes below `id` for partition walks: its raw children, then, for
  // the D side of a pipeline-register pair, the pair's Q root.
  std::vector<int> get_walk_children(int id) const;
  // Whether a node is the Q side (a marked root) of a pipeline-register pair.
  bool is_zota_q_root(int id) const { return is_zota_node(id) && m_forest.parent(id) == -1; }

  // ---- host: element index, kept current by every node creation and
  // erasure. The wire node holding a routing element (index without bit 31),
  // -1 for none; when several do (a pipeline slot's D leaf and Q root), the
  // first made. get_element_nodes lists them all.
  int get_element_node(unsigned element_index) const {
    const int* n = m_gid_map.lookup(element_index & ~WIRE_BIT);
    return n ? *n : -1;
  }
  std::vector<int> get_element_nodes(unsigned element_index) const;
  // The root of a node's stored tree (raw parents; a pair's Q root is a root).
  int get_raw_root(int id) const {
    for (int p = m_forest.parent(id); p != -1; p = m_forest.parent(id)) id = p;
    return id;
  }

  // ---- host: drops the pipeline-register pair of a marked node: both sides
  // stay as ordinary nodes (so that erasing the D side leaves the Q side and
  // its routes). Nothing for an unmarked node.
  void unpair_zota(int id);

private:
  friend class VOK_RE_ROUTING_MODIFIER;
  int new_record(std::int32_t value);
  bool forget_node(int id);
  void map_terminal_node(int id);
  void unmap_terminal_node(int id);
  void index_element(int id);
  void unindex_element(int id);

  // 1-2. nodes and their payload records
  FOREST m_forest;
  std::vector<VOK_RE_ROUTING_RECORD> m_records;
  // 3. terminal table
  std::vector<VOK_RE_TERMINAL> m_terminals;
  // 4.
  std::int32_t m_change_counter;
  // 5. terminal maps
  ZMP_HASH_LITE<const VOK_ATOM_OTERM*, int> m_oterm_map;
  ZMP_HASH_LITE<const VOK_ATOM_ITERM*, ZMP_TINY_VECTOR<int>> m_iterm_map;
  // 6. hard-constraint node ids
  std::vector<int> m_hard_constraint_ids;
  // 7. networks
  JUK::FOREST<int, int> m_networks[3];
  // 8. attached traversal mode
  std::int32_t m_traverse_mode;
  // 9.
  std::mutex m_mutex;
  // 10. live node count, attachment generation
  std::int32_t m_live_count;
  std::int32_t m_attach_generation;
  // 11-12. pipeline-register marks and overflow pairs
  ZMP_BOOL_VECTOR m_zota_bits;
  ZMP::DENSE_HASH<int, int> m_zota_overflow;
  // 13. spare ints, a tiny vector, the gid -> node map; the attached netlist
  std::int32_t m_spare0;
  std::int32_t m_spare1;
  ZMP_TINY_VECTOR<int> m_spare_ids;
  ZMP_HASH_LITE<unsigned, int> m_gid_map;
  VOK_ATOM_NETLIST* m_atom_netlist;
  // terminal-table index by port
  ZMP_HASH_LITE<VOK_ATOM_LOGICAL_PORT, int, VOK_ATOM_LOGICAL_PORT_OPS> m_terminal_index;
  // further wire nodes of elements that m_gid_map already names
  std::multimap<unsigned, int> m_gid_more;
};

// The host's editor of a routing. Inserts apply at once; deletions wait for
// the modifier's destruction, which applies them children first and then
// rebuilds the terminal maps. Every call is recorded with the tag.
class HOST_API VOK_RE_ROUTING_MODIFIER {
public:
  VOK_RE_ROUTING_MODIFIER(VOK_RE_ROUTING& routing, const std::string& tag, bool flag1, bool flag2);
  ~VOK_RE_ROUTING_MODIFIER();
  VOK_RE_ROUTING_MODIFIER(const VOK_RE_ROUTING_MODIFIER&) = delete;
  VOK_RE_ROUTING_MODIFIER& operator=(const VOK_RE_ROUTING_MODIFIER&) = delete;

  // component: moves node (with its subtree) to the end of new_parent's
  // children unless its skip-view parent already is new_parent.
  inline void move_tree_under(int new_parent, int node);

  // The source node of the output term, reusing an existing one; `created`
  // (may be null) tells whether a node was made.
  int insert_source(const VOK_ATOM_OTERM* oterm, bool* created);
  int insert_sink(int parent, const VOK_ATOM_ITERM* iterm);
  int insert_virtual_source();
  int insert_virtual_sink(int parent);
  // A wire node between node and its former parent; the gid is given
  // without bit 31.
  int insert_wire_as_parent(int node, unsigned masked_gid);
  // Deferred: removes node once it has no child left (removals requested
  // before counted); any other node stays.
  void erase_leaf(int node);
  // Deferred: the node's subtree; the whole net of an output term.
  void erase(int id);
  void erase(const VOK_ATOM_OTERM* oterm);
  // Deferred: the atom's routing: the nets of its output terms, and for each
  // sink node of its input terms the sink with the wires above it that serve
  // nothing else (the source root stays).
  void erase(const VOK_ATOM_NODE* atom);
  // recorded: the input term's connection is to continue from the routing
  // register on the output term's net (the re-route starts it there).
  void merge_at_routing_register(const VOK_ATOM_ITERM* iterm, const VOK_ATOM_OTERM* oterm);

  bool wire_changed() const { return m_wire_changed; }
  bool other_changed() const { return m_other_changed; }

  // ---- shell routing of blackboxed partitions: erasures act at once, the
  // terminal maps following each one, so that a later lookup or climb sees
  // what is left. Other callers keep the release's deferred erasures.
  void set_erase_at_once(bool on) { m_erase_at_once = on; }
  bool erases_at_once() const { return m_erase_at_once; }
  // component: erases the node with its subtree now (first change flag, the
  // routing's change counter, VOK_RE_ROUTING::erase).
  inline void erase_node_now(int id);
  const std::string& tag() const { return m_tag; }
  VOK_RE_ROUTING& routing() { return m_routing; }

private:
  VOK_RE_ROUTING& m_routing;
  bool m_wire_changed = false;   // first change flag
  bool m_other_changed = false;  // second change flag
  std::string m_tag;
  bool m_flag1;
  bool m_flag2;
  struct PENDING {
    int kind;  // 0 erase_leaf, 1 erase subtree
    int id;
  };
  std::vector<PENDING> m_pending;
  bool m_erase_at_once = false;
};

namespace host::vok {
// data: how often a routing's terminal maps were read whole (an attach or a
// rebuild walks every node of the forest) since the world was made.
HOST_API int terminal_map_reads();
}  // namespace host::vok

#include "vok_re_routing_sys.h"
