#pragma once
// algorithm: the three routing-element networks of a routing (blc, crf, fcd)
// stitched together through the port map, and the modifier that removes a
// terminal's connectivity from them.
//
// A network node's payload is the plain element index (no bit 31). An element
// belongs to the blc network when it is a block port or block output (283,
// 284, 659), to fcd when it is clock routing (318, 1929), else to crf. A net's
// routing tree becomes one tree per run of elements in one network: where the
// network changes a new root starts (a stitch).
//
// The port map links terminals to network nodes with entries of type
// VOK_RE_NETWORK_NODE_MAP_TYPE (value: network position << 28 | node id): an
// output term to every root its net starts, an input term to the deepest
// node of each network on the path above it, from the sink upward.
#include <cstdint>
#include <functional>
#include <vector>

#include "common/host_api.h"
#include "juk_forest_detail_sys.h"

class VOK_ATOM_ITERM;
class VOK_ATOM_NETLIST;
class VOK_ATOM_OTERM;
class VOK_RE_ROUTING;
class W3J3_PORT_MAP_DB;
class W3J3_PORT_MAP_INTERFACE;
class WUMP_ROUTE_INFO;

inline constexpr int VOK_RE_NETWORK_NODE_MAP_TYPE = 10;

// The network position (0 blc, 1 crf, 2 fcd) of an element gid.
HOST_API int vok_re_network_of_gid(const WUMP_ROUTE_INFO& info, unsigned gid);
// Fills the networks (positions 0 blc, 1 crf, 2 fcd; emptied first) from
// the wires of the routing's trees that have a terminal on a `member` atom
// (every tree when null) and adds the terminal links to `db`.
HOST_API void vok_build_re_networks(const VOK_RE_ROUTING& routing, const WUMP_ROUTE_INFO& info,
                                    const std::vector<JUK::FOREST<int, int>*>& networks, W3J3_PORT_MAP_DB& db,
                                    const std::function<bool(std::uint32_t)>& member = nullptr);
// Live nodes of a network: slots less erased slots.
inline unsigned vok_re_network_size(const JUK::FOREST<int, int>& n) {
  return static_cast<unsigned>(n.num_slots() - n.free_count());
}

// recorded: removals are collected and applied at `commit`.
class HOST_API VOK_RE_STITCHED_NETWORK_MODIFIER {
public:
  VOK_RE_STITCHED_NETWORK_MODIFIER(VOK_ATOM_NETLIST* netlist, JUK::FOREST<int, int>* blc, JUK::FOREST<int, int>* fcd,
                                   JUK::FOREST<int, int>* crf, const WUMP_ROUTE_INFO* info,
                                   const W3J3_PORT_MAP_INTERFACE* port_map);
  ~VOK_RE_STITCHED_NETWORK_MODIFIER();
  VOK_RE_STITCHED_NETWORK_MODIFIER(const VOK_RE_STITCHED_NETWORK_MODIFIER&) = delete;
  VOK_RE_STITCHED_NETWORK_MODIFIER& operator=(const VOK_RE_STITCHED_NETWORK_MODIFIER&) = delete;

  // Prunes the path above the input term, from the sink upward, for as long
  // as it serves this sink alone; the climb ends below an element for which
  // `stop` (gid with bit 31) is true.
  void remove_connectivity_for_iterm(const VOK_ATOM_ITERM* iterm, std::function<bool(unsigned)> stop);
  // Removes the net of the output term except the paths to `keep` (may be
  // null).
  void remove_connectivity_for_oterm(const VOK_ATOM_OTERM* oterm, const std::vector<VOK_ATOM_ITERM*>* keep);
  void commit();

private:
  struct ITERM_REQUEST {
    const VOK_ATOM_ITERM* iterm;
    std::function<bool(unsigned)> stop;
  };
  struct OTERM_REQUEST {
    const VOK_ATOM_OTERM* oterm;
    std::vector<VOK_ATOM_ITERM*> keep;
  };
  JUK::FOREST<int, int>* m_networks[3];
  const W3J3_PORT_MAP_INTERFACE* m_port_map;
  std::vector<ITERM_REQUEST> m_iterms;
  std::vector<OTERM_REQUEST> m_oterms;
};
