#pragma once
// data: the number of input terms on an output term's stored (same-level)
// fanout list, hierarchy boundaries not crossed.
#include "common/host_api.h"

class VOK_ATOM_OTERM;

HOST_API int get_number_of_local_fanouts(const VOK_ATOM_OTERM* oterm);
