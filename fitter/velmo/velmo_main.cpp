// Entry points of the component.
#include "mem/mem_initializer.h"

namespace {
const MEM_INITIALIZER l_mem_initializer("VELMO");
}  // namespace
