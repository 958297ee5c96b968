#pragma once
// The planning flow's RAM-block estimate.
#include <list>
#include "common/host_api.h"

class VOK_ATOM_NODE;

// recorded: set-up and release of the estimator's data (live counter
// "nolt_ram_estimator": 1 between the two).
HOST_API void nolt_init_ram_estimator();
HOST_API void nolt_uninit_ram_estimator();
// algorithm: one RAM block per RAM atom of the list (other atoms and nulls
// need none).
HOST_API int nolt_estimate_num_rams_required(const std::list<VOK_ATOM_NODE*>& atoms);
