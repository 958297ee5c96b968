#pragma once
// Pipeline-register (ZOTA) device tests and the Zento switches, answered from
// the family table and the configured device.
#include "common/host_api.h"

class CMP_FACADE;
class DEV_DIE_INFO;
class VOK_ATOM_NETLIST;

class HOST_API ZEL_DEV_ZOTA_UTIL {
public:
  // data: ZOTA check 0 (pipeline registers in routing) or 1 (retimer
  // supported) of the configured device's family.
  static bool is_zota_device(const CMP_FACADE* cmp, int check);
  // data: the retimer is enabled when check 1 holds and the device does not
  // switch it off.
  static bool is_zento_retimer_enabled();
  // data: the Zento-retimer debugging flow switch of the device (default off).
  static bool is_zento_retimer_debugging_flow_enabled();
  // data: the Nimbrel-emulate flow switch of the device (default off).
  static bool is_zento_retimer_nimbrel_emulate_enabled();
  // data: whether a routing gid is a pipeline-register slot of the die.
  static bool is_zota_gid(const DEV_DIE_INFO* die, unsigned gid);
  // data: whether a gid is a LAB pipeline-register position: the slot of a
  // LAB control-input mux (placement element 643, sub-locations 60-99).
  static bool is_zota_lab_gid(const DEV_DIE_INFO* die, unsigned gid);
  // data: the retimer's state: 1 when it is not enabled, 2 when it is.
  static int get_zento_retimer_state(const CMP_FACADE* cmp);

  // ---- ZOTA depopulation switches (device data, DeviceSpec)
  // data: is_zento_retimer_enabled() for the facade's device.
  static bool is_zento_retimer_enabled(const CMP_FACADE* cmp);
  // data: depopulation is enabled (needs ZOTA check 0).
  static bool is_zota_depopulation_enabled(const CMP_FACADE* cmp, const VOK_ATOM_NETLIST* netlist);
  // data: depopulation is enabled by instance assignments (needs check 0).
  static bool is_zota_depopulation_enabled_by_instance(const CMP_FACADE* cmp, const VOK_ATOM_NETLIST* netlist);
  // data: the RF-PAR flow is enabled.
  static bool is_rfpar_enabled(const CMP_FACADE* cmp);
  // data: early (prefit) retiming is enabled (DeviceSpec::early_retiming).
  static bool is_early_retiming_enabled(const CMP_FACADE* cmp);
  // data: DeviceSpec::zento_aware_optimize_timing (default off).
  static bool is_zento_aware_optimize_timing_enabled();
};
