#pragma once
// Bucket-count growth functions of the shared containers.
#include "common/host_api.h"

// The least prime not below n.
HOST_API unsigned zmp_hash_lite_get_next_prime(unsigned n);
// The least prime not below ceil(1.5 * n).
HOST_API unsigned zmp_hash_lite_50_percent_increase_size(unsigned n);
HOST_API unsigned zmp_hash_50_percent_increase_size(unsigned n);
