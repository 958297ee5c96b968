#pragma once
// A small zoo of routings on the generated device, shared by the routing
// tests: one net with a pipeline-register pair in the middle of a branch.
#include <vector>

#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "testing/routing_builder.h"
#include "vok/vok_re_routing.h"

namespace routing_zoo {

using host::testing::NET_BUILDER;
using host::testing::ZOTA_FORM;

class RoutingFixture : public host::testing::HostTest {
protected:
  void SetUp() override {
    HostTest::SetUp();
    host::testing::device(host::testing::Family::KY).build();
    auto n = host::testing::netlist();
    auto clk = n.input_port("clk");
    src = n.reg("src").clk(clk).d(n.input_port("in")).atom();
    other = n.reg("other").clk(clk).d(n.input_port("in2")).atom();
    for (int i = 0; i < 6; ++i) {
      auto s = n.reg("s" + std::to_string(i)).clk(clk).d(src);
      sinks.push_back(s.iterm(DB_INPUT_PORT_DATA_IN));
    }
  }

  // src -> P -+- D ~ Q -+- x -> sink0
  //           |         +- y -> sink1
  //           +- z -> sink2
  // (D and Q a pipeline-register pair: D stands for Q's children.)
  void build_split_net(VOK_RE_ROUTING& r, ZOTA_FORM form) {
    using namespace host::testing;
    auto d = host::testing::routing(&r);
    d.routing(src)
        .mark(SRC)
        .wire(lab_output(5, 4, 94))
        .mark(P)
        .branch([&](NET_BUILDER& b) {
          b.zota(lab_input(5, 4, 60), form);
          D = b.last();
          Q = b.node();
          b.branch([&](NET_BUILDER& c) { c.wire(h(5, 4)).mark(X).sink(sinks[0]); });
          b.branch([&](NET_BUILDER& c) { c.wire(v(5, 4)).mark(Y).sink(sinks[1]); });
        })
        .wire(h(5, 4, 1))
        .mark(Z)
        .sink(sinks[2]);
    S0 = r.forest().first_child(X);
    S1 = r.forest().first_child(Y);
    S2 = r.forest().first_child(Z);
  }

  VOK_ATOM_NODE* src = nullptr;
  VOK_ATOM_NODE* other = nullptr;
  std::vector<VOK_ATOM_ITERM*> sinks;
  int SRC = -1, P = -1, D = -1, Q = -1, X = -1, Y = -1, Z = -1, S0 = -1, S1 = -1, S2 = -1;
};

inline std::vector<int> leaves(const VOK_RE_ROUTING& r, int start, int end) {
  std::vector<int> out;
  for (VOK_RE_ROUTING::leaf_id_iterator it(&r, start, end); !it.at_end(); ++it) out.push_back(*it);
  return out;
}

}  // namespace routing_zoo
