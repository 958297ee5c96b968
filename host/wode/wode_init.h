#pragma once
// Initialisers the port-model build needs: the worker threads of the
// placement database and the two library anchors of the LAB and clock
// models.
#include "common/host_api.h"

// recorded
HOST_API void wode_initialize_threads();
// recorded
HOST_API void lab_dummy();
// recorded
HOST_API void wux_clk_dummy();
