#pragma once
// The periphery planning flow's environment: the slot of the MAC-count
// estimator the component installs. The slot only stores and records; rules
// about filling it belong to its users.
#include <list>
#include "common/host_api.h"

class VOK_ATOM_NODE;

// How many DSP locations a set of atoms needs once its MACs are merged.
class HOST_API OXTER_MAC_MERGE_ESTIMATOR {
public:
  virtual ~OXTER_MAC_MERGE_ESTIMATOR();
  virtual int estimate_mac_count_after_merging(const std::list<VOK_ATOM_NODE*>& atoms) = 0;
};

class HOST_API OXTER_ENV {
public:
  // data: the planning-flow environment (one per process, never null).
  static OXTER_ENV* get();
  // data: the installed estimator, null when none; not owned. Setting is
  // recorded ("OXTER_ENV::set_mac_merge_estimator(ptr)" / "(null)").
  static OXTER_MAC_MERGE_ESTIMATOR* get_mac_merge_estimator();
  static void set_mac_merge_estimator(OXTER_MAC_MERGE_ESTIMATOR* estimator);
};
