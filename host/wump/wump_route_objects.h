#pragma once
// data: the device routing graph of the stand-in.
//
// Elements are numbered 0..N-1 (the element id); an element's global id (gid)
// is its id with bit 31 set. The graph is generated once from the DeviceSpec
// and never changes afterwards, so concurrent reads are safe.
//
// Flat tables:
//  - element table: records {kind, sub-location, index, length, flags} shared
//    by every element with the same values; each element names its record;
//  - fanout table: an element with fanouts owns the range starting at its
//    fanout range start (-1: none): slot 0 = count without purely redundant
//    edges, slot 1 = count of all edges, from slot 2 on each fanout's id
//    relative to the element's own id. Ordinary edges come first, purely
//    redundant edges after them. The fanin table has the same layout (slot 0
//    and slot 1 both hold the fanin count).
// Element-offset representations (built when a mode 1 or 2 is activated):
// each element stores its tile's first element id as base id and its
// fanouts as offsets from it; the hierarchical form stores fanouts that leave
// the tile as ids at or past a boundary id (the element count), which
// push_boundary_node_up_hierarchy maps back to the real element.
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/host_api.h"
#include "dev/dev_element_enum.h"
#include "wump/wump_forward_iterator.h"
#include "wump/wump_route_info_singleton_manager.h"

class WUMP_ROUTE_INFO;
class WUMP_ROUTE_GRAPH;

inline constexpr unsigned WUMP_GID_BIT = 0x80000000u;
inline constexpr unsigned WUMP_ILLEGAL_GID = 0xFFFFFFFFu;

// Flags of an element record.
inline constexpr unsigned WUMP_RECORD_PIPELINE_SLOT = 0x01;  // holds a pipeline-register slot
inline constexpr unsigned WUMP_RECORD_INPUT = 0x02;          // LAB/block input (vs output)
// Bits 4..5: wire direction (0 east, 1 west, 2 north, 3 south).
inline constexpr unsigned WUMP_RECORD_DIRECTION_SHIFT = 4;

// Flags of an edge.
inline constexpr std::uint8_t WUMP_EDGE_REDUNDANT = 0x01;  // purely redundant
inline constexpr std::uint8_t WUMP_EDGE_VIRTUAL = 0x02;    // not a physical connection

// The route node of an element: its kind, place and index.
struct WUMP_ROUTE_NODE {
  DEV_ELEMENT_ENUM element_type = DEV_ELEMENT_NONE;
  int x = -1;
  int y = -1;
  int sub_location = 0;
  int index = -1;
  int length = 0;  // wire length in tiles (0 for other kinds)
  int flags = 0;   // WUMP_RECORD_* bits
  bool operator==(const WUMP_ROUTE_NODE&) const = default;
};

struct WUMP_ROUTE_ELEMENT_RECORD {
  std::uint16_t kind;
  std::uint16_t sub_location;
  std::uint16_t index;
  std::uint8_t length;
  std::uint8_t flags;
  bool operator==(const WUMP_ROUTE_ELEMENT_RECORD&) const = default;
};
static_assert(sizeof(WUMP_ROUTE_ELEMENT_RECORD) == 8, "element record layout");

// One edge of a fanout or fanin walk.
struct WUMP_ROUTE_EDGE {
  unsigned from = 0;
  unsigned to = 0;
  bool redundant = false;
  bool operator==(const WUMP_ROUTE_EDGE&) const = default;
};

class HOST_API WUMP_ROUTE_ELEMENT {
public:
  // Component accessors: dispatch on the active route info's mode.
  inline DEV_ELEMENT_ENUM get_element_enum() const;
  inline int get_index() const;
  inline WUMP_ROUTE_NODE get_route_node() const;
  inline int get_fanout_size() const;

  // data
  unsigned get_id() const { return m_id; }
  unsigned get_gid() const { return m_id | WUMP_GID_BIT; }
  int get_x() const { return m_x; }
  int get_y() const { return m_y; }
  unsigned get_record() const { return m_record; }
  int get_fanout_range() const { return m_fanout_range; }
  int get_fanin_range() const { return m_fanin_range; }

private:
  friend class WUMP_ROUTE_INFO;
  friend struct WUMP_GRAPH_BUILDER;
  friend struct WUMP_HAND_GRAPH_BUILDER;
  unsigned m_id = 0;
  unsigned m_record = 0;
  int m_fanout_range = -1;
  int m_fanin_range = -1;
  std::uint16_t m_x = 0;
  std::uint16_t m_y = 0;
};

// The fanout layout an element-offset element hands to the fanout iterator.
struct WUMP_KOP_OFFSET_ARRAY {
  const int* offsets = nullptr;
  unsigned base_id = 0;
  std::uint16_t count = 0;                 // without purely redundant edges
  std::uint16_t count_incl_redundant = 0;  // with them
  unsigned boundary_id = 0;                // hierarchical form only
};

class WUMP_KOP_REPRESENTATION;

// data: one element of an element-offset representation.
class HOST_API WUMP_ROUTE_ELEMENT_KOP {
public:
  DEV_ELEMENT_ENUM get_element_enum() const { return static_cast<DEV_ELEMENT_ENUM>(m_kind); }
  int get_index() const { return m_index; }
  WUMP_ROUTE_NODE get_route_node() const;
  int get_fanout_size() const { return m_count_incl; }
  unsigned get_id() const { return m_id; }
  WUMP_KOP_OFFSET_ARRAY get_kop_offset_array() const;
  // True when the element's only fanout is a virtual edge.
  bool has_only_virtual_edge() const { return m_only_virtual; }
  // The fanout id at a position (purely redundant edges included), resolved
  // through the hierarchy in the hierarchical form.
  unsigned get_fanout_incl_purely_redundant_edges(int position) const;
  // The fanin id at a position.
  unsigned get_fanin(int position) const;

protected:
  friend class WUMP_KOP_REPRESENTATION;
  const WUMP_KOP_REPRESENTATION* m_rep = nullptr;
  unsigned m_id = 0;
  unsigned m_base_id = 0;
  unsigned m_offsets_begin = 0;
  std::uint16_t m_count = 0;
  std::uint16_t m_count_incl = 0;
  std::uint16_t m_kind = 0;
  std::uint16_t m_index = 0;
  std::uint16_t m_x = 0;
  std::uint16_t m_y = 0;
  std::uint16_t m_sub = 0;
  std::uint8_t m_length = 0;
  std::uint8_t m_flags = 0;
  bool m_only_virtual = false;
};

class HOST_API WUMP_ROUTE_ELEMENT_KOP_HIER : public WUMP_ROUTE_ELEMENT_KOP {
public:
  // Maps an id at or past the boundary id to the element it stands for.
  unsigned push_boundary_node_up_hierarchy(unsigned id) const;
};
static_assert(sizeof(WUMP_ROUTE_ELEMENT_KOP_HIER) == sizeof(WUMP_ROUTE_ELEMENT_KOP), "one element layout");

// data: the element-offset representation of a route info (both forms).
class HOST_API WUMP_KOP_REPRESENTATION {
public:
  WUMP_KOP_REPRESENTATION(const WUMP_ROUTE_INFO& info, bool hierarchical);
  bool is_hierarchical() const { return m_hierarchical; }
  const WUMP_ROUTE_ELEMENT_KOP& element(unsigned id) const { return m_elements[id]; }
  const WUMP_ROUTE_ELEMENT_KOP_HIER& hier_element(unsigned id) const {
    return static_cast<const WUMP_ROUTE_ELEMENT_KOP_HIER&>(m_elements[id]);
  }
  unsigned boundary_id() const { return m_boundary_id; }
  unsigned push_boundary_node_up_hierarchy(unsigned id) const;

private:
  friend class WUMP_ROUTE_ELEMENT_KOP;
  const WUMP_ROUTE_INFO* m_info;
  bool m_hierarchical;
  unsigned m_boundary_id;
  std::vector<WUMP_ROUTE_ELEMENT_KOP_HIER> m_elements;
  std::vector<int> m_offsets;
  std::vector<unsigned> m_boundary_targets;
};

class HOST_API WUMP_ROUTE_GRAPH {
public:
  // Fanout walk of one element. Positions run from 0; in the element-offset
  // modes the iterator knows its count, in flat mode its positions are
  // resolved by operator* alone.
  class HOST_API const_fanout_iterator {
  public:
    const_fanout_iterator() = default;
    inline const_fanout_iterator(const WUMP_ROUTE_GRAPH* graph, unsigned id, int position, bool end);
    inline WUMP_ROUTE_EDGE operator*() const;
    const_fanout_iterator& operator++() {
      ++m_position;
      if (m_mode == 1 || m_mode == 2) m_is_end = m_is_end || m_position == m_effective_count;
      return *this;
    }
    // Two iterators made at their end are equal whatever their positions.
    bool operator==(const const_fanout_iterator& o) const {
      if (m_is_end && o.m_is_end) return true;
      return m_id == o.m_id && m_position == o.m_position;
    }
    bool operator!=(const const_fanout_iterator& o) const { return !(*this == o); }
    int position() const { return m_position; }
    bool is_end() const { return m_is_end; }
    int effective_count() const { return m_effective_count; }

  private:
    const WUMP_ROUTE_GRAPH* m_graph = nullptr;
    unsigned m_id = 0;
    int m_position = 0;
    WUMP_KOP_OFFSET_ARRAY m_array;
    std::uint16_t m_effective_count = 65535;
    bool m_is_end = true;
    int m_mode = 0;
  };

  // Fanin walk of one element (same position rules as a flat fanout walk).
  class HOST_API const_fanin_iterator {
  public:
    const_fanin_iterator() = default;
    const_fanin_iterator(const WUMP_ROUTE_GRAPH* graph, unsigned id, int position, bool end)
        : m_graph(graph), m_id(id), m_position(position), m_is_end(end) {}
    inline WUMP_ROUTE_EDGE operator*() const;
    const_fanin_iterator& operator++() {
      ++m_position;
      return *this;
    }
    bool operator==(const const_fanin_iterator& o) const {
      if (m_is_end && o.m_is_end) return true;
      return m_id == o.m_id && m_position == o.m_position;
    }
    bool operator!=(const const_fanin_iterator& o) const { return !(*this == o); }

  private:
    const WUMP_ROUTE_GRAPH* m_graph = nullptr;
    unsigned m_id = 0;
    int m_position = 0;
    bool m_is_end = true;
  };

  explicit WUMP_ROUTE_GRAPH(const WUMP_ROUTE_INFO* info) : m_info(info) {}

  // data: the element of an id (bit 31 ignored); null past the end.
  const WUMP_ROUTE_ELEMENT* get_wump_route_element(unsigned id) const;
  const WUMP_ROUTE_INFO& get_route_info() const { return *m_info; }
  unsigned size() const;

  // data: whether fanout walks include purely redundant edges.
  bool includes_purely_redundant_edges() const { return m_include_redundant; }
  void set_include_purely_redundant_edges(bool on) { m_include_redundant = on; }

  // data: the walks. The end position is the number of edges the walk
  // visits: with or without purely redundant edges by the flag above, and 0
  // for an element whose only edge is virtual.
  const_fanout_iterator begin_fanout(unsigned id) const { return const_fanout_iterator(this, id & ~WUMP_GID_BIT, 0, false); }
  const_fanout_iterator end_fanout(unsigned id) const {
    return const_fanout_iterator(this, id & ~WUMP_GID_BIT, fanout_walk_count(id), true);
  }
  const_fanin_iterator begin_fanin(unsigned id) const { return const_fanin_iterator(this, id & ~WUMP_GID_BIT, 0, false); }
  const_fanin_iterator end_fanin(unsigned id) const {
    return const_fanin_iterator(this, id & ~WUMP_GID_BIT, fanin_count(id), true);
  }
  int fanout_walk_count(unsigned id) const;
  int fanin_count(unsigned id) const;
  // data: the fanouts that are not virtual edges, in list order, as ids.
  std::vector<unsigned> real_fanouts(unsigned id) const;

private:
  const WUMP_ROUTE_INFO* m_info;
  bool m_include_redundant = false;
};

// Walk over all elements of a route info in id order, yielding gids.
template <bool IS_REVERSE> class WUMP_ROUTE_ELEMENT_BIDIR_ITERATOR {
public:
  WUMP_ROUTE_ELEMENT_BIDIR_ITERATOR(const WUMP_ROUTE_INFO* info, unsigned position, int mode);
  inline unsigned operator*() const;
  WUMP_ROUTE_ELEMENT_BIDIR_ITERATOR& operator++();
  WUMP_ROUTE_ELEMENT_BIDIR_ITERATOR& operator--();
  bool operator==(const WUMP_ROUTE_ELEMENT_BIDIR_ITERATOR& o) const {
    return m_is_end == o.m_is_end && (m_is_end || m_position == o.m_position);
  }
  bool operator!=(const WUMP_ROUTE_ELEMENT_BIDIR_ITERATOR& o) const { return !(*this == o); }

private:
  const WUMP_ROUTE_INFO* m_info;
  unsigned m_position;
  bool m_is_end;
  int m_mode;
};

namespace WUMP_DETAIL {
// Gid walk over an element's real (non-virtual) fanouts or its fanins. It
// can also serve as the implementation of a WUMP_FORWARD_ITERATOR<unsigned>.
class HOST_API ROUTE_GID_ITER : public WUMP_FORWARD_ITERATOR_IMPL<unsigned> {
public:
  ROUTE_GID_ITER() = default;
  ROUTE_GID_ITER(const WUMP_ROUTE_INFO* info, unsigned id, int position, bool fanin);
  unsigned operator*() const;
  ROUTE_GID_ITER& operator++();
  bool operator==(const ROUTE_GID_ITER& o) const { return m_id == o.m_id && m_position == o.m_position; }
  bool operator!=(const ROUTE_GID_ITER& o) const { return !(*this == o); }

  WUMP_FORWARD_ITERATOR_IMPL<unsigned>* clone() const override;  // key function
  unsigned deref() const override { return **this; }
  void next() override { ++*this; }
  bool equals(const WUMP_FORWARD_ITERATOR_IMPL<unsigned>& other) const override {
    const auto* o = dynamic_cast<const ROUTE_GID_ITER*>(&other);
    return o && *this == *o;
  }

private:
  void skip_virtual();
  const WUMP_ROUTE_INFO* m_info = nullptr;
  unsigned m_id = 0;
  int m_position = 0;
  int m_count = 0;
  bool m_fanin = false;
};
using ROUTE_FANOUT_GID_ITER = ROUTE_GID_ITER;
using ROUTE_FANIN_GID_ITER = ROUTE_GID_ITER;
}  // namespace WUMP_DETAIL

// data: the routing graph of the die with its tables and names.
class HOST_API WUMP_ROUTE_INFO {
public:
  WUMP_ROUTE_INFO();
  ~WUMP_ROUTE_INFO();
  WUMP_ROUTE_INFO(const WUMP_ROUTE_INFO&) = delete;
  WUMP_ROUTE_INFO& operator=(const WUMP_ROUTE_INFO&) = delete;

  const WUMP_ROUTE_GRAPH& get_route_graph() const { return m_graph; }
  WUMP_ROUTE_GRAPH& get_route_graph() { return m_graph; }
  unsigned get_num_elements() const { return static_cast<unsigned>(m_elements.size()); }

  // Flat tables.
  const WUMP_ROUTE_ELEMENT& element(unsigned id) const { return m_elements[id]; }
  const WUMP_ROUTE_ELEMENT_RECORD& get_element_record(unsigned record) const { return m_element_table[record]; }
  const std::vector<WUMP_ROUTE_ELEMENT_RECORD>& get_element_table() const { return m_element_table; }
  const int* get_fanout_table() const { return m_fanout_table.data(); }
  const int* get_fanin_table() const { return m_fanin_table.data(); }
  std::uint8_t get_fanout_edge_flags(unsigned id, int position) const;

  // Element-offset representations (built on first use; thread-safe).
  const WUMP_KOP_REPRESENTATION& get_kop() const;
  const WUMP_KOP_REPRESENTATION& get_kop_hier() const;

  // Queries by gid (bit 31 set; a gid without it is taken as an id).
  const WUMP_ROUTE_ELEMENT* get_element_by_gid(unsigned gid) const;
  DEV_ELEMENT_ENUM get_dev_element_from_gid(unsigned gid) const;
  WUMP_ROUTE_NODE get_route_node_of(unsigned gid) const;
  // The gid of the element with this route node; WUMP_ILLEGAL_GID when none.
  unsigned get_gid_from_route_node(const WUMP_ROUTE_NODE& node) const;
  unsigned get_gid(int kind, int x, int y, int index) const;
  WUMP_DETAIL::ROUTE_FANOUT_GID_ITER begin_fanout_gids(unsigned gid) const;
  WUMP_DETAIL::ROUTE_FANOUT_GID_ITER end_fanout_gids(unsigned gid) const;
  WUMP_DETAIL::ROUTE_FANIN_GID_ITER begin_fanin_gids(unsigned gid) const;
  WUMP_DETAIL::ROUTE_FANIN_GID_ITER end_fanin_gids(unsigned gid) const;
  // The real fanouts (virtual edges skipped), as gids.
  WUMP_DETAIL::ROUTE_FANOUT_GID_ITER begin_real_fanout(unsigned gid) const { return begin_fanout_gids(gid); }
  WUMP_DETAIL::ROUTE_FANOUT_GID_ITER end_real_fanout(unsigned gid) const { return end_fanout_gids(gid); }
  // Every element of a kind, in id order, as gids.
  std::vector<unsigned> gids(int kind) const;
  WUMP_ROUTE_ELEMENT_BIDIR_ITERATOR<false> begin_elements() const;
  WUMP_ROUTE_ELEMENT_BIDIR_ITERATOR<false> end_elements() const;
  // 1 (block network) for an edge touching a block port or output (283, 284,
  // 659), 3 (clock network) for an edge touching 318 or 1929, else 2 (core
  // fabric). element_kind is unused (0).
  int get_top_level_graph_from_edge(unsigned from_gid, unsigned to_gid, int element_kind) const;
  // x in the low and y in the high 32 bits.
  std::uint64_t get_location(unsigned gid, int unused) const;
  void get_name(unsigned gid, std::string& name) const;
  std::string get_name(unsigned gid) const;
  // The block port (659) of a placement block by its ICD name and type: 1
  // input ("in[q]", core to block), 2 output ("out[q]"), 3 bidirectional
  // (the stand-in has no such ports: the name alone decides, either
  // direction). 0xFFFFFFFF when there is none.
  unsigned get_block_icd_port_gid(unsigned place_block_gid, int blc_port_type, const std::string& name) const;
  // Port name of an index: LAB port muxes "LABIN[i]", "LABCTRL[j]",
  // "LABCLK[c]", "LABOUTT[k]", "LABOUTB[k]"; block ports "in[q]", "out[q]";
  // others "I<index>".
  std::string get_port_name(int kind, int index) const;
  // True for an element that holds a pipeline-register slot.
  bool is_zota_gid(unsigned gid) const;
  // Slow-corner hop delay of an element in ps, scaled to a corner.
  double get_hop_delay_ps(unsigned gid, double corner_scale) const;
  // First LAB output index of the family (the LAB's 40 outputs follow).
  int get_lab_output_offset() const { return m_lab_output_offset; }
  // data: the description string of an element kind at a sub-location.
  std::string get_element_description(int kind, int sub_location) const;
  // Bytes the flat tables hold (elements, records, edge tables, tile index).
  std::size_t memory_bytes() const;

private:
  friend struct WUMP_GRAPH_BUILDER;
  friend struct WUMP_HAND_GRAPH_BUILDER;
  std::map<std::uint64_t, int> m_edge_graphs;  // hand-made graphs: (from << 32 | to) -> top-level graph
  friend class WUMP_KOP_REPRESENTATION;
  WUMP_ROUTE_GRAPH m_graph;
  std::vector<WUMP_ROUTE_ELEMENT> m_elements;
  std::vector<WUMP_ROUTE_ELEMENT_RECORD> m_element_table;
  std::vector<int> m_fanout_table;
  std::vector<std::uint8_t> m_fanout_flags;  // parallel to m_fanout_table
  std::vector<int> m_fanin_table;
  std::vector<unsigned> m_tile_first;  // first element id per tile (row-major), plus the end
  const class DEV_GRID* m_grid = nullptr;
  int m_nx = 0;
  int m_ny = 0;
  int m_lab_output_offset = 94;
  int m_pad_output_base = 4;  // index of a pad tile's first output port
  // "in[q]" / "out[q]" of a block port record (pad tiles number outputs from
  // m_pad_output_base).
  std::string icd_port_name(const WUMP_ROUTE_ELEMENT_RECORD& r, bool pad) const;
  mutable std::once_flag m_kop_once;
  mutable std::once_flag m_kop_hier_once;
  mutable std::unique_ptr<WUMP_KOP_REPRESENTATION> m_kop;
  mutable std::unique_ptr<WUMP_KOP_REPRESENTATION> m_kop_hier;
};

template <bool R>
WUMP_ROUTE_ELEMENT_BIDIR_ITERATOR<R>::WUMP_ROUTE_ELEMENT_BIDIR_ITERATOR(const WUMP_ROUTE_INFO* info, unsigned position,
                                                                        int mode)
    : m_info(info), m_position(position), m_is_end(position >= info->get_num_elements()), m_mode(mode) {}

template <bool R> WUMP_ROUTE_ELEMENT_BIDIR_ITERATOR<R>& WUMP_ROUTE_ELEMENT_BIDIR_ITERATOR<R>::operator++() {
  ++m_position;
  m_is_end = m_position >= m_info->get_num_elements();
  return *this;
}

template <bool R> WUMP_ROUTE_ELEMENT_BIDIR_ITERATOR<R>& WUMP_ROUTE_ELEMENT_BIDIR_ITERATOR<R>::operator--() {
  --m_position;
  m_is_end = m_position >= m_info->get_num_elements();
  return *this;
}

#include "wump_route_objects_sys.h"
