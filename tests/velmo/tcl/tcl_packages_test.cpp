// The two Tcl packages: argument-name translation, the command manager,
// registration in a real interpreter and what each command runs.
#include <tcl.h>

#include <string>
#include <utility>
#include <vector>

#include "cfg/cfg.h"
#include "common/host_call_log.h"
#include "common/host_script.h"
#include "gen/gen_profile.h"
#include "msg/msg_base.h"
#include "msg/msg_internal_error.h"
#include "muvo/muvo_entry.h"
#include "nolt/nolt_utilities.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "thr/thr_drl.h"
#include "tibex/tibex_env.h"
#include "velmo_tcl_args_auto.h"
#include "wexan/wexan_env.h"

using host::testing::expect_internal_error;
using host::testing::Family;

namespace {

class TclTranslatorTest : public host::testing::HostTest {};

class TclPackagesTest : public host::testing::EnvTest {
protected:
  void SetUp() override {
    EnvTest::SetUp();
    host::testing::device(Family::KY).build();
    m_interp = host::tcl::create_interpreter();
    Velmo_Init(m_interp);
    Eco_fitter_Init(m_interp);
  }
  int eval(const std::string& script) { return Tcl_Eval(m_interp, script.c_str()); }
  std::string result() const { return Tcl_GetStringResult(m_interp); }
  bool command_exists(const std::string& name) {
    Tcl_CmdInfo info;
    return Tcl_GetCommandInfo(m_interp, name.c_str(), &info) != 0;
  }
  Tcl_Interp* m_interp = nullptr;
};

}  // namespace

TEST_F(TclTranslatorTest, HelpNamesAndTheirAbbreviations) {
  auto name_to_enum = velmo_auto_get_test_retiming_argument_enum_by_string;
  EXPECT_EQ(name_to_enum("h"), 1);
  for (const char* n : {"he", "hel", "help"}) EXPECT_EQ(name_to_enum(n), 2) << n;
  for (const char* n : {"l", "lo", "lon", "long", "long_", "long_h", "long_he", "long_hel", "long_help"})
    EXPECT_EQ(name_to_enum(n), 3) << n;
  for (const char* n : {"HELP", "Help", "helpx", "long-help", "long_helpx", "x", "-help"})
    EXPECT_EQ(name_to_enum(n), 0) << n;
  EXPECT_EQ(name_to_enum(""), 4);
  EXPECT_EQ(name_to_enum(nullptr), 4);
  // Every command knows the same names.
  EXPECT_EQ(velmo_auto_get_clear_tbff_argument_enum_by_string("lon"), 3);
  EXPECT_EQ(velmo_auto_get_do_prefit_ram_op_argument_enum_by_string("hel"), 2);

  // The exact translator alone knows no abbreviation.
  EXPECT_EQ(velmo_auto_get_argument_enum_by_string("he"), 0);
  EXPECT_EQ(velmo_auto_get_argument_enum_by_string("long_help"), 3);
  // Without a name both translators answer "no name", not "unknown".
  EXPECT_EQ(velmo_auto_get_argument_enum_by_string(""), 4);
  EXPECT_EQ(velmo_auto_get_argument_enum_by_string(nullptr), 4);
  EXPECT_TRUE(velmo_auto_exists_argument_enum_by_string("h"));
  EXPECT_FALSE(velmo_auto_exists_argument_enum_by_string(""));
  EXPECT_STREQ(velmo_auto_get_string_by_argument_enum(1), "h");
  EXPECT_STREQ(velmo_auto_get_string_by_argument_enum(2), "help");
  EXPECT_STREQ(velmo_auto_get_string_by_argument_enum(3), "long_help");
  for (int e : {0, 4})
    EXPECT_EQ(expect_internal_error([&] { velmo_auto_get_string_by_argument_enum(e); }).condition,
              "The calling function has passed an illegal VELMO_AUTO_ARGUMENT_ENUM");
}

TEST_F(TclTranslatorTest, TheMapGrowsOnlyPastFourFifthsOfItsBuckets) {
  std::vector<std::string> keys;
  for (int i = 0; i < 52; ++i) keys.push_back("key" + std::to_string(i));
  VELMO_AUTO_HASH map;
  map.resize(20);
  EXPECT_EQ(map.bucket_count(), 61u);
  for (int i = 0; i < 51; ++i) map[keys[static_cast<std::size_t>(i)].c_str()] = i;
  EXPECT_EQ(map.bucket_count(), 61u);
  map[keys[51].c_str()] = 51;
  EXPECT_GT(map.bucket_count(), 61u);
  // Keys compare by content and survive the growth.
  for (int i = 0; i < 52; ++i) {
    const std::string copy = keys[static_cast<std::size_t>(i)];
    ASSERT_NE(map.find(copy.c_str()), nullptr) << i;
    EXPECT_EQ(map.find(copy.c_str())->value, i);
  }
  EXPECT_EQ(map.size(), 52u);
}

TEST_F(TclTranslatorTest, EachCommandsFrameworkObjectIsMadeOnce) {
  VELMO_AUTO_MANAGER& manager = VELMO_AUTO_MANAGER::get_instance();
  UMBR_CMD* first = manager.register_command(7, &velmo_auto_test_tbff_cmd_def);
  EXPECT_EQ(manager.register_command(7, &velmo_auto_test_tbff_cmd_def), first);
  EXPECT_EQ(first->get_definition(), &velmo_auto_test_tbff_cmd_def);
  EXPECT_STREQ(velmo_auto_test_tbff_cmd_def.package, "eco_fitter");
  EXPECT_STREQ(velmo_auto_do_prefit_ram_op_cmd_def.command, "velmo_do_ram_op");
  bool flag = false;
  EXPECT_EQ(expect_internal_error([&] { velmo_init_test_tbff(nullptr, &flag, 0, nullptr); }).condition, "args != 0");
}

TEST_F(TclPackagesTest, BothPackagesRegisterTheirCommandsAndSecondNames) {
  EXPECT_EQ(eval("package require ::torvika::velmo"), TCL_OK);
  EXPECT_EQ(result(), "1.0");
  EXPECT_EQ(eval("package require ::torvika::eco_fitter"), TCL_OK);
  for (const char* c : {"::torvika::velmo::velmo_do_dsp_sign_ext", "::torvika::velmo::velmo_do_ram_op",
                        "::torvika::eco_fitter::test_retiming", "::torvika::eco_fitter::muvo_retiming",
                        "::torvika::eco_fitter::optimize_tbff", "::torvika::eco_fitter::clear_tbff"})
    EXPECT_TRUE(command_exists(c)) << c;
  EXPECT_EQ(eval("namespace eval ::x { namespace import ::torvika::eco_fitter::test_tbff }"), TCL_OK) << result();

  // A second name and the first share the framework object: the first made
  // it (unless an earlier test of this process did, the object lives as long
  // as the process), the second makes none, and it is the command's own.
  const int live = host::counters::get("UMBR_CMD");
  EXPECT_EQ(eval("::torvika::eco_fitter::optimize_tbff"), TCL_OK);
  EXPECT_THAT(host::debug::texts(), HasDebugLine("TBFF: Initializing TBFF optimization"));
  const int made = host::counters::get("UMBR_CMD");
  EXPECT_LE(made - live, 1);
  EXPECT_EQ(eval("::torvika::eco_fitter::test_tbff"), TCL_OK);
  EXPECT_EQ(host::counters::get("UMBR_CMD"), made);
  UMBR_CMD* shared = VELMO_AUTO_MANAGER::get_instance().register_command(7, &velmo_auto_test_tbff_cmd_def);
  EXPECT_EQ(host::counters::get("UMBR_CMD"), made) << "the commands made no framework object";
  EXPECT_EQ(shared->get_definition(), &velmo_auto_test_tbff_cmd_def);

  EXPECT_EQ(Velmo_Unload(m_interp, 0), 0);
  EXPECT_FALSE(command_exists("::torvika::velmo::velmo_do_dsp_sign_ext"));
  EXPECT_TRUE(command_exists("::torvika::eco_fitter::test_tbff"));
  EXPECT_EQ(Eco_fitter_Unload(m_interp, 0), 0);
  EXPECT_FALSE(command_exists("::torvika::eco_fitter::test_tbff"));
}

TEST_F(TclPackagesTest, MuvoCommandsSetTheTrickForTheRunOnly) {
  cfg_set_value("muvo_post_route_zota_tricks", "earlier");
  EXPECT_EQ(eval("::torvika::eco_fitter::test_reroute"), TCL_OK);
  EXPECT_EQ(eval("::torvika::eco_fitter::muvo_replace"), TCL_OK);
  EXPECT_EQ(eval("::torvika::eco_fitter::test_bypass_removal"), TCL_OK);
  host::script::queue<bool>("muvo").push(false);  // the result is not looked at
  EXPECT_EQ(eval("::torvika::eco_fitter::muvo_reroute"), TCL_OK);
  EXPECT_EQ(host::muvo::tricks_seen(),
            (std::vector<std::string>{"incr_route", "pr_mdup", "bypass_remove", "incr_route"}));
  EXPECT_EQ(cfg_get_value("muvo_post_route_zota_tricks"), "earlier");
  EXPECT_EQ(host::call_count("muvo"), 4);
  // Each run in its own profiling bin, opened as every bin of the component is.
  EXPECT_THAT(host::call_lines(),
              CallSequence(std::vector<std::string>{
                  "GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"ECO Incremental Reroute\", 2147483647, null)",
                  "GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"ECO Incremental Replace\", 2147483647, null)",
                  "GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"ECO Incremental Bypass Removal\", 2147483647, null)"}));

  // Also when the run raises: the command fails, the bin is closed (checked
  // at tear-down) and the variable restored.
  host::script::on("muvo", [] { MSG_INTERNAL_ERROR::report("boom", "HOST", "muvo", 1); });
  EXPECT_EQ(eval("::torvika::eco_fitter::test_replace"), TCL_ERROR);
  EXPECT_EQ(result(), "Internal Error: boom");
  EXPECT_EQ(cfg_get_value("muvo_post_route_zota_tricks"), "earlier");
}

TEST_F(TclPackagesTest, HelpWordsStopTheCommandAndUnknownWordsFail) {
  host::clear_calls();
  for (const char* word : {"-h", "-help", "-lo"}) {
    EXPECT_EQ(eval(std::string("::torvika::eco_fitter::test_reroute ") + word), TCL_OK) << word;
  }
  EXPECT_EQ(host::call_count("muvo"), 0);
  EXPECT_TRUE(host::muvo::tricks_seen().empty());
  EXPECT_EQ(host::call_count("GEN_PROFILE_BINS::open_with_tag"), 0);
  EXPECT_EQ(eval("::torvika::eco_fitter::test_reroute -helpme"), TCL_ERROR);
  EXPECT_EQ(result(), "Unknown option '-helpme'");
  EXPECT_EQ(eval("::torvika::velmo::velmo_do_ram_op extra"), TCL_ERROR);
  EXPECT_EQ(host::call_count("muvo"), 0);
  // Each command's usage names the command (a second name answers with its
  // first name's), whichever of them was asked first.
  const std::pair<const char*, const char*> usages[] = {
      {"velmo::velmo_do_dsp_sign_ext", "velmo::velmo_do_dsp_sign_ext"},
      {"velmo::velmo_do_ram_op", "velmo::velmo_do_ram_op"},
      {"eco_fitter::test_resynthesis", "eco_fitter::test_resynthesis"},
      {"eco_fitter::muvo_resynthesis", "eco_fitter::test_resynthesis"},
      {"eco_fitter::test_retiming", "eco_fitter::test_retiming"},
      {"eco_fitter::muvo_retiming", "eco_fitter::test_retiming"},
      {"eco_fitter::test_reroute", "eco_fitter::test_reroute"},
      {"eco_fitter::muvo_reroute", "eco_fitter::test_reroute"},
      {"eco_fitter::test_replace", "eco_fitter::test_replace"},
      {"eco_fitter::muvo_replace", "eco_fitter::test_replace"},
      {"eco_fitter::test_bypass_removal", "eco_fitter::test_bypass_removal"},
      {"eco_fitter::muvo_bypass_removal", "eco_fitter::test_bypass_removal"},
      {"eco_fitter::test_tbff", "eco_fitter::test_tbff"},
      {"eco_fitter::optimize_tbff", "eco_fitter::test_tbff"},
      {"eco_fitter::clear_tbff", "eco_fitter::clear_tbff"}};
  for (const auto& [command, named] : usages) {
    EXPECT_EQ(eval(std::string("::torvika::") + command + " -h"), TCL_OK) << command;
    EXPECT_EQ(result(), std::string("Usage: ") + named) << command;
  }
}

TEST_F(TclPackagesTest, StatusFollowsTheOperation) {
  EXPECT_EQ(eval("::torvika::velmo::velmo_do_dsp_sign_ext"), TCL_OK);
  // The retimer needs the timing netlist: without one it raises and the
  // command fails; with one, a run with nothing to retime succeeds.
  EXPECT_EQ(eval("::torvika::eco_fitter::test_retiming"), TCL_ERROR);
  EXPECT_EQ(result(), "Internal Error: m_kem_netlist != nullptr");
  // So does the resynthesis (the only way it fails: it reports success
  // otherwise), under both its names.
  for (const char* name : {"test_resynthesis", "muvo_resynthesis"}) {
    EXPECT_EQ(eval(std::string("::torvika::eco_fitter::") + name), TCL_ERROR) << name;
    EXPECT_EQ(result(), "Internal Error: m_kem_netlist") << name;
  }
  {
    auto n = host::testing::netlist();
    host::testing::SIG clk = n.input_port("clk");
    n.clock("clk", 10, clk);
    n.reg("r").clk(clk).d(n.input_port("d"));
    n.timing();
  }
  host::clear_calls();
  EXPECT_EQ(eval("::torvika::eco_fitter::test_retiming"), TCL_OK);
  EXPECT_THAT(host::call_lines(), CallSequence(std::vector<std::string>{
                                      "GEN_PROFILE_BINS::close(\"ECO Incremental Retimer\")"}));
  for (const char* name : {"test_resynthesis", "muvo_resynthesis"})
    EXPECT_EQ(eval(std::string("::torvika::eco_fitter::") + name), TCL_OK) << name;
  EXPECT_EQ(eval("::torvika::eco_fitter::clear_tbff"), TCL_OK);
  // Without the time-borrowing option there is nothing to revert.
  EXPECT_THAT(host::debug::texts(), ::testing::Not(HasDebugLine("TBFF: Initializing TBFF optimization")));
  // A MAC whose sign bit is unconnected makes the sign extension fail: the
  // command fails with it.
  {
    auto n = host::testing::netlist();
    n.mac("bad").mode(2).data(DB_MAC_DATA_AX, {n.input_port("x0"), host::testing::SIG()}, true, 4);
  }
  EXPECT_EQ(eval("::torvika::velmo::velmo_do_dsp_sign_ext"), TCL_ERROR);
  EXPECT_THAT(host::messages::posted(),
              ::testing::Contains(::testing::Field(&POSTED_MESSAGE::text,
                                                   "Illegal DSP atom bad with unconnected inputs")));
}

TEST_F(TclPackagesTest, RamSequenceStopsAtAFailingAddressLineOp) {
  auto* installed = new NOLT_RAM_PACKING_CHECK_BODY(m_env);
  TIBEX_ENV::set_tibex_ram_packer(installed);
  host::script::queue<bool>("NOLT_ADD_GROUND_ADDRESS_LINES_TO_RAM_OP::work").push(false);
  EXPECT_EQ(eval("::torvika::velmo::velmo_do_ram_op"), TCL_ERROR);
  EXPECT_EQ(TIBEX_ENV::get_tibex_ram_packer(), installed);
  EXPECT_EQ(host::call_count("NOLT_RAM_DUP_DATA_OP::work"), 0);

  host::script::queue<bool>("NOLT_RAM_DUP_DATA_OP::work").push(false);
  EXPECT_EQ(eval("::torvika::velmo::velmo_do_ram_op"), TCL_ERROR);
  EXPECT_NE(TIBEX_ENV::get_tibex_ram_packer(), installed);  // replaced (and the old one deleted)
  EXPECT_EQ(eval("::torvika::velmo::velmo_do_ram_op"), TCL_OK);
  EXPECT_EQ(host::call_count("NOLT_RAM_DUP_DATA_OP::work"), 2);
  NOLT_RAM_PACKING_CHECK_BODY* last = TIBEX_ENV::get_tibex_ram_packer();
  TIBEX_ENV::set_tibex_ram_packer(nullptr);
  delete last;
}

class TclWithoutEnvironmentTest : public host::testing::HostTest {};

TEST_F(TclWithoutEnvironmentTest, CommandsNeedTheFitterEnvironment) {
  Tcl_Interp* interp = host::tcl::create_interpreter();
  // Both packages are static packages from the moment the component is
  // loaded: `load {}` finds each with its init function.
  ASSERT_EQ(Tcl_Eval(interp, "load {} Velmo"), TCL_OK) << Tcl_GetStringResult(interp);
  ASSERT_EQ(Tcl_Eval(interp, "load {} Eco_fitter"), TCL_OK) << Tcl_GetStringResult(interp);
  // The host's dispatch answers before any command runs (help words too):
  // neither the component's nor the host's checks of the environment are
  // reached.
  for (const char* c : {"::torvika::velmo::velmo_do_dsp_sign_ext", "::torvika::velmo::velmo_do_ram_op",
                        "::torvika::eco_fitter::test_tbff", "::torvika::eco_fitter::clear_tbff",
                        "::torvika::eco_fitter::test_retiming", "::torvika::eco_fitter::test_reroute",
                        "::torvika::eco_fitter::muvo_replace", "::torvika::eco_fitter::test_bypass_removal",
                        "::torvika::eco_fitter::test_retiming -help"}) {
    host::clear_calls();
    EXPECT_EQ(Tcl_Eval(interp, c), TCL_ERROR) << c;
    EXPECT_STREQ(Tcl_GetStringResult(interp), "no fit is running") << c;
    EXPECT_EQ(host::call_count("UMBR_ARGS::process_tcl_command_arguments"), 0) << c;
  }
  EXPECT_TRUE(host::muvo::tricks_seen().empty());

  // Reached past the host's dispatch (straight from the callback tables), a
  // command that works on the environment stops with an internal error
  // instead of running on none.
  Tcl_Obj* word = Tcl_NewStringObj("command", -1);
  Tcl_IncrRefCount(word);
  Tcl_Obj* const objv[] = {word};
  for (UMBR_CALLBACK* row : {&velmo_velmo_tcl_callbacks[0], &velmo_velmo_tcl_callbacks[1],
                             &velmo_eco_fitter_tcl_callbacks[11], &velmo_eco_fitter_tcl_callbacks[12]}) {
    const auto e = expect_internal_error([&] { row->proc(nullptr, interp, 1, objv); });
    EXPECT_EQ(e.condition, "m_env") << row->name;
    EXPECT_EQ(e.file, "velmo_tcl") << row->name;
  }
  Tcl_DecrRefCount(word);
}

TEST_F(TclWithoutEnvironmentTest, RegistrationNeedsAnInterpreter) {
  EXPECT_EQ(expect_internal_error([] { velmo_velmo_register_tcl(); }).condition,
            "A Tcl interpreter must exist before registering ::torvika::velmo!");
  EXPECT_EQ(expect_internal_error([] { velmo_eco_fitter_unregister_tcl(); }).condition,
            "A Tcl interpreter must exist before unregistering ::torvika::eco_fitter!");
  // Loaded by an interpreter the host does not have, the packages give it a
  // Tcl error it can catch, and register nothing.
  Tcl_Interp* plain = Tcl_CreateInterp();
  host::clear_calls();
  EXPECT_EQ(Velmo_Init(plain), TCL_ERROR);
  EXPECT_STREQ(Tcl_GetStringResult(plain), "A Tcl interpreter must exist before registering ::torvika::velmo!");
  EXPECT_EQ(Eco_fitter_Init(plain), TCL_ERROR);
  EXPECT_STREQ(Tcl_GetStringResult(plain), "A Tcl interpreter must exist before registering ::torvika::eco_fitter!");
  EXPECT_EQ(host::call_count("umbr_begin_package_setup"), 0);
  // An adopted interpreter its owner deletes is forgotten: the next load
  // meets no interpreter instead of a freed one.
  host::tcl::adopt_interpreter(plain);
  EXPECT_EQ(umbr_get_interpreter(), plain);
  Tcl_DeleteInterp(plain);
  EXPECT_EQ(umbr_get_interpreter(), nullptr);
  Tcl_Interp* next = Tcl_CreateInterp();
  EXPECT_EQ(Velmo_Init(next), TCL_ERROR);
  EXPECT_STREQ(Tcl_GetStringResult(next), "A Tcl interpreter must exist before registering ::torvika::velmo!");
  // Adopted again, it is the host's until it goes.
  host::tcl::adopt_interpreter(next);
  EXPECT_EQ(Velmo_Init(next), TCL_OK);
  Tcl_CmdInfo info;
  EXPECT_NE(Tcl_GetCommandInfo(next, "::torvika::velmo::velmo_do_ram_op", &info), 0);
  Tcl_DeleteInterp(next);
  EXPECT_EQ(umbr_get_interpreter(), nullptr);
}
