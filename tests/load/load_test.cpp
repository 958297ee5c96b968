// Libraries opened after the host was preset see the preset values; the
// component library loads and registers its memory category.
#include <dlfcn.h>

#include <algorithm>
#include <filesystem>

#include "cfg/cfg.h"
#include "mem/mem_initializer.h"
#include "testing/host_test.h"
#include "thr/thr_drl.h"

using host::testing::HostTest;

class LoadTest : public HostTest {};

TEST_F(LoadTest, ValuePresetBeforeLoadIsReadAtLoad) {
  cfg_set_int_value("velmo_probe_value", 1234);
  void* lib = thr_drl_load("velmo_test_loadprobe");
  ASSERT_NE(lib, nullptr) << thr_drl_get_error();
  auto fn = reinterpret_cast<int (*)()>(thr_drl_find_function(lib, "velmo_probe_value_at_load"));
  ASSERT_NE(fn, nullptr);
  EXPECT_EQ(fn(), 1234);
  thr_drl_unload(lib);
}

TEST_F(LoadTest, ComponentLoadsWithHiddenInternals) {
  auto path = std::filesystem::path(host::loader::default_dir()) / "libvelmo.so";
  void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr) << dlerror();
  auto tags = host::mem::tags();
  EXPECT_NE(std::find(tags.begin(), tags.end(), "VELMO"), tags.end());
  // Inline helpers of the base layer are not part of the component's surface.
  EXPECT_EQ(dlsym(lib, "_Z15msg_vdebug_impliPKcz"), nullptr);
  dlclose(lib);
}
