#include "velmo_ram_enable_conversion_util.h"

#include "mem/mem_initializer.h"
#include "msg/msg_internal_error.h"
#include "tibex/tibex_env.h"
#include "wexan/wexan_env.h"

namespace {
const MEM_INITIALIZER l_mem_initializer("VELMO");
}  // namespace

VELMO_RAM_ENABLE_CONVERSION_UTIL::VELMO_RAM_ENABLE_CONVERSION_UTIL()
    : NOLT_RAM_ENABLE_CONVERSION_UTIL(WEXAN_ENV::get_env()) {}

VELMO_RAM_ENABLE_CONVERSION_UTIL::~VELMO_RAM_ENABLE_CONVERSION_UTIL() = default;

VELMO_RAM_ENABLE_CONVERSION_UTIL* VELMO_RAM_ENABLE_CONVERSION_UTIL::create_utility() {
  if (NOLT_RAM_ENABLE_CONVERSION_UTIL::s_utility)
    MSG_INTERNAL_ERROR::report("s_utility == NULL", "VELMO", "velmo_ram_enable_conversion_util", __LINE__);
  VELMO_RAM_ENABLE_CONVERSION_UTIL* util = new VELMO_RAM_ENABLE_CONVERSION_UTIL();
  NOLT_RAM_ENABLE_CONVERSION_UTIL::s_utility = util;
  TIBEX_ENV::set_ram_enable_conversion_util(util);
  return util;
}
