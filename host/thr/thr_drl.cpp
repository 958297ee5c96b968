#include "thr/thr_drl.h"

#include <dlfcn.h>

#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <vector>

#include "common/host_call_log.h"
#include "common/host_world.h"

namespace {
struct LOADER_STATE {
  std::mutex mutex;
  std::vector<std::string> path;
  std::set<std::string> hidden;
  std::map<std::string, int> counters;
};
LOADER_STATE& state() { return host_world_slot<LOADER_STATE>(); }
thread_local std::string t_error;
}  // namespace

namespace host::loader {
void set_path(const std::string& dirs) {
  auto& st = state();
  std::lock_guard<std::mutex> lock(st.mutex);
  st.path.clear();
  std::stringstream ss(dirs);
  std::string d;
  while (std::getline(ss, d, ':'))
    if (!d.empty()) st.path.push_back(d);
}

std::string default_dir() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&thr_drl_load), &info) && info.dli_fname)
    return std::filesystem::path(info.dli_fname).parent_path().string();
  return ".";
}

void hide(const std::string& name) {
  auto& st = state();
  std::lock_guard<std::mutex> lock(st.mutex);
  st.hidden.insert(name);
}
}  // namespace host::loader

THR_DRL_HANDLE thr_drl_load(const char* name) {
  std::string n = name ? name : "";
  host::log_call("thr_drl_load", n);
  const std::string file = "lib" + n + ".so";
  std::vector<std::string> dirs;
  {
    auto& st = state();
    std::lock_guard<std::mutex> lock(st.mutex);
    if (st.hidden.erase(n)) {
      t_error = "thr_drl_load: library '" + file + "' not found";
      return nullptr;
    }
    dirs = st.path;
  }
  dirs.push_back(host::loader::default_dir());
  for (const auto& d : dirs) {
    auto p = std::filesystem::path(d) / file;
    if (!std::filesystem::exists(p)) continue;
    void* h = dlopen(p.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) {
      const char* e = dlerror();
      t_error = e ? e : "dlopen failed";
    }
    return h;
  }
  t_error = "thr_drl_load: library '" + file + "' not found";
  return nullptr;
}

void* thr_drl_find_function(THR_DRL_HANDLE lib, const char* symbol) {
  host::log_call("thr_drl_find_function", symbol);
  if (!lib || !symbol) {
    t_error = "thr_drl_find_function: no library";
    return nullptr;
  }
  dlerror();
  void* f = dlsym(lib, symbol);
  if (!f) {
    const char* e = dlerror();
    t_error = e ? e : std::string("thr_drl_find_function: symbol '") + symbol + "' not found";
  }
  return f;
}

void thr_drl_unload(THR_DRL_HANDLE lib) {
  host::log_call("thr_drl_unload");
  if (lib) dlclose(lib);
}

const char* thr_drl_get_error() { return t_error.c_str(); }

void thr_mutex_lock(THR_MUTEX* m) { m->m.lock(); }
void thr_mutex_unlock(THR_MUTEX* m) { m->m.unlock(); }

namespace host::counters {
void add(const std::string& name, int delta) {
  auto& st = state();
  std::lock_guard<std::mutex> lock(st.mutex);
  st.counters[name] += delta;
}
int get(const std::string& name) {
  auto& st = state();
  std::lock_guard<std::mutex> lock(st.mutex);
  auto it = st.counters.find(name);
  return it == st.counters.end() ? 0 : it->second;
}
}  // namespace host::counters

THR_MUTEX* thr_mutex_create() {
  host::counters::add("thr_mutex", 1);
  return new THR_MUTEX;
}
void thr_mutex_destroy(THR_MUTEX* m) {
  if (m != nullptr) host::counters::add("thr_mutex", -1);
  delete m;
}
