#include "testing/host_test.h"

#include <unistd.h>

#include <cstdlib>

#include "common/host_clock.h"
#include "common/host_control.h"
#include "common/host_lent.h"
#include "common/host_script.h"
#include "gen/gen_profile.h"
#include "msg/msg_base.h"
#include "cmp/cmp_facade.h"
#include "wexan/wexan_env.h"

namespace host::testing {

void HostTest::SetUp() {
  ASSERT_TRUE(host_reset());
  host::debug::set_level("VELMO", 2);
  host::clock::freeze();
  m_old_dir = std::filesystem::current_path();
  std::string tmpl = (std::filesystem::temp_directory_path() / "velmo-test-XXXXXX").string();
  ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
  m_dir = tmpl;
  std::filesystem::current_path(m_dir);
}

void HostTest::TearDown() {
  std::string why;
  EXPECT_TRUE(host::bins::balanced(&why)) << why;
  EXPECT_TRUE(host::lent().empty()) << "objects still lent to the host";
  for (const auto& name : host::script::unconsumed()) ADD_FAILURE() << "scripted queue not consumed: " << name;
  std::filesystem::current_path(m_old_dir);
  if (!std::getenv("VELMO_KEEP_TEST_DIRS")) {
    std::error_code ec;
    std::filesystem::remove_all(m_dir, ec);
  }
  host::clock::unfreeze();
}

void EnvTest::SetUp() {
  HostTest::SetUp();
  m_env = new WEXAN_ENV(CMP_FACADE::current(), 0, nolt_device_factory_fn);
}

void EnvTest::TearDown() {
  delete m_env;
  m_env = nullptr;
  HostTest::TearDown();
}

bool is_ordered_subsequence(const std::vector<std::string>& have, const std::vector<std::string>& want,
                            std::string* why) {
  size_t i = 0;
  for (const auto& w : want) {
    while (i < have.size() && have[i].rfind(w, 0) != 0) ++i;
    if (i == have.size()) {
      if (why) {
        *why = "missing (in order): " + w + "\nhave:";
        for (const auto& h : have) *why += "\n  " + h;
      }
      return false;
    }
    ++i;
  }
  return true;
}

}  // namespace host::testing
