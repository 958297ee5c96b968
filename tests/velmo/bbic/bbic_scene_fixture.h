#pragma once
// The nested partitioned scene ("|" holds A and B, A holds C) as a compiled
// design leaves it: every partition state has a routing model (empty
// routing), which the blackboxing sequence merges and filters.
#include <memory>

#include "jov/jov_design.h"
#include "kiv/kiv_model.h"
#include "testing/partition_builder.h"
#include "vok/vok_re_routing.h"
#include "vok/vok_routing_model.h"

inline host::testing::scenes::PARTITIONED bbic_partitioned_scene() {
  host::testing::scenes::PARTITIONED s = host::testing::scenes::partitioned();
  for (JOV_PARTITION* p : {s.top, s.a, s.b, s.c}) {
    auto* model = new VOK_ROUTING_MODEL({new JUK::FOREST<int, int>(), new JUK::FOREST<int, int>(), new JUK::FOREST<int, int>()});
    model->set_path(KIV_PATH({"db", p->get_name(), "default", "routing"}));
    model->set_routing(std::make_unique<VOK_RE_ROUTING>());
    p->get_state()->get_kiv_state()->add_model(model);
  }
  return s;
}
