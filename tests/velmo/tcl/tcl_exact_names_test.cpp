// The exact argument-name translator knows the three help names and nothing
// else: none of their abbreviations, whatever a command makes of them.
#include <string>

#include "testing/host_test.h"
#include "velmo_tcl_args_auto.h"

namespace {
class TclExactNamesTest : public host::testing::HostTest {};
}  // namespace

TEST_F(TclExactNamesTest, OnlyTheThreeHelpNamesAreExactNames) {
  for (const char* n : {"he", "hel", "l", "lo", "lon", "long", "long_", "long_h", "long_he", "long_hel"}) {
    EXPECT_FALSE(velmo_auto_exists_argument_enum_by_string(n)) << n;
    EXPECT_EQ(velmo_auto_get_argument_enum_by_string(n), 0) << n;
    // A command still takes each as the name it abbreviates.
    EXPECT_EQ(velmo_auto_get_test_reroute_argument_enum_by_string(n), n[0] == 'h' ? 2 : 3) << n;
  }
  const char* const names[] = {"h", "help", "long_help"};
  for (int e = 1; e <= 3; ++e) {
    EXPECT_TRUE(velmo_auto_exists_argument_enum_by_string(names[e - 1]));
    EXPECT_EQ(velmo_auto_get_argument_enum_by_string(names[e - 1]), e);
    EXPECT_STREQ(velmo_auto_get_string_by_argument_enum(e), names[e - 1]);
  }
}
