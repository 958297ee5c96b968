#pragma once
// velmo-fit's account of what post-route retiming changed: the register and
// wire-LUT structure of the design before and after a stage, compared.
#include <set>

#include <nlohmann/json.hpp>

namespace velmo_fit {

struct RETIMING_STATE {
  std::set<int> registers;           // every register by atom id
  std::set<int> pipeline_registers;  // registers in pipeline slots or ZOTA-marked
  std::set<int> bypassed;            // bypassed LAB registers
  std::set<int> luts;                // combinational cells
};

struct RETIMING_CHANGES {
  int pipeline_created = 0;
  int pipeline_deleted = 0;
  int lab_bypassed = 0;
  int lab_reenabled = 0;
  int wire_luts = 0;  // new one-input combinational cells
  bool any() const { return pipeline_created || pipeline_deleted || lab_bypassed || lab_reenabled || wire_luts; }
};

// The design's state now.
RETIMING_STATE retiming_state();
// What changed from `before` to the design's state now.
RETIMING_CHANGES retiming_changes(const RETIMING_STATE& before);
nlohmann::ordered_json retiming_report(const RETIMING_CHANGES& c);

}  // namespace velmo_fit
