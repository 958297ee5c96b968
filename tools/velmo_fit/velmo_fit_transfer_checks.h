#pragma once
// What velmo-fit says about periphery-core transfer assignments that a
// family cannot honour or that the plan stage drops.
#include <string>
#include <vector>

#include "testing/design_settings.h"

namespace velmo_fit {

// Whether the device family commits periphery-core register transfers (on
// 15 the transfer passes find them and commit none).
bool family_commits_transfers(int family);

// "" or why the settings cannot be fitted on `family`: on a family that
// commits no transfer, an assignment asking for a UIB/ESRAM transfer
// (option 837 = 2) of a register whose one load is a periphery block would
// reach the UIB/ESRAM pass, whose unsolved transfers are an internal error.
// The message names the assignment, the register, its block and the family.
// Needs the design and its periphery blocks loaded.
std::string uib_esram_transfer_refusal(const host::testing::DESIGN_SETTINGS& settings, int family,
                                       const std::string& file);

// After the plan stage on a device whose plan stage depopulates registers
// for their transfers: one line per register forced into a core-to-
// periphery transfer (option 835 = 2) that the stage did not take because
// it has more loads than its periphery block, naming the register, the
// assignment and its other loads.
std::vector<std::string> dropped_forced_transfers();

}  // namespace velmo_fit
