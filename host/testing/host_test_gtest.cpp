#include "testing/host_test.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <map>

#include "common/host_clock.h"
#include "common/host_control.h"
#include "common/host_lent.h"
#include "common/host_script.h"
#include "gen/gen_profile.h"
#include "msg/msg_base.h"
#include "cmp/cmp_facade.h"
#include "vok/vok_atom_netlist.h"
#include "wexan/wexan_env.h"

namespace host::testing {

void HostTest::SetUp() {
  ASSERT_TRUE(host_reset());
  host::debug::set_level("VELMO", 2);
  host::clock::freeze();
  m_old_dir = std::filesystem::current_path();
  // The test's own working folder: named after the test, unique to the run.
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = test ? std::string(test->test_suite_name()) + "." + test->name() : std::string("test");
  for (char& c : name)
    if (c == '/') c = '_';
  std::string tmpl = (std::filesystem::temp_directory_path() / ("velmo-" + name.substr(0, 160) + "-XXXXXX")).string();
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

void expect_placed_index_matches_walk(const VOK_ATOM_NETLIST* netlist, std::set<unsigned> gids) {
  std::map<unsigned, std::vector<const VOK_ATOM_NODE*>> walked;
  for (const VOK_ATOM_NODE* a : netlist->get_atom_list())
    if (a->is_placed()) walked[a->get_location_gid()].push_back(a);
  for (const auto& [gid, atoms] : walked) gids.insert(gid);
  // Compared as addresses: a stale entry may name an atom already freed.
  bool same = true;
  for (unsigned gid : gids) {
    const std::vector<VOK_ATOM_NODE*> found = netlist->get_atoms_at_gid(gid);
    std::vector<const VOK_ATOM_NODE*> indexed(found.begin(), found.end());
    std::vector<const VOK_ATOM_NODE*>& want = walked[gid];
    std::sort(indexed.begin(), indexed.end());
    std::sort(want.begin(), want.end());
    EXPECT_EQ(indexed, want) << "gid " << gid;
    EXPECT_EQ(netlist->count_atoms_at_gid(gid), want.size()) << "gid " << gid;
    same = same && indexed == want && netlist->count_atoms_at_gid(gid) == want.size();
  }
  if (!same) return;  // the check below reads every indexed atom
  std::string why;
  EXPECT_TRUE(netlist->sanity_check(&why)) << why;
}

}  // namespace host::testing
