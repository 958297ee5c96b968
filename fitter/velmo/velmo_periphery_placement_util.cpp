#include "velmo_periphery_placement_util.h"

#include "mem/mem_initializer.h"

namespace {
const MEM_INITIALIZER l_mem_initializer("VELMO");
}  // namespace

VELMO_PERIPHERY_PLACEMENT_UTIL::VELMO_PERIPHERY_PLACEMENT_UTIL() = default;
VELMO_PERIPHERY_PLACEMENT_UTIL::~VELMO_PERIPHERY_PLACEMENT_UTIL() = default;
