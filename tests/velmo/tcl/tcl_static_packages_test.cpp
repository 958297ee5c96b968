// The component's two Tcl packages are static packages from the moment it is
// loaded (not dynamically): either may be loaded first with `load {}`.
#include <tcl.h>

#include "testing/host_test.h"
#include "testing/own_process.h"
#include "umbr/umbr_tcl.h"
#include "velmo_tcl_args_auto.h"

namespace {
class TclStaticPackagesTest : public host::testing::HostTest {};
}  // namespace

TEST_F(TclStaticPackagesTest, EitherPackageLoadsFirstFromTheStaticList) {
  // A fresh process: nothing has run either package's init yet.
  if (!host::testing::in_own_process()) return;
  Tcl_Interp* interp = host::tcl::create_interpreter();
  ASSERT_EQ(Tcl_Eval(interp, "load {} Eco_fitter"), TCL_OK) << Tcl_GetStringResult(interp);
  EXPECT_EQ(Tcl_Eval(interp, "package present ::torvika::eco_fitter"), TCL_OK) << Tcl_GetStringResult(interp);
  Tcl_CmdInfo info;
  EXPECT_NE(Tcl_GetCommandInfo(interp, "::torvika::eco_fitter::test_tbff", &info), 0);
  ASSERT_EQ(Tcl_Eval(interp, "load {} Velmo"), TCL_OK) << Tcl_GetStringResult(interp);
  EXPECT_NE(Tcl_GetCommandInfo(interp, "::torvika::velmo::velmo_do_ram_op", &info), 0);
}
