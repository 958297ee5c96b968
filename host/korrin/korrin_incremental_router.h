#pragma once
// algorithm: KORRIN, the incremental router (ECO re-routing, the legality
// engine's implement step, the router test hook).
//
// Connections are added, then routed in one batch over the routing as it
// stands: nothing is ever ripped up. Elements of every tree are forbidden to
// other nets; a net's own elements (and the paths found earlier in the batch)
// are its sources at cost 0, a net without routing starts at its driver's
// output elements (endpoint rules in korrin_graph.h). Cost, order and ties as
// in the whole-design router. The result owns the paths found; commit writes
// them into a routing, all or nothing (false when any path no longer fits).
// A connection whose sink the source does not drive fails.
//
// Delay budgets: one per hop of the pipeline chain that ends at the sink,
// index 0 nearest the chain's driver; a connection is the chain's last hop,
// so the last entry applies. `first` is the least and `second` the greatest
// delay (slow corner, ps, measured from the net's root as the timing does).
// A maximum is met by the path of least delay when the cheapest path is too
// slow; a minimum by the cheapest detour (through a waypoint) whose delay
// reaches it. A budget that cannot be met is reported and the connection is
// routed anyway. The detour search keeps to a box around the connection
// that widens while it finds nothing (see set_detour_margin).
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "common/host_api.h"

class VOK_RE_ROUTING;
class VOK_ATOM_OTERM;
class VOK_ATOM_ITERM;
class WUMP_ROUTE_INFO;
class WUMP_BLACKLISTING;
class W3J3_PORT_MAP_INTERFACE;
class NORBO_ZOTA_MANAGER;

namespace KORRIN {

struct DELAY_BUDGET {
  std::int32_t first = 0;                                         // minimum delay, ps
  std::int32_t second = std::numeric_limits<std::int32_t>::max();  // maximum delay, ps
  // A detour of at least this delay (and within the window) is taken before
  // any other, the cheapest of them; only when none is found, the cheapest
  // of the whole window. At or below `first`: the cheapest of the window.
  std::int32_t top = std::numeric_limits<std::int32_t>::min();
};

class HOST_API IR_RESULT {
public:
  enum STATUS { ROUTED, ALREADY_ROUTED, DEDICATED, FAILED };
  struct PATH {
    const VOK_ATOM_OTERM* source = nullptr;
    const VOK_ATOM_ITERM* sink = nullptr;
    STATUS status = FAILED;
    // The net's element the path branches from (a gid), or 0xFFFFFFFF when
    // it starts at the driver's output element (the first of `gids`).
    unsigned attach = 0xFFFFFFFFu;
    std::vector<unsigned> gids;  // new elements in order, gids (bit 31 set)
    int delay_ps = 0;            // root-to-sink delay once committed
    bool budget_met = true;
    bool slot_d = false;         // ends at the slot of a pipeline register
  };

  // True when every connection is routed (or needs no routing).
  bool routing_succeeded() const { return m_succeeded; }
  const std::vector<PATH>& paths() const { return m_paths; }
  // One line per failure and per budget that could not be met.
  const std::vector<std::string>& reports() const { return m_reports; }

private:
  friend class INCREMENTAL_ROUTER;
  bool m_succeeded = true;
  std::vector<PATH> m_paths;
  std::vector<std::string> m_reports;
};

class HOST_API INCREMENTAL_ROUTER {
public:
  // The port map is accepted for the callers' sake: the stand-in finds port
  // elements from placement. The route info must be the world's device's
  // (null stands for it); with another, every connection fails.
  INCREMENTAL_ROUTER(VOK_RE_ROUTING* routing, const WUMP_ROUTE_INFO* route_info,
                     const W3J3_PORT_MAP_INTERFACE* port_map);
  ~INCREMENTAL_ROUTER();
  INCREMENTAL_ROUTER(const INCREMENTAL_ROUTER&) = delete;
  INCREMENTAL_ROUTER& operator=(const INCREMENTAL_ROUTER&) = delete;

  // Queues a connection; budgets and blacklist may be null. False (nothing
  // queued) for a null term.
  bool add_connection(VOK_ATOM_OTERM* src, VOK_ATOM_ITERM* sink, const std::vector<DELAY_BUDGET>* budgets,
                      const WUMP_BLACKLISTING* blacklist);
  std::size_t get_num_new_connections() const { return m_pending.size(); }
  // Routes the queued connections (nets by driver id, sinks in fanout order)
  // and empties the queue. With `stop_at_first_failure` the rest fail
  // unrouted after the first failure. The pipeline-register manager is not
  // consulted by the stand-in. The caller owns the result.
  IR_RESULT* route_all_new_connections(bool stop_at_first_failure, NORBO_ZOTA_MANAGER* zota_manager);
  // Writes the routed paths (sinks, pipeline pairs) into the routing.
  bool commit(IR_RESULT* result, VOK_RE_ROUTING* routing);
  // Tiles the search for a minimum-delay detour first keeps to around the
  // source and the sink; the margin doubles (plus one) while no detour is
  // found. A margin as wide as the device searches it whole.
  void set_detour_margin(int tiles) { m_detour_margin = tiles; }
  // Whether the detour searches in a box grow their cost cap in steps
  // (default: they stop as soon as a cap holds the detour) or run to the
  // full cap at once; both find the same detour.
  void set_detour_cap_steps(bool on) { m_detour_cap_steps = on; }

private:
  struct PENDING {
    VOK_ATOM_OTERM* src;
    VOK_ATOM_ITERM* sink;
    std::vector<DELAY_BUDGET> budgets;
    const WUMP_BLACKLISTING* blacklist;
  };
  VOK_RE_ROUTING* m_routing;
  const WUMP_ROUTE_INFO* m_route_info;
  std::vector<PENDING> m_pending;
  int m_detour_margin = 3;
  bool m_detour_cap_steps = true;
};

// Routes every routable connection of the placed design that has no routing
// yet with the incremental router and commits; true when all were routed.
HOST_API bool test_korrin_incremental_router();

}  // namespace KORRIN
