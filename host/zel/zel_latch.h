#pragma once
// The latch-information sanity check of the netlist utilities.
#include "common/host_api.h"

class VOK_ATOM_NETLIST;

// recorded: the latches' information is consistent; scripted, default true.
HOST_API bool zel_sanity_check_latch_info(VOK_ATOM_NETLIST* netlist, bool flag);
