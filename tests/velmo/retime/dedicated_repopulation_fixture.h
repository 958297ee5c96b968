#pragma once
// The scene helpers of the dedicated-register depopulation tests: a ZOTA
// device with the fitter environment, per-atom assignments, the metadata
// an atom carries, the posted message ids and placed periphery-side cells.
#include <string>
#include <vector>

#include "cmp/cmp_facade.h"
#include "msg/msg_base.h"
#include "omz/omz_option.h"
#include "pelk/pelk_symbol.h"
#include "r5t/r5t_interface.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "testing/route_helpers.h"
#include "vok/vok_atom_netlist.h"
#include "wexan/wexan_env.h"

class DedicatedRepopulationTest : public host::testing::HostTest {
protected:
  void start(int family = host::testing::Family::KY) {
    host::testing::device(family).build();
    m_env = new WEXAN_ENV(CMP_FACADE::current(), 0, nolt_device_factory_fn);
  }
  void TearDown() override {
    delete m_env;
    HostTest::TearDown();
  }
  static void assign(const VOK_ATOM_NODE* atom, int id, int value) {
    host::options::set(id, 4, std::to_string(value), atom->get_string_hpath());
  }
  static std::string metadata(const VOK_ATOM_NODE* atom, const char* key) {
    PELK v = R5T_INTERFACE::get_or_create_instance()->get_atom_metadata(atom->get_id(), PELK::intern(4, key));
    return v.is_null() ? "" : v.cname();
  }
  static std::vector<unsigned> error_ids() {
    std::vector<unsigned> out;
    for (const auto& m : host::messages::posted()) out.push_back(m.id);
    return out;
  }
  // A placed periphery-side cell (any placed non-register).
  static VOK_ATOM_NODE* periphery(host::testing::NETLIST_BUILDER& n, const std::string& name, host::testing::SIG in,
                                  int x, int y = 3) {
    VOK_ATOM_NODE* p = n.lut(name, {in}, 0x2).atom();
    host::testing::place_at(p, x, y, 0);
    return p;
  }

  WEXAN_ENV* m_env = nullptr;
};
