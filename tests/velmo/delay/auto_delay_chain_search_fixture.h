#pragma once
// The setting search tests' scene: hand-made elements and edge records, and
// the pin scene timed with the pass built on it.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "cfg/cfg.h"
#include "common/host_call_log.h"
#include "hov/hov_utility.h"
#include "kem/kem_compound_edge.h"
#include "kem/kem_netlist.h"
#include "msg/msg_base.h"
#include "omz/omz_option.h"
#include "sta/sta_io_constraints.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/io_delay_scene.h"
#include "testing/netlist_builder.h"
#include "testing/timing_builder.h"
#include "wexan/wexan_fitter_ops.h"
#include "velmo_auto_delay_chain_op.h"
#include "velmo_delay_chain_op.h"
#include "vok/vok_atom_netlist.h"
#include "wexan/wexan_env.h"
#include "wexan/wexan_msgr.h"
#include "yeb/yeb_timing_model.h"
#include "yos/yos_interface.h"
#include "zel/zel_dc_table.h"

namespace adc_search_testing {

using host::testing::Family;

inline YOS_UINT_DATA_ENUM T(int t) { return static_cast<YOS_UINT_DATA_ENUM>(t); }
using PASS = VELMO_AUTO_DELAY_CHAIN_OP;
constexpr std::int32_t NO = VELMO_NO_SLACK_VALUE;

// Hand-made elements and edge records: the search sees only these.
struct SYNTH {
  std::vector<std::unique_ptr<KEM_EDGE_SLACK_INFO>> records;
  std::vector<std::unique_ptr<OPTIMIZATION_ELEMENT>> elements;
  OPTIMIZATION_GROUP group;

  OPTIMIZATION_ELEMENT* element(VOK_ATOM_NODE* atom, int type, int min, int max) {
    auto e = std::make_unique<OPTIMIZATION_ELEMENT>();
    e->atom = atom;
    e->delay_chain_type = T(type);
    e->group_type = VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN;
    e->min_setting = min;
    e->max_setting = max;
    group.opt_elements.push_back(e.get());
    elements.push_back(std::move(e));
    return elements.back().get();
  }
  // Setup and hold per corner (two corners).
  KEM_EDGE_SLACK_INFO* record(std::int32_t s0, std::int32_t s1, std::int32_t h0 = NO, std::int32_t h1 = NO) {
    auto r = std::make_unique<KEM_EDGE_SLACK_INFO>();
    r->edge_id = static_cast<std::int32_t>(records.size());
    r->slack[0][0] = s0;
    r->slack[0][1] = s1;
    r->slack[1][0] = h0;
    r->slack[1][1] = h1;
    records.push_back(std::move(r));
    return records.back().get();
  }
  static void act(OPTIMIZATION_ELEMENT* e, KEM_EDGE_SLACK_INFO* r, bool pos) {
    (pos ? e->pos_edges : e->neg_edges).push_back(r);
    r->opt_elements.emplace_back(e, -1);
  }
};

// The worst legal slot over the given records (two corners).
inline std::int32_t worst_of(const std::vector<KEM_EDGE_SLACK_INFO*>& records) {
  std::int32_t w = NO;
  for (const KEM_EDGE_SLACK_INFO* r : records)
    for (int k = 0; k < 2; ++k)
      for (int c = 0; c < 2; ++c)
        if (r->slack[k][c] != NO && (w == NO || r->slack[k][c] < w)) w = r->slack[k][c];
  return w;
}

class AutoDelayChainSearchTest : public host::testing::EnvTest {
protected:
  // The pin scene on the part's corners (its default ones when none are
  // given), both pins with an I/O delay, timed, and the owner's edges.
  void design(std::vector<DeviceCorner> corners = {}) {
    auto dev = host::testing::device(Family::KY);
    if (!corners.empty()) dev.corners(std::move(corners));
    dev.build();
    sc = host::testing::scenes::io_delay_chains();
    host::timing::set_io_delay(sc.din->get_id(), {"clk", 300, 100});
    host::timing::set_io_delay(sc.dout->get_id(), {"clk", 400, 50});
    m_env->indicate_that_atom_netlist_is_modified();
    hov = m_env->get_hov_utility_or_create_if_necessary(0, 2, 5, false, false, false, false, nullptr, false, false);
    hov->perform_quick_timing_analysis(false);
    owner = std::make_unique<VELMO_DELAY_CHAIN_OP>(m_env);
    owner->init_kem_edges_for_processing_new(hov_get_accessories(), true);
  }
  std::unique_ptr<PASS> pass() {
    auto p = std::make_unique<PASS>(m_env, owner.get());
    p->init_yeb_cell_delays();
    p->build_auto_delay_chain_vec_new();
    return p;
  }
  static unsigned setting_of(VOK_ATOM_NODE* atom, int type) {
    unsigned v = 0;
    yos_current_interface()->get_uint_data(atom, T(type), &v);
    return v;
  }
  host::testing::scenes::IO_DELAY_CHAINS sc;
  WEXAN_HOV_UTILITY* hov = nullptr;
  std::unique_ptr<VELMO_DELAY_CHAIN_OP> owner;
};
}  // namespace adc_search_testing
