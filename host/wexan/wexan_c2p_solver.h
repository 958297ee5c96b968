#pragma once
// algorithm: the periphery-core register placement and routing solver. For
// every destination port gid (ascending) a breadth-first search from the port
// over fan-outs (periphery to core) or fan-ins (core to periphery) to a LAB
// mux whose register site is free; the chain found is returned as one tree.
#include <memory>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/host_api.h"
#include "juk_forest_detail_sys.h"
#include "zmp_hash_lite_sys.h"
#include "zmp_hash_set_lite_sys.h"

class WEXAN_ENV;
class DEV_DEVICE;
class VOK_ATOM_NODE;
class YEB_TIMING_MODEL;
class TIBEX_LOCKED_CONSTRAINT;

// Chains run from signal source to sink: P2C root = port gid, leaf = LAB
// input mux; C2P root = LAB output mux, leaf = port gid. Elements strictly
// between port and mux are the wires, counted against [min_wire, max_wire];
// unless wire_based, their summed cached switch delays (s) must lie within
// [min_delay, max_delay] (a bound below -1e38 is none). Gids used join
// pre_occupied; unsolved destinations are appended to leftovers.
HOST_API JUK::FOREST<int, int> wexan_solve_c2p_routing_problem(
    WEXAN_ENV* env, const DEV_DEVICE* device, ZMP_HASH_LITE<int, VOK_ATOM_NODE*> port_map,
    const YEB_TIMING_MODEL* timing_model, float local_scaling_factor, const std::vector<int>& destinations,
    int min_wire, int max_wire, float min_delay, float max_delay, std::tuple<int, int, int> fixed_location,
    std::shared_ptr<TIBEX_LOCKED_CONSTRAINT> region, bool p2c, bool wire_based, bool final_attempt,
    ZMP_HASH_SET_LITE<int>& pre_occupied, ZMP_HASH_LITE<std::pair<int, int>, std::vector<VOK_ATOM_NODE*>>& blacklisted,
    ZMP_HASH_LITE<int, std::tuple<unsigned, int, std::vector<std::pair<float, float>>>>& switch_delays,
    std::unordered_map<int, int>& usable_wire_weights, std::vector<int>& leftovers);

// data: the register sub-location behind a LAB mux index on a family, -1 when
// the mux cannot take a transferred register.
HOST_API int wexan_c2p_register_sub_location(int family, int mux_index, bool p2c);
