// Which loads of a register count as clear loads for the duplication ahead of
// retiming: the asynchronous clear and both secondary clear ports move to the
// copy, a data load stays.
#include <string>

#include "cmp/cmp_facade.h"
#include "common/host_call_log.h"
#include "msg/msg_base.h"
#include "siv/siv_atom_mod_utility.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "velmo_retimer.h"
#include "vok/vok_atom_netlist.h"
#include "wexan/wexan_env.h"

namespace {

class DupRegRulesTest : public host::testing::HostTest {
protected:
  void SetUp() override {
    HostTest::SetUp();
    host::testing::device(host::testing::Family::KY).build();
    m_env = new WEXAN_ENV(CMP_FACADE::current(), 0, nolt_device_factory_fn);
  }
  void TearDown() override {
    delete m_env;
    EXPECT_EQ(host::siv::live_utilities(), 0);
    HostTest::TearDown();
  }
  static VOK_ATOM_NODE* driver_of(const VOK_ATOM_NODE* atom, int port) {
    const VOK_ATOM_OTERM* s = atom->get_input_term_by_type(static_cast<DB_INPUT_PORT_TYPE>(port), 0)
                                  ->get_source(VOK_TRAVERSE_AS_STORED);
    return s ? s->get_my_node() : nullptr;
  }
  WEXAN_ENV* m_env = nullptr;
};

TEST_F(DupRegRulesTest, EveryAsynchronousClearPortIsAClearLoad) {
  for (const int port : {6, 39, 40}) {
    SCOPED_TRACE(port);
    auto n = host::testing::netlist();
    auto clk = n.input_port("clk");
    auto r = n.reg("r").clk(clk).d(n.input_port("in")).atom();
    auto data = n.reg("data").clk(clk).d(r).atom();
    auto cleared = n.reg("cleared").clk(clk).d(n.input_port("in2")).atom();
    vok_connect(r->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0),
                cleared->add_input_term(static_cast<DB_INPUT_PORT_TYPE>(port), 0));
    VELMO_RETIMER::dup_regs_for_retiming(m_env);
    EXPECT_EQ(driver_of(data, DB_INPUT_PORT_DATA_IN), r);
    VOK_ATOM_NODE* copy = driver_of(cleared, port);
    EXPECT_NE(copy, nullptr);
    EXPECT_NE(copy, r);
    EXPECT_THAT(host::debug::texts(), HasDebugLine("Num dup registers for aclears:     1"));
    TearDown();
    SetUp();
  }
}

}  // namespace
