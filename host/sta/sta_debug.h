#pragma once
// Debug helpers of the timing engine: cookies of the timing netlist and of
// the slacks (equal cookies mean equal results), and the saved traversal
// settings around a from-scratch rebuild.
#include <cstdint>
#include "common/host_api.h"

// algorithm (recorded): an FNV-1a hash of the in-memory timing netlist's
// nodes and edges, each node named by its atom, kind and terminals and each
// edge by its ends, kind and delays, in that order (not by ids, so an
// incrementally updated netlist and a rebuilt one of the same design agree);
// scripted under its name (the computed value by default). 0 without a netlist.
HOST_API std::uint64_t sta_debug_compute_incoming_kem_netlist_cookie(bool flag);
// algorithm (recorded): an FNV-1a hash of every edge's setup and hold slack
// at every loaded corner, edges in the order of the netlist cookie; scripted under its name (the computed value by
// default). 0 without a netlist.
HOST_API std::uint64_t sta_debug_compute_outgoing_slack_cookie(bool flag);
// recorded: keeps the analysis's traversal settings.
HOST_API void sta_debug_remember_last_traversal_settings();
// recorded: brings the kept settings back and analyses again.
HOST_API void sta_debug_restore_last_traversal_settings_and_refresh();
