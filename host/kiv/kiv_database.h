#pragma once
// The design's compile database as a store: a model is loaded again from
// what is stored at its path. The stand-in stores what the design's states
// hold; a load of a netlist model reads it back as a new "atom" model with
// its own copy of the netlist (fresh atom ids).
#include <functional>
#include <vector>
#include <string>

#include "common/host_api.h"
#include "kiv/kiv_model.h"

class HOST_API KIV_DATABASE {
public:
  // data: the current design's database.
  static KIV_DATABASE* get();
  // algorithm (recorded): a new model read from the model stored at the
  // path (the first state of the design, in partition order, DEFAULT before
  // the shell, that holds a model of that path); null when none is stored
  // there or it is not a netlist model. The flags are recorded only.
  KIV_MODEL* load_model(const std::vector<std::string>& components, int flag1, int flag2);
};

namespace host::kiv {
// Tests: loads go through `hook` instead (null restores the store).
HOST_API void set_load_hook(std::function<KIV_MODEL*(const KIV_PATH&)> hook);
}  // namespace host::kiv
