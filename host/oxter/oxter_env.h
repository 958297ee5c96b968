#pragma once
// The periphery planning flow's environment: the slots of the MAC-count and
// RAM-count estimators and of the dynamic router constraints the component
// installs. The slots only store and record; rules about filling them belong
// to their users.
#include <list>
#include "common/host_api.h"

class VOK_ATOM_NODE;
class RCF_DRL_RCF_WRAPPER;

// How many DSP locations a set of atoms needs once its MACs are merged.
class HOST_API OXTER_MAC_MERGE_ESTIMATOR {
public:
  virtual ~OXTER_MAC_MERGE_ESTIMATOR();
  virtual int estimate_mac_count_after_merging(const std::list<VOK_ATOM_NODE*>& atoms) = 0;
};

// How many RAM blocks a set of atoms needs.
class HOST_API OXTER_RAM_ESTIMATOR {
public:
  virtual ~OXTER_RAM_ESTIMATOR();
  virtual int estimate_num_rams_required(const std::list<VOK_ATOM_NODE*>& atoms) = 0;
};

class HOST_API OXTER_ENV {
public:
  // data: the planning-flow environment (one per process, never null).
  static OXTER_ENV* get();
  // data: the installed estimator, null when none; not owned. Setting is
  // recorded ("OXTER_ENV::set_mac_merge_estimator(ptr)" / "(null)").
  static OXTER_MAC_MERGE_ESTIMATOR* get_mac_merge_estimator();
  static void set_mac_merge_estimator(OXTER_MAC_MERGE_ESTIMATOR* estimator);
  // data: the RAM estimator slot, likewise.
  static OXTER_RAM_ESTIMATOR* get_ram_estimator();
  static void set_ram_estimator(OXTER_RAM_ESTIMATOR* estimator);
  // data: the router's dynamic hard constraints, likewise.
  static RCF_DRL_RCF_WRAPPER* get_dynamic_router_constraints();
  static void set_dynamic_router_constraints(RCF_DRL_RCF_WRAPPER* constraints);
};
