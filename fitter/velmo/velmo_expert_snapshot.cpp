// Whether intermediate fitter snapshots are committed in this compile: decided
// once per process from the project's settings, the recompile state, an
// internal override and the command line, and reported once.
#include <mutex>
#include <string>
#include <utility>

#include "cfg/cfg.h"
#include "gen/gen_profile.h"
#include "jov/jov_design.h"
#include "omz/omz_option.h"
#include "swavo/swavo_recompile_op.h"
#include "velmo_debug.h"
#include "velmo_expert.h"
#include "velmo_msgs.h"

namespace {
// Assignment settings read from the design's option namespace.
constexpr int k_nimbrel_analysis_setting = 1180;
constexpr int k_formal_verification_setting = 627;
constexpr int k_enable_intermediate_snapshots_setting = 1170;

bool l_setting_on(const OMZ_NAMESPACE* ns, int type) {
  const OMZ_OPTION* option = OMZ_DERIVED_OPTION::get_single_option(ns, type, true);
  return option != nullptr && option->get_value() != 0;
}

void l_post(MSG_I* message) {
  message->set_report(nullptr);
  message->post();
  delete message;
}
}  // namespace

std::pair<bool, std::string> velmo_write_intermediate_snapshot_and_report_reason_(const OMZ_NAMESPACE* ns,
                                                                                const std::string& command_line) {
  std::pair<bool, std::string> decision(false, "ENABLE_INTERMEDIATE_SNAPSHOTS WAB assignment is disabled");
  if (l_setting_on(ns, k_nimbrel_analysis_setting)) {
    decision = {true, "Zento-Retimer Nimbrel analysis is being enabled"};
  } else if (l_setting_on(ns, k_formal_verification_setting)) {
    decision = {true, "Formal Verification support is being enabled"};
  } else if (SWAVO_RECOMPILE_OP::is_user_swavo_recompile_flow()) {
    decision = {true, "Swavo Recompile is being enabled"};
  } else if (cfg_is_on("fit2_force_intermediate_snapshot_write", false)) {
    decision = {true, "it is enabled by internal ini"};
  } else if (l_setting_on(ns, k_enable_intermediate_snapshots_setting)) {
    decision = {true, "ENABLE_INTERMEDIATE_SNAPSHOTS WAB assignment is enabled"};
  }

  if (decision.first) {
    l_post(MSG_VELMO::I::INTERMEDIATE_FIT_SNAPSHOT("be committed", decision.second));
  } else {
    // A fitter run as a single stage says nothing: the full compile reports it.
    static const char* const k_single_stage_args[] = {"--plan",  "--place", "--route",
                                                      "--retime", "--final", "--nimbrel"};
    bool single_stage = false;
    for (const char* arg : k_single_stage_args) {
      if (command_line.find(arg) != std::string::npos) {
        single_stage = true;
        break;
      }
    }
    if (!single_stage) l_post(MSG_VELMO::I::INTERMEDIATE_FIT_SNAPSHOT("not be committed", decision.second));
  }
  return decision;
}
