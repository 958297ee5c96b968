// Shell-state helpers: typed model lookup, the atom-id reset under the id
// ban, and the connect state of disconnected boundary inputs.
#include <string>

#include "cfg/cfg.h"
#include "kiv/kiv_model.h"
#include "r5t/r5t_kiv_model.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "velmo_bbic_shell_models.h"
#include "vok/vok_atom_kiv_model.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_routing_model.h"

using host::testing::HostTest;

namespace {

class ShellModelTest : public HostTest {
protected:
  // A model of the given class under the name, held by the state.
  template <class M> M* hold(M* m, const std::string& name) {
    m->set_path(KIV_PATH({"db", "final", name}));
    state.add_model(m);
    return m;
  }
  KIV_STATE state;
};

}  // namespace

TEST_F(ShellModelTest, ModelsAreFoundByNameAndMustHaveTheAskedType) {
  VOK_ATOM_NETLIST netlist;
  VOK_ATOM_KIV_MODEL* nm = hold(new VOK_ATOM_KIV_MODEL(&netlist, false), "netlist");
  R5T_KIV_MODEL* r5t = hold(new R5T_KIV_MODEL(static_cast<R5T_DIRECTIVES*>(nullptr)), "r5t");
  EXPECT_EQ(velmo_bbic_get_model<VOK_ATOM_KIV_MODEL>(state, "netlist"), nm);
  EXPECT_EQ(velmo_bbic_get_model<R5T_KIV_MODEL>(state, "r5t"), r5t);
  EXPECT_EQ(velmo_bbic_get_model<VOK_ROUTING_MODEL>(state, "routing"), nullptr);
  EXPECT_EQ(velmo_bbic_get_netlist(state), &netlist);
  auto e = host::testing::expect_internal_error([&] { velmo_bbic_get_model<VOK_ROUTING_MODEL>(state, "netlist"); });
  EXPECT_EQ(e.condition, "Model netlist does not have type vok_routing");
  // A very long name is cut at the message buffer's end, never written past it.
  const std::string long_name(5000, 'n');
  hold(new R5T_KIV_MODEL(static_cast<R5T_DIRECTIVES*>(nullptr)), long_name);
  e = host::testing::expect_internal_error([&] { velmo_bbic_get_model<VOK_ATOM_KIV_MODEL>(state, long_name); });
  EXPECT_EQ(e.condition.size(), 4095u);
  EXPECT_EQ(e.condition.rfind("Model nnn", 0), 0u);
}

TEST_F(ShellModelTest, NetlistOfAStateWithoutOneIsAnInternalError) {
  hold(new R5T_KIV_MODEL(static_cast<R5T_DIRECTIVES*>(nullptr)), "r5t");
  const auto e = host::testing::expect_internal_error([&] { velmo_bbic_get_netlist(state); });
  EXPECT_EQ(e.condition, "nm");
  EXPECT_EQ(e.tag, "VELMO");
  EXPECT_EQ(e.file, "velmo_bbic");
}

TEST_F(ShellModelTest, NextAtomIdIsSetWithTheBanAsBefore) {
  velmo_bbic_set_next_atom_id(1234);
  EXPECT_EQ(VOK_ATOM_NODE::s_next_id, 1234);
  EXPECT_FALSE(VOK_ATOM_NODE::is_id_manipulation_forbidden());
  cfg_set_on("forbid_atom_id_manipulation");
  VOK_ATOM_NODE::forbid_id_manipulation();
  ASSERT_TRUE(VOK_ATOM_NODE::is_id_manipulation_forbidden());
  velmo_bbic_set_next_atom_id(77);
  EXPECT_EQ(VOK_ATOM_NODE::s_next_id, 77);
  EXPECT_TRUE(VOK_ATOM_NODE::is_id_manipulation_forbidden());
  EXPECT_TRUE(cfg_is_on("forbid_atom_id_manipulation", false));
}

TEST_F(ShellModelTest, PortSideUsagesDisconnectOpenOthersToGround) {
  VOK_ATOM_NODE* a = VOK_ATOM_FACTORY::create_node(VOK_ATOM_KIND::COMB_CELL);
  VOK_ATOM_NETLIST netlist;
  netlist.add_node(a);
  VOK_ATOM_ITERM* t = a->add_input_term(static_cast<DB_INPUT_PORT_TYPE>(12), 0);
  for (int u : {12, 13, 14, 15, 16, 17, 18, 33}) {
    t->set_usage(u);
    EXPECT_EQ(velmo_bbic_get_disconnect_state_for_iterm(t), VOK_NET_ITERM::OPEN) << u;
  }
  for (int u : {0, 11, 19, 20, 32, 34}) {
    t->set_usage(u);
    EXPECT_EQ(velmo_bbic_get_disconnect_state_for_iterm(t), VOK_NET_ITERM::GROUND) << u;
  }
  const auto e = host::testing::expect_internal_error([] { velmo_bbic_get_disconnect_state_for_iterm(nullptr); });
  EXPECT_EQ(e.condition, "iterm");
}
