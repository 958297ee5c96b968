#include "tst/tst_regtest.h"

#include <map>
#include <utility>

#include "common/host_world.h"

namespace {
struct TST_STATE {
  bool regtest = false;
  std::map<std::pair<std::string, std::string>, std::string> values;
};
TST_STATE& state() { return host_world_slot<TST_STATE>(); }
}  // namespace

bool tst_is_regtest_mode() { return state().regtest; }

std::string tst_get_value(const char* section, const char* key) {
  auto& v = state().values;
  auto it = v.find({section ? section : "", key ? key : ""});
  return it == v.end() ? std::string() : it->second;
}

void tst_set_value(const char* section, const char* key, const char* value) {
  state().values[{section ? section : "", key ? key : ""}] = value ? value : "";
}

namespace host::tst {
void set_regtest_mode(bool on) { state().regtest = on; }
}  // namespace host::tst
