// Locking the pipeline registers that feed LUT-RAM data inputs before
// retiming: the metadata written, the devices it applies to, and the
// netlists it refuses.
#include <string>

#include "../prefit/expert_fixture.h"
#include "cfg/cfg.h"
#include "msg/msg_internal_error.h"
#include "pelk/pelk_symbol.h"
#include "r5t/r5t_interface.h"
#include "testing/netlist_builder.h"
#include "testing/route_helpers.h"
#include "vok/vok_atom_netlist.h"

using host::testing::expect_internal_error;
using host::testing::Family;
using host::testing::place_at;
using host::testing::place_in_slot;

namespace {

class LutramNoTouchTest : public velmo_test::ExpertTest {
protected:
  static std::string expert_error(VELMO_EXPERT* expert) {
    return expect_internal_error([&] { expert->mark_lutram_zota_ffs_no_touch_for_retimer(); }).condition;
  }
  static PELK metadata_of(const VOK_ATOM_NODE* atom) {
    return R5T_INTERFACE::get_instance()->get_atom_metadata(atom->get_id(), PELK::intern(4, "RETIMER_NO_TOUCH"));
  }
};

TEST_F(LutramNoTouchTest, PlacedPipelineRegisterFeedingALutramIsLocked) {
  device(Family::KY);
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  n.zota_reg("p").clk(clk).d(n.input_port("d"));
  n.zota_reg("q").clk(clk).d(n.input_port("e"));
  n.lutram("m").data_in(n.find("p")).clk(clk);
  place_in_slot(n.find("p"), 5, 4, 60);
  place_in_slot(n.find("q"), 5, 4, 61);
  cfg_set_on("lutram_zota_debug_verbose");
  VELMO_EXPERT* expert = start();
  EXPECT_TRUE(expert->mark_lutram_zota_ffs_no_touch_for_retimer());
  EXPECT_EQ(metadata_of(n.find("p")), PELK::intern(4, "LOCKED"));
  // A pipeline register that feeds no LUT-RAM keeps its freedom.
  EXPECT_EQ(metadata_of(n.find("q")), PELK());
  const std::string line = "setting 'RETIMER_NO_TOUCH' on zota ff " + std::to_string(n.find("p")->get_id()) +
                           " in zota location " + std::to_string(n.find("p")->get_location_gid());
  EXPECT_THAT(host::debug::texts(), HasDebugLine(line));
}

TEST_F(LutramNoTouchTest, DevicesWithoutPipelineRegistersAreLeftAlone) {
  device(Family::KX);
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  n.reg("r").clk(clk).d(n.input_port("d"));
  n.lutram("m").data_in(n.find("r")).clk(clk);
  VELMO_EXPERT* expert = start();
  // A plain register would be refused on a pipeline-register device.
  EXPECT_TRUE(expert->mark_lutram_zota_ffs_no_touch_for_retimer());
  EXPECT_EQ(metadata_of(n.find("r")), PELK());
}

TEST_F(LutramNoTouchTest, LutramNotFedByAPlacedPipelineRegisterIsAnInternalError) {
  device(Family::KY);
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  n.reg("r").clk(clk).d(n.input_port("d"));
  n.lutram("m").data_in(n.find("r")).clk(clk);
  place_at(n.find("r"), 5, 4, 0);
  VELMO_EXPERT* expert = start();
  EXPECT_EQ(expert_error(expert), "input_ff->is_ff() && ZEL_ATOM_UTIL::is_zota_marked_reg(input_ff)");
  EXPECT_EQ(metadata_of(n.find("r")), PELK());
}

// Unplaced, or placed in a LAB rather than a pipeline-register slot.
TEST_F(LutramNoTouchTest, APipelineRegisterOutsideItsSlotIsAnInternalError) {
  for (const bool in_lab : {false, true}) {
    SCOPED_TRACE(in_lab);
    device(Family::KY);
    auto n = host::testing::netlist();
    auto clk = n.input_port("clk");
    n.zota_reg("p").clk(clk).d(n.input_port("d"));
    n.lutram("m").data_in(n.find("p")).clk(clk);
    if (in_lab) place_at(n.find("p"), 5, 4, 0);
    VELMO_EXPERT* expert = start();
    EXPECT_EQ(expert_error(expert), "gid != DEV_ILLEGAL_GLOBAL_ID && ZEL_DEV_ZOTA_UTIL::is_zota_gid(die_info, gid)");
    EXPECT_EQ(metadata_of(n.find("p")), PELK());
    TearDown();
    SetUp();
  }
}

TEST_F(LutramNoTouchTest, UndrivenLutramDataInputIsAnInternalError) {
  device(Family::KY);
  auto n = host::testing::netlist();
  n.lutram("m").clk(n.input_port("clk"));
  VELMO_EXPERT* expert = start();
  EXPECT_EQ(expert_error(expert), "port_a_data_in && !port_a_data_in->is_vcc_or_gnd()");
}

}  // namespace
