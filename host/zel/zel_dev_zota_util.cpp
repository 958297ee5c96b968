#include "zel/zel_dev_zota_util.h"

#include "dev/dev_family.h"
#include "dev/dev_spec.h"
#include "msg/msg_internal_error.h"
#include "wump/wump_die_info.h"
#include "wump/wump_route_info.h"

// The device database answers two questions only: check 0, pipeline registers
// in the routing, and check 1, the retimer supported. Any other check type is a
// caller's mistake, not a third answer.
bool ZEL_DEV_ZOTA_UTIL::is_zota_device(const CMP_FACADE*, int check) {
  if (check != 0 && check != 1) MSG_INTERNAL_ERROR::report("check == 0 || check == 1", "ZEL", "zel_dev_zota_util", __LINE__);
  return host::device::zota_check(check);
}

bool ZEL_DEV_ZOTA_UTIL::is_zento_retimer_enabled() {
  return host::device::zota_check(1) && !host::device::spec().zento_retimer_disabled;
}

bool ZEL_DEV_ZOTA_UTIL::is_zento_retimer_debugging_flow_enabled() {
  return host::device::spec().zento_retimer_debugging_flow;
}

bool ZEL_DEV_ZOTA_UTIL::is_zento_retimer_nimbrel_emulate_enabled() { return host::device::spec().zento_nimbrel_emulate; }

bool ZEL_DEV_ZOTA_UTIL::is_zota_gid(const DEV_DIE_INFO* die, unsigned gid) {
  const WUMP_DIE_INFO* wump = die ? die->get_wump_die_info() : nullptr;
  return wump != nullptr && wump->get_route_info() != nullptr && wump->get_route_info()->is_zota_gid(gid);
}
int ZEL_DEV_ZOTA_UTIL::get_zento_retimer_state(const CMP_FACADE*) { return is_zento_retimer_enabled() ? 2 : 1; }

bool ZEL_DEV_ZOTA_UTIL::is_zento_retimer_enabled(const CMP_FACADE*) { return is_zento_retimer_enabled(); }

bool ZEL_DEV_ZOTA_UTIL::is_zota_depopulation_enabled(const CMP_FACADE*, const VOK_ATOM_NETLIST*) {
  return host::device::zota_check(0) && host::device::spec().zota_depopulation;
}

bool ZEL_DEV_ZOTA_UTIL::is_zota_depopulation_enabled_by_instance(const CMP_FACADE*, const VOK_ATOM_NETLIST*) {
  return host::device::zota_check(0) && host::device::spec().zota_depopulation_by_instance;
}

bool ZEL_DEV_ZOTA_UTIL::is_rfpar_enabled(const CMP_FACADE*) { return host::device::spec().rfpar; }

bool ZEL_DEV_ZOTA_UTIL::is_zota_lab_gid(const DEV_DIE_INFO* die, unsigned gid) {
  if (!is_zota_gid(die, gid)) return false;
  const WUMP_ROUTE_NODE node = die->get_wump_die_info()->get_route_info()->get_route_node_of(gid);
  return node.element_type == 282 && node.index >= 140 && node.index < 180;
}

bool ZEL_DEV_ZOTA_UTIL::is_early_retiming_enabled(const CMP_FACADE*) { return host::device::spec().early_retiming; }

bool ZEL_DEV_ZOTA_UTIL::is_zento_aware_optimize_timing_enabled() {
  return host::device::spec().zento_aware_optimize_timing;
}
