#include "cfg/cfg.h"

#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>

#include "common/host_call_log.h"
#include "common/host_control.h"
#include "testing/host_test.h"

using host::testing::HostTest;

class CfgTest : public HostTest {};

TEST_F(CfgTest, AbsentOrEmptyReadsAsTheCallersDefault) {
  EXPECT_TRUE(cfg_is_on("velmo_x", true));
  EXPECT_FALSE(cfg_is_on("velmo_x", false));
  EXPECT_EQ(cfg_get_int_value("velmo_n", 17), 17);
  EXPECT_EQ(cfg_get_value("velmo_s"), "");
  cfg_set_value("velmo_x", "");
  cfg_set_value("velmo_n", "");
  EXPECT_TRUE(cfg_is_on("velmo_x", true));
  EXPECT_EQ(cfg_get_int_value("velmo_n", 17), 17);
  EXPECT_EQ(cfg_get_value("velmo_s", "fallback"), "fallback");
}

TEST_F(CfgTest, BooleanAndIntegerTexts) {
  for (const char* on : {"on", "TRUE", "Yes", "1", "7"}) {
    cfg_set_value("b", on);
    EXPECT_TRUE(cfg_is_on("b", false)) << on;
  }
  for (const char* off : {"off", "False", "NO", "0"}) {
    cfg_set_value("b", off);
    EXPECT_FALSE(cfg_is_on("b", true)) << off;
  }
  cfg_set_value("i", "0x10");
  EXPECT_EQ(cfg_get_int_value("i", 0), 16);
  cfg_set_value("i", "-42");
  EXPECT_EQ(cfg_get_int_value("i", 0), -42);
  cfg_set_int_value("i", 9);
  EXPECT_EQ(cfg_get_value("i"), "9");
  cfg_set_on("b");
  EXPECT_EQ(cfg_get_value("b"), "on");
  cfg_set_off("b");
  EXPECT_EQ(cfg_get_value("b"), "off");
  host::cfg::unset("b");
  EXPECT_TRUE(cfg_is_on("b", true));
}

TEST_F(CfgTest, BadTextGivesTheDefaultAndIsRecorded) {
  cfg_set_value("velmo_bad", "maybe");
  EXPECT_TRUE(cfg_is_on("velmo_bad", true));
  EXPECT_EQ(cfg_get_int_value("velmo_bad", 5), 5);
  cfg_set_value("velmo_big", "99999999999");
  EXPECT_EQ(cfg_get_int_value("velmo_big", 3), 3);
  EXPECT_EQ(host::call_names(), (std::vector<std::string>{"cfg: bad value", "cfg: bad value", "cfg: bad value"}));
  // Integers are those of int: nothing beyond wraps into it.
  for (const char* beyond : {"4294967295", "0xFFFFFFFF", "2147483648", "-2147483649"}) {
    cfg_set_value("velmo_big", beyond);
    EXPECT_EQ(cfg_get_int_value("velmo_big", 3), 3) << beyond;
    EXPECT_TRUE(cfg_is_on("velmo_big", true)) << beyond;
    EXPECT_FALSE(cfg_is_on("velmo_big", false)) << beyond;
  }
  cfg_set_value("velmo_big", "2147483647");
  EXPECT_EQ(cfg_get_int_value("velmo_big", 3), 2147483647);
  cfg_set_value("velmo_big", "-0x80000000");
  EXPECT_EQ(cfg_get_int_value("velmo_big", 3), -2147483647 - 1);
  // A sign belongs before the radix prefix only; the most negative 64-bit
  // magnitude is refused, not negated.
  for (const char* misplaced : {"0x-5", "-0x-5", "0x+5", "-0x-8000000000000000", "-0x8000000000000000",
                                "0x 5", "-0x80000001"}) {
    int v = 77;
    EXPECT_FALSE(host::cfg::parse_int(misplaced, &v)) << misplaced;
    EXPECT_EQ(v, 77) << misplaced;
  }
  int v = 0;
  EXPECT_TRUE(host::cfg::parse_int("-0x7fffffff", &v));
  EXPECT_EQ(v, -2147483647);
  EXPECT_TRUE(host::cfg::parse_int("0X1f", &v));
  EXPECT_EQ(v, 31);
}

namespace {
std::vector<std::string> g_bad_values;
void note_bad_value(const std::string& name, const std::string& value, const char* kind) {
  g_bad_values.push_back(name + "=" + value + " " + kind);
}
}  // namespace

TEST_F(CfgTest, EachUnreadableValueIsReportedOnce) {
  g_bad_values.clear();
  host::cfg::set_bad_value_listener(&note_bad_value);
  cfg_set_value("velmo_n", "many");
  for (int i = 0; i < 3; ++i) EXPECT_EQ(cfg_get_int_value("velmo_n", 4), 4);
  EXPECT_TRUE(cfg_is_on("velmo_n", true));
  cfg_set_value("velmo_n", "lots");
  EXPECT_EQ(cfg_get_int_value("velmo_n", 4), 4);
  cfg_set_value("velmo_n", "8");
  EXPECT_EQ(cfg_get_int_value("velmo_n", 4), 8);
  host::cfg::set_bad_value_listener(nullptr);
  EXPECT_EQ(g_bad_values, (std::vector<std::string>{"velmo_n=many integer", "velmo_n=lots integer"}));
}

TEST_F(CfgTest, PresetFromTheEnvironmentSurvivesReset) {
  // The preset is the process's environment, read again at every reset; the
  // test sets its own and gives back the one it found.
  const char* found = std::getenv("VELMO_CFG");
  const std::optional<std::string> saved = found ? std::optional<std::string>(found) : std::nullopt;
  ASSERT_EQ(setenv("VELMO_CFG", "velmo_test_preset=41", 1), 0);
  ASSERT_TRUE(host_reset());
  EXPECT_EQ(cfg_get_int_value("velmo_test_preset", 0), 41);
  cfg_set_int_value("velmo_test_preset", 5);
  cfg_set_on("velmo_other");
  ASSERT_TRUE(host_reset());
  EXPECT_EQ(cfg_get_int_value("velmo_test_preset", 0), 41);
  EXPECT_FALSE(cfg_is_on("velmo_other", false));
  // Read again, not kept from the first reading.
  ASSERT_EQ(setenv("VELMO_CFG", "velmo_test_preset=7", 1), 0);
  ASSERT_TRUE(host_reset());
  EXPECT_EQ(cfg_get_int_value("velmo_test_preset", 0), 7);
  if (saved)
    setenv("VELMO_CFG", saved->c_str(), 1);
  else
    unsetenv("VELMO_CFG");
  ASSERT_TRUE(host_reset());
}

TEST_F(CfgTest, FileAndAssignmentItems) {
  {
    std::ofstream f("good.cfg");
    f << "# comment\nvelmo_a = 3\n\nvelmo_b=off # trailing\n";
  }
  std::string err;
  ASSERT_TRUE(host::cfg::load_file("good.cfg", &err)) << err;
  EXPECT_EQ(cfg_get_int_value("velmo_a", 0), 3);
  EXPECT_FALSE(cfg_is_on("velmo_b", true));

  {
    std::ofstream f("bad.cfg");
    f << "velmo_c=1\nnot an assignment\n";
  }
  EXPECT_FALSE(host::cfg::load_file("bad.cfg", &err));
  EXPECT_EQ(err, "bad.cfg:2: expected name=value");
  EXPECT_EQ(cfg_get_int_value("velmo_c", 0), 0) << "nothing applied from a bad file";
  EXPECT_FALSE(host::cfg::load_file("missing.cfg", &err));

  // A byte-order mark opens the file, not the first name.
  {
    std::ofstream f("bom.cfg", std::ios::binary);
    f << "\xEF\xBB\xBFvelmo_first=5\nvelmo_second=6\n";
  }
  ASSERT_TRUE(host::cfg::load_file("bom.cfg", &err)) << err;
  EXPECT_EQ(cfg_get_int_value("velmo_first", 0), 5);
  EXPECT_EQ(cfg_get_int_value("velmo_second", 0), 6);
  EXPECT_FALSE(host::cfg::is_set("\xEF\xBB\xBFvelmo_first"));

  EXPECT_TRUE(host::cfg::set_from_assignment("velmo_d=x=y", &err));
  EXPECT_EQ(cfg_get_value("velmo_d"), "x=y");
  EXPECT_FALSE(host::cfg::set_from_assignment("novalue", &err));
}

TEST_F(CfgTest, UserNamesNoReadingAskedForAreListedWithWhereTheyWereSet) {
  // Two files run together: the second one's byte-order mark is then inside
  // the text, part of a name nothing reads.
  {
    std::ofstream f("joined.cfg", std::ios::binary);
    f << "velmo_read=1\n# comment\nvelmo_misspelt=2\n\xEF\xBB\xBFvelmo_after_bom=3\nvelmo_by_int=4\nvelmo_by_value=5\n";
  }
  std::string err;
  ASSERT_TRUE(host::cfg::load_file("joined.cfg", &err)) << err;
  ASSERT_TRUE(host::cfg::set_from_assignment("velmo_option=1", &err));
  ASSERT_TRUE(host::cfg::set_from_assignment("velmo_tested=on", &err));
  cfg_set_on("velmo_set_by_the_host");  // not the user's: never listed
  EXPECT_TRUE(cfg_is_on("velmo_read", false));
  EXPECT_EQ(cfg_get_int_value("velmo_by_int", 0), 4);
  EXPECT_EQ(cfg_get_value("velmo_by_value"), "5");
  EXPECT_TRUE(host::cfg::is_set("velmo_tested"));
  // Asking for a name without the mark reads neither it nor the marked one.
  EXPECT_EQ(cfg_get_int_value("velmo_after_bom", 0), 0);
  using NAMES = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(host::cfg::unread_user_names(), (NAMES{{"velmo_misspelt", "joined.cfg:3"},
                                                   {"\xEF\xBB\xBFvelmo_after_bom", "joined.cfg:4"},
                                                   {"velmo_option", "--cfg"}}));
  // Set again, it is unread again, from where it was set last; a reading of
  // an empty value counts.
  ASSERT_TRUE(host::cfg::set_from_assignment("velmo_read=", &err));
  EXPECT_EQ(host::cfg::unread_user_names().back(), (std::pair<std::string, std::string>{"velmo_read", "--cfg"}));
  EXPECT_TRUE(cfg_is_on("velmo_read", true));
  EXPECT_EQ(host::cfg::unread_user_names().size(), 3u);
  // A reset forgets them.
  ASSERT_TRUE(host_reset());
  EXPECT_TRUE(host::cfg::unread_user_names().empty());
}
