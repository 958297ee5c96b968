// A started component on a one-register design at a chosen family and
// snapshot: the scene of the retime and Nimbrel stage tests.
#pragma once

#include <string>

#include "../prefit/expert_fixture.h"
#include "jov/jov_design.h"
#include "testing/netlist_builder.h"

namespace velmo_test {

class RetimeStageTest : public ExpertTest {
protected:
  VELMO_EXPERT* start_on(int family, const std::string& snapshot) {
    device(family);
    auto n = host::testing::netlist();
    n.reg("r").d(n.input_port("in"));
    VELMO_EXPERT* expert = start();
    set_snapshot(snapshot);
    return expert;
  }
  static void set_snapshot(const std::string& s) { JOV_ROOT::get()->get_design("")->set_current_snapshot_str(s); }
};

}  // namespace velmo_test
