// The component opened with dlopen after the host was preset, as the host
// fitter process opens it: every entry point is exported under its C++
// signature, the message catalogue is registered at load, and start-up and
// shut-down run through the exported functions.
#include <dlfcn.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "common/host_call_log.h"
#include "common/host_lent.h"
#include "msg/msg_base.h"
#include "testing/host_test.h"
#include "thr/thr_drl.h"

using host::testing::HostTest;

namespace {

const std::map<std::string, std::string>& exports() {
  static const std::map<std::string, std::string> table = {
#include "velmo_exports.inc"
  };
  return table;
}

class EntryPointsLoadTest : public HostTest {
protected:
  void* open_component() {
    auto path = std::filesystem::path(host::loader::default_dir()) / "libvelmo.so";
    void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    EXPECT_NE(lib, nullptr) << dlerror();
    return lib;
  }
  void* find(void* lib, const std::string& signature) {
    auto it = exports().find(signature);
    if (it == exports().end()) return nullptr;
    return dlsym(lib, it->second.c_str());
  }
};

}  // namespace

TEST_F(EntryPointsLoadTest, EveryEntryPointIsExported) {
  void* lib = open_component();
  ASSERT_NE(lib, nullptr);
  const std::vector<std::string> entry_points = {
      "velmo_initialize_fitter(CMP_FACADE*)",
      "velmo_shutdown_fitter()",
      "velmo_load_user_constraints(bool)",
      "velmo_clear_and_reload_tarnbay_constraints()",
      "velmo_check_and_report(bool, bool)",
      "velmo_print_memory_usage()",
      "velmo_process_design_without_device()",
      "velmo_run_w3j3_prefit()",
      "velmo_write_out_kem_netlist(bool, bool)",
      "velmo_bav_translate_current_strengths()",
      "velmo_perform_port_translation()",
      "velmo_place()",
      "velmo_post_place_operation()",
      "velmo_muvo(char const*)",
      "velmo_muvo_post_route_fixup_iter(bool, bool, bool&, bool&)",
      "velmo_global_route()",
      "velmo_route()",
      "velmo_retime()",
      "velmo_nimbrel()",
      "velmo_finalize()",
      "velmo_post_plan_ops(bool)",
      "velmo_insert_wireluts()",
      "velmo_insert_zota_lutram_wireluts()",
      "velmo_perform_user_logic_duplication()",
      "velmo_pack_registers()",
      "velmo_perform_p2c()",
      "velmo_convert_lutram()",
  };
  for (const auto& sig : entry_points) EXPECT_NE(find(lib, sig), nullptr) << sig;
  bool snapshot_found = false;
  for (const auto& [sig, mangled] : exports())
    if (sig.rfind("velmo_write_intermediate_snapshot(", 0) == 0) snapshot_found = dlsym(lib, mangled.c_str());
  EXPECT_TRUE(snapshot_found);
  // Internals stay hidden.
  for (const auto& [sig, mangled] : exports()) EXPECT_EQ(sig.find("VELMO_EXPERT::"), std::string::npos) << sig;
  dlclose(lib);
}

TEST_F(EntryPointsLoadTest, PresetStartUpRunsThroughTheExports) {
  cfg_set_on("use_dern_flow");
  cfg_set_off("enable_user_macros");
  void* lib = open_component();
  ASSERT_NE(lib, nullptr);

  auto regs = host::messages::registered();
  EXPECT_EQ(regs.size(), 88u);
  EXPECT_EQ(std::count_if(regs.begin(), regs.end(), [](const auto& r) { return r.kind == 0; }), 27);

  auto initialize = reinterpret_cast<bool (*)(CMP_FACADE*)>(find(lib, "velmo_initialize_fitter(CMP_FACADE*)"));
  auto shutdown = reinterpret_cast<void (*)()>(find(lib, "velmo_shutdown_fitter()"));
  ASSERT_NE(initialize, nullptr);
  ASSERT_NE(shutdown, nullptr);
  EXPECT_TRUE(initialize(CMP_FACADE::current()));
  EXPECT_TRUE(host::lent().empty());
  EXPECT_EQ(host::counters::get("govin"), 1);
  auto names = host::call_names();
  EXPECT_EQ(std::count(names.begin(), names.end(), "TESKIN::MANAGER::initialize"), 0);
  shutdown();
  EXPECT_EQ(host::counters::get("govin"), 0);
  EXPECT_EQ(host::call_names().back(), "WEXAN_ENV::~WEXAN_ENV");
  dlclose(lib);
}

TEST_F(EntryPointsLoadTest, ThePhysicalMacMergeAndTheFamilyMergeUtilitiesAreExported) {
  void* lib = open_component();
  ASSERT_NE(lib, nullptr);
  for (const char* sig : {"VELMO_MAC_MERGE_PHYSICAL_OP::VELMO_MAC_MERGE_PHYSICAL_OP(WEXAN_ENV*)",
                          "VELMO_MAC_MERGE_PHYSICAL_OP::do_transformation()",
                          "VELMO_MAC_MERGE_PHYSICAL_OP::~VELMO_MAC_MERGE_PHYSICAL_OP()",
                          "VELMO_QDSP_MERGE_UTIL_KX::VELMO_QDSP_MERGE_UTIL_KX(WEXAN_ENV*)",
                          "VELMO_QDSP_MERGE_UTIL_KY::VELMO_QDSP_MERGE_UTIL_KY(WEXAN_ENV*)",
                          "VELMO_QDSP_MERGE_UTIL_KZ::VELMO_QDSP_MERGE_UTIL_KZ(WEXAN_ENV*)",
                          "VELMO_QDSP_MERGE_UTIL_INTERFACE::merge_mac_atoms(std::vector<VOK_ATOM_NODE*, "
                          "std::allocator<VOK_ATOM_NODE*> >*, VOK_MAC_MODE_ENUM)"})
    EXPECT_NE(find(lib, sig), nullptr) << sig;
  dlclose(lib);
}
