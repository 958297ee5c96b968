#pragma once
// A test switch of the timing analysis's hold answers.
#include <cstdint>
#include <optional>

#include "common/host_api.h"

namespace host::sta {
// data (tests): while set, sta_get_node_worst_hold_slack answers this value
// for every node of the analysed netlist (walks over equal hold slacks can
// be driven round a loop); clearing it gives back the analysis's values.
HOST_API void set_uniform_hold_slack(std::optional<std::int32_t> value);
}  // namespace host::sta
