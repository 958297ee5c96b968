#pragma once
// The fitter environment: made by the component at start-up with the compiler
// facade, it becomes the process-wide environment until it is deleted.
#include "common/host_api.h"

class CMP_FACADE;
class VOK_ATOM_NETLIST;
class VOK_CHIP_DB_ENTRY;
class WEXAN_ENV;
class WEXAN_DESIGN;
class WEXAN_DEVICE;
class TIBEX_ZARTO_REGION_LIST;
class WEXAN_ECO;
class WEXAN_REGISTER_PACKING_HINTS_FOR_VPR;
class NOLT_ATOM_DUP_UTILITY;
class NOLT_LUT_RAM_CONVERSION_UTIL;

// The host's device factory, handed to the environment's constructor.
using WEXAN_DEVICE_FACTORY_FN = void* (*)(WEXAN_ENV*);
HOST_API void* nolt_device_factory_fn(WEXAN_ENV* env);

class HOST_API WEXAN_ENV {
public:
  // recorded: makes this the process-wide environment.
  WEXAN_ENV(CMP_FACADE* cmp, int flags, WEXAN_DEVICE_FACTORY_FN device_factory);
  // recorded: frees register-packing hints still held; the process-wide
  // environment becomes null.
  virtual ~WEXAN_ENV();
  WEXAN_ENV(const WEXAN_ENV&) = delete;
  WEXAN_ENV& operator=(const WEXAN_ENV&) = delete;

  // data: the process-wide environment (null outside a fitter run).
  static WEXAN_ENV* get_env();

  // data: the compiler facade given to the constructor.
  CMP_FACADE* get_cmp() const { return m_cmp; }
  // data: the design's top-level atom netlist.
  VOK_ATOM_NETLIST* get_atom_netlist() const;
  // data: the chip database entry holding the design's routing (the
  // world's; never null).
  VOK_CHIP_DB_ENTRY* get_chip_db_entry() const;
  // data: the fitter design (the world's; never null).
  WEXAN_DESIGN* get_design() const;
  // data: the device view (the world's; never null).
  WEXAN_DEVICE* get_device() const;
  // data: the placement (Tarnbay) regions; null when the design has none.
  TIBEX_ZARTO_REGION_LIST* get_zarto_region_list() const;
  // data: the engineering-change-order state (the world's; never null).
  WEXAN_ECO* get_eco() const;
  // data: codes of the configured device's family.
  int get_base_family_code() const;
  int get_internal_family_code() const;

  // recorded: taints the atom (or, with id -1, the whole netlist) for the
  // next timing rebuild.
  void indicate_that_atom_netlist_is_modified(int atom_id, bool flag1, bool flag2);
  // recorded: re-reads the Tarnbay region constraints; scripted, default true.
  bool clear_and_reload_tarnbay_constraints();

  // data: the atom duplication and LUT-RAM conversion utilities lent to the
  // environment. Setting records a lend ("WEXAN_ENV::set_<slot>(ptr)"),
  // setting null a take-back.
  static void set_atom_dup_util(NOLT_ATOM_DUP_UTILITY* util);
  static NOLT_ATOM_DUP_UTILITY* get_atom_dup_util();
  static void set_lut_ram_conversion_util(NOLT_LUT_RAM_CONVERSION_UTIL* util);
  static NOLT_LUT_RAM_CONVERSION_UTIL* get_lut_ram_conversion_util();

  // data: the register-packing hints slot. Once stored the environment owns
  // the hints; free deletes them (recorded) and empties the slot.
  WEXAN_REGISTER_PACKING_HINTS_FOR_VPR* get_register_packing_hints_for_vpr() const;
  void set_register_packing_hints_for_vpr(WEXAN_REGISTER_PACKING_HINTS_FOR_VPR* hints);
  void free_register_packing_hints_for_vpr();

  // recorded: sets the device factory function.
  static void set_wexan_device_factory_fn(WEXAN_DEVICE_FACTORY_FN fn);
  // data: the device factory function.
  static WEXAN_DEVICE_FACTORY_FN get_wexan_device_factory_fn();

private:
  CMP_FACADE* m_cmp;
  int m_flags;
};
