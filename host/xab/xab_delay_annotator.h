#pragma once
// The delay annotator of the timing netlist: loading of timing corners.
#include <vector>

#include "common/host_api.h"
#include "kem/kem_timing_model.h"

class CMP_FACADE;

class HOST_API XAB_DELAY_ANNOTATOR {
public:
  // recorded: an annotator over the compiler facade's timing netlist.
  XAB_DELAY_ANNOTATOR(CMP_FACADE* cmp, bool flag);
  virtual ~XAB_DELAY_ANNOTATOR();
  XAB_DELAY_ANNOTATOR(const XAB_DELAY_ANNOTATOR&) = delete;
  XAB_DELAY_ANNOTATOR& operator=(const XAB_DELAY_ANNOTATOR&) = delete;

  // recorded + algorithm: loads the listed corners that the timing netlist
  // lacks (the loaded ones stay, the current corner stays current) and
  // analyses the netlist again. False when there is no timing netlist.
  bool build_multicorner(int invoke_mode, bool flag1, const std::vector<KEM_TIMING_MODEL>& models, bool flag2);

private:
  CMP_FACADE* m_cmp;
};
