// The resynthesiser on bundled benchmarks, placed and routed on family 46
// with a clock they fail: the netlist afterwards simulates like the BLIF
// and no domain's setup WNS got worse.
#include <gtest/gtest.h>

#include <random>

#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "dev/dev_spec.h"
#include "hov/hov_utility.h"
#include "korrin/korrin_router.h"
#include "sta/sta_analysis.h"
#include "testing/blif_design.h"
#include "testing/blif_reader.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "testing/sim.h"
#include "tibex/tibex_placer.h"
#include "velmo_irsyn_test.h"
#include "wexan/wexan_env.h"

namespace {

using namespace host::testing;

class IrsynBenchmarkTest : public HostTest {
public:
  void check_design(const char* f) {
    const std::string path = std::string(VELMO_DESIGNS_DIR) + f;
    const BLIF_DESIGN d = read_blif_file(path);
    load_blif_design(d, path);
    std::string why;
    ASSERT_TRUE(configure_fit_device(Family::KY, &why)) << why;
    for (const VOK_ATOM_NODE* a : host::vok::top_netlist()->get_atom_list()) {
      const VOK_ATOM_ITERM* clk = a->is_ff() ? a->get_input_term_by_type(DB_INPUT_PORT_CLK, 0) : nullptr;
      if (const VOK_ATOM_OTERM* src = clk ? clk->get_source(VOK_TRAVERSE_AS_STORED) : nullptr) {
        host::timing::declare_clock("clk", 200, src);
        break;
      }
    }
    host::placement::PLACER_OPTIONS options;
    options.lab_atom_limit = kFitLabAtomLimit;
    ASSERT_TRUE(host::placement::place(options));
    ASSERT_TRUE(host::router::route_design(&why)) << why;
    netlist().timing();
    WEXAN_ENV env(CMP_FACADE::current(), 0, nolt_device_factory_fn);
    cfg_set_value("post_route_resyn_num_reroute_passes", "1");
    const auto before = sta_get_wns_map(host::hov::current_kem_netlist());
    std::size_t changed = 0;
    {
      IRSYN_MANAGER m(CMP_FACADE::current(), &env);
      m.resyn();
      changed = m.m_changed_luts.size();
    }
    // The simulation below compares a changed netlist.
    EXPECT_GT(changed, 0u);
    for (const auto& [dom, v] : sta_get_wns_map(host::hov::current_kem_netlist()))
      if (auto it = before.find(dom); it != before.end() && it->second.wns < 0) {
        EXPECT_GE(v.wns, it->second.wns);
      }
    std::vector<std::string> outs;
    for (const auto& o : d.outputs) outs.push_back("out:" + o);
    std::mt19937 rng(3);
    std::vector<std::vector<bool>> s(60, std::vector<bool>(d.inputs.size()));
    for (auto& c : s)
      for (std::size_t i = 0; i < c.size(); ++i) c[i] = (rng() & 1u) != 0;
    EXPECT_EQ(simulate(*host::vok::top_netlist(), d.inputs, outs, s), simulate_blif(d, d.inputs, d.outputs, s));
  }
};

// s298 is the bundled design whose LUTs the resynthesiser changes at this
// clock (crc32x8 and fir8 keep theirs).
TEST_F(IrsynBenchmarkTest, S298SimulatesLikeItsBlif) { check_design("/mcnc/s298.blif"); }

}  // namespace
