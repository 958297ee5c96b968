#pragma once
// The routing a blackboxed partition's shell keeps: which routing elements
// of the root routing survive once hidden atoms and their connections are
// gone, and the per-shell filter that applies that decision to a shell
// state's routing. Both rest on one eraser that removes a branch from a
// sink upward for as long as the branch serves that sink alone, stopping
// below block ports and global clock routing.
#include <functional>

#include "velmo_bbic_keep_set.h"
#include "zmp_hash_set_lite_sys.h"

class JOV_PARTITION;
class KIV_STATE;
class VOK_ATOM_ITERM;
class VOK_ATOM_NETLIST;
class VOK_RE_ROUTING;
class VOK_RE_ROUTING_MODIFIER;
class WUMP_ROUTE_INFO;

// Routing-element ids (bit 31 set) that stay in use.
using VELMO_BBIC_KEPT_ROUTING = ZMP_HASH_SET_LITE<unsigned int, ZMP_OPS<unsigned int, void>>;
// True for a routing element that ends every upward removal.
using VELMO_BBIC_STOP_FN = std::function<bool(unsigned)>;

// The die's routing information (internal errors for a missing device, die
// information, routing graph or routing information).
const WUMP_ROUTE_INFO* velmo_bbic_get_route_info();
// The design's flattened netlist: the top partition's active state.
VOK_ATOM_NETLIST* velmo_bbic_get_design_netlist();
// A block port (kind 659) or global clock routing (kind 318) element.
bool velmo_bbic_is_stop_element(const WUMP_ROUTE_INFO* route_info, unsigned id);
VELMO_BBIC_STOP_FN velmo_bbic_stop_fn(const WUMP_ROUTE_INFO* route_info);

// Erases the highest node reached from `node` through a chain of only
// children (skip view), with its subtree; the climb ends at a root, a
// branching point or below a stop element.
void erase_from_vok_re_routing_with_stop_fn(int node, const VOK_RE_ROUTING& routing, VOK_RE_ROUTING_MODIFIER& modifier,
                                            const VELMO_BBIC_STOP_FN& stop);
// Erases from each sink node of the input term (the routing must be bound
// to a netlist).
void erase_iterm_from_vok_re_routing_with_stop_fn(const VOK_ATOM_ITERM* iterm, const VOK_RE_ROUTING& routing,
                                                  VOK_RE_ROUTING_MODIFIER& modifier, const VELMO_BBIC_STOP_FN& stop);

// Prunes a private copy of the root routing down to what the visible atoms
// use and fills `kept` with the routing elements left in it.
void determine_routing_to_keep(VELMO_BBIC_KEPT_ROUTING& kept, const VELMO_BBIC_KEEP_SET_TABLE& keep_sets);
// Removes from the shell state's routing the nets of atoms outside the keep
// set, the elements outside `kept` and the roots left empty; leaves the
// routing unbound.
void filter_routing(JOV_PARTITION* partition, KIV_STATE& state, VOK_ATOM_NETLIST* netlist,
                    const VELMO_BBIC_KEEP_SET& keep_set, const VELMO_BBIC_KEPT_ROUTING& kept);
