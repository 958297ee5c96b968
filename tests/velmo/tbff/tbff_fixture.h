#pragma once
// Small family-46 designs whose pipeline registers are clocked through the
// routing (PMUX, LAB clock mux), for the time-borrowing optimiser's tests.
#include <string>
#include <vector>

#include "cmp/cmp_facade.h"
#include "hov/hov_utility.h"
#include "kem/kem_manager.h"
#include "korrin/korrin_router.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "testing/route_helpers.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_routing.h"
#include "wexan/wexan_env.h"
#include "wump/wump_die_info.h"
#include "wump/wump_route_objects.h"
#include "yos/yos_interface.h"

namespace tbff_test {

using host::testing::Family;
using host::testing::HostTest;
using host::testing::place_at;
using host::testing::place_in_slot;
using host::testing::SIG;

inline void set_level(VOK_ATOM_NODE* atom, int level) {
  yos_current_interface()->set_uint_data(atom, static_cast<YOS_UINT_DATA_ENUM>(YOS_PULSE_WIDTH_LEVEL),
                                         static_cast<unsigned>(level));
}

class TbffTest : public HostTest {
protected:
  void TearDown() override {
    delete m_env;
    HostTest::TearDown();
  }
  // A device (family 46 unless m_family says otherwise) and a design: a pad clock, a launching register and
  // pipeline registers in slots of LABs (x, 4) for each x given; routed and
  // analysed. The launching registers sit in row `launch_row`.
  void build(const std::vector<int>& lab_columns, std::vector<DeviceCorner> corners = {},
             std::vector<int> clock_of = {}, int period = 300, int launch_row = 3) {
    auto dev = host::testing::device(m_family);
    if (!corners.empty()) dev.corners(corners);
    if (m_floor_level_0) dev.part_trait(42);
    dev.build();
    auto n = host::testing::netlist();
    // The pipeline registers first in the netlist (and in the timing
    // netlist's edge numbering) when asked.
    std::vector<host::testing::REG_BUILDER> early;
    if (m_pipeline_first)
      for (std::size_t k = 0; k < lab_columns.size(); ++k) early.push_back(n.zota_reg("p" + std::to_string(k)));
    auto pin = n.io_in("clk");
    place_at(n.find("clk"), 0, 1, 1);
    place_at(pin, 0, 1, 2);
    // Pipeline registers take their clock from the global network: a PLL.
    auto pll = n.iopll("pll").ref(pin).outputs(2);
    place_at(pll, 0, 0, 0);
    const SIG clocks[2] = {pll.out(DB_OUTPUT_PORT_DATA, 0), pll.out(DB_OUTPUT_PORT_DATA, 1)};
    const SIG clk = clocks[0];
    int k = 0;
    std::vector<VOK_ATOM_NODE*> launch;
    for (int x : lab_columns) {
      // Each pipeline register has its own launching register below it.
      auto a = n.reg("a" + std::to_string(k)).clk(clk).d(pin);
      launch.push_back(a);
      place_at(a, x, launch_row, 1 + 3 * k);
      auto p = (m_pipeline_first ? early[static_cast<std::size_t>(k)] : n.zota_reg("p" + std::to_string(k)))
                   .clk(clocks[k < static_cast<int>(clock_of.size()) ? clock_of[k] : 0])
                   .d(a);
      if (m_enable_from_launch) p.ce(a);
      place_in_slot(p, x, 4, 60 + 10 * (k % 3));
      m_regs.push_back(p);
      ++k;
    }
    n.clock("clk", period, clk);
    n.clock("clk2", 300, clocks[1]);
    std::string why;
    ASSERT_TRUE(host::router::route_design(&why)) << why;
    VOK_CHIP_DB_ENTRY::current()->get_routing()->attach_atom_netlist(host::vok::top_netlist(), VOK_TRAVERSE_HIERARCHICAL);
    host::hov::set_on(true);
    WEXAN_HOV_UTILITY* hov = n.timing();
    if (m_clock_skew_ps != 0) {
      // Both clock connections of each launching and pipeline register pair
      // fixed at their routed delay, the pipeline register's plus the skew.
      const KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist();
      auto annotate = [&](VOK_ATOM_NODE* reg, int extra) {
        const int d = kem->get_edge_delay_ps(*kem->get_ic_edge_to_iterm(reg->get_input_term_by_type(DB_INPUT_PORT_CLK, 0)), -1);
        hov->annotate_delays_of_connection(reg, DB_INPUT_PORT_CLK, 0, d + extra, d + extra);
      };
      for (std::size_t r = 0; r < m_regs.size(); ++r) {
        annotate(launch[r], 0);
        annotate(m_regs[r], m_clock_skew_ps);
      }
      n.timing();
    }
    m_env = new WEXAN_ENV(CMP_FACADE::current(), 0, nolt_device_factory_fn);
  }
  // The device element kind of a group key's routing node.
  static int kind_of_key(int key) {
    const VOK_RE_ROUTING& r = *VOK_CHIP_DB_ENTRY::current()->get_routing();
    const unsigned gid = static_cast<unsigned>(r.get_value(key));
    return static_cast<int>(host::device::die_info()->get_route_info()->get_dev_element_from_gid(gid));
  }
  std::vector<VOK_ATOM_NODE*> m_regs;
  WEXAN_ENV* m_env = nullptr;
  // The device's family.
  int m_family = Family::KY;
  // The part allows pulse level 0 (trait 42).
  bool m_floor_level_0 = false;
  bool m_pipeline_first = false;
  // Each pipeline register's clock enable is driven by its launching
  // register too: a second hold-checked input.
  bool m_enable_from_launch = false;
  // How much later than its launching register's each pipeline register's
  // clock arrives, ps at every corner (the device's clock networks have no
  // skew of their own): the hold problem a scene starts from.
  int m_clock_skew_ps = 0;
};

}  // namespace tbff_test
