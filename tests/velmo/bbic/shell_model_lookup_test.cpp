// The shell's model lookup when a name is held twice, and the routing copy's
// refusal of states that lack a model it needs.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kiv/kiv_model.h"
#include "r5t/r5t_kiv_model.h"
#include "testing/host_test.h"
#include "velmo_bbic_shell_models.h"
#include "vok/vok_atom_kiv_model.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_routing_model.h"
#include "zmp_bool_vector.h"

using host::testing::HostTest;

namespace {

class ShellModelLookupTest : public HostTest {
protected:
  template <class M> M* hold(KIV_STATE& state, M* m, const std::string& dir, const std::string& name) {
    m->set_path(KIV_PATH({"db", dir, name}));
    state.add_model(m);
    return m;
  }
};

}  // namespace

// Of two models under one name, the lookup gives the one added first, and
// only its type is checked.
TEST_F(ShellModelLookupTest, ANameHeldTwiceGivesTheFirstModel) {
  KIV_STATE state;
  VOK_ATOM_NETLIST first_netlist, second_netlist;
  VOK_ATOM_KIV_MODEL* first = hold(state, new VOK_ATOM_KIV_MODEL(&first_netlist, false), "a", "netlist");
  hold(state, new VOK_ATOM_KIV_MODEL(&second_netlist, false), "b", "netlist");
  EXPECT_EQ(velmo_bbic_get_model<VOK_ATOM_KIV_MODEL>(state, "netlist"), first);
  EXPECT_EQ(velmo_bbic_get_netlist(state), &first_netlist);

  // A later model of another type under the same name is never looked at.
  KIV_STATE mixed;
  VOK_ATOM_KIV_MODEL* nm = hold(mixed, new VOK_ATOM_KIV_MODEL(&first_netlist, false), "a", "netlist");
  hold(mixed, new R5T_KIV_MODEL(static_cast<R5T_DIRECTIVES*>(nullptr)), "b", "netlist");
  EXPECT_EQ(velmo_bbic_get_model<VOK_ATOM_KIV_MODEL>(mixed, "netlist"), nm);
  // The first one decides the type check too.
  KIV_STATE wrong_first;
  hold(wrong_first, new R5T_KIV_MODEL(static_cast<R5T_DIRECTIVES*>(nullptr)), "a", "netlist");
  hold(wrong_first, new VOK_ATOM_KIV_MODEL(&second_netlist, false), "b", "netlist");
  const auto e =
      host::testing::expect_internal_error([&] { velmo_bbic_get_model<VOK_ATOM_KIV_MODEL>(wrong_first, "netlist"); });
  EXPECT_EQ(e.condition, "Model netlist does not have type " + std::string(VOK_ATOM_KIV_MODEL::s_model_type_string));
}

// The routing copy needs the full state's routing model and the shell's
// netlist: either missing is an internal error naming it, and the shell is
// left without a routing model.
TEST_F(ShellModelLookupTest, RoutingCopyRefusesAMissingRoutingModelOrShellNetlist) {
  VOK_ATOM_NETLIST netlist;
  KIV_STATE full, shell;
  hold(full, new VOK_ATOM_KIV_MODEL(&netlist, false), "full", "netlist");
  hold(shell, new VOK_ATOM_KIV_MODEL(&netlist, false), "shell", "netlist");
  auto e = host::testing::expect_internal_error([&] { velmo_bbic_copy_routing_model(shell, full); });
  EXPECT_EQ(e.condition, "full_routing_model");
  EXPECT_EQ(e.tag, "VELMO");
  EXPECT_EQ(e.file, "velmo_bbic");
  EXPECT_EQ(velmo_bbic_get_model<VOK_ROUTING_MODEL>(shell, "routing"), nullptr);

  // With the full routing model, a shell without a netlist is refused too.
  VOK_ROUTING_MODEL* full_routing = hold(
      full, new VOK_ROUTING_MODEL(std::vector<JUK::FOREST<int, int>*>(VOK_ROUTING_MODEL::NUM_NETWORK_TYPES, nullptr)),
      "full", "routing");
  auto bits = std::make_unique<ZMP_BOOL_VECTOR>(40);
  bits->set(3, true);
  bits->set(37, true);
  full_routing->set_bit_set(std::move(bits));
  KIV_STATE bare_shell;
  e = host::testing::expect_internal_error([&] { velmo_bbic_copy_routing_model(bare_shell, full); });
  EXPECT_EQ(e.condition, "nm");
  EXPECT_EQ(velmo_bbic_get_model<VOK_ROUTING_MODEL>(bare_shell, "routing"), nullptr);
  // Both present: the shell gets a routing model of its own on its netlist.
  velmo_bbic_copy_routing_model(shell, full);
  VOK_ROUTING_MODEL* copy = velmo_bbic_get_model<VOK_ROUTING_MODEL>(shell, "routing");
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy, full_routing);
  // The bit set goes along as a copy of its own.
  ASSERT_NE(copy->get_bit_set(), nullptr);
  ASSERT_NE(copy->get_bit_set(), full_routing->get_bit_set());
  EXPECT_EQ(copy->get_bit_set()->size(), 40u);
  for (std::uint32_t i = 0; i < 40; ++i) EXPECT_EQ(copy->get_bit_set()->test(i), i == 3 || i == 37) << i;
  full_routing->get_bit_set()->set(5, true);
  EXPECT_FALSE(copy->get_bit_set()->test(5));
}
