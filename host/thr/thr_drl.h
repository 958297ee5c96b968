#pragma once
// The run-time library loader and mutexes.
//
// thr_drl_load(name) opens lib<name>.so (RTLD_NOW | RTLD_LOCAL) from the
// loader path, which defaults to the directory of libvelmo_host.so. Every
// load is recorded. The last error text is per thread.
#include <mutex>
#include <string>
#include "common/host_api.h"

using THR_DRL_HANDLE = void*;

HOST_API THR_DRL_HANDLE thr_drl_load(const char* name);
HOST_API void* thr_drl_find_function(THR_DRL_HANDLE lib, const char* symbol);
HOST_API void thr_drl_unload(THR_DRL_HANDLE lib);
HOST_API const char* thr_drl_get_error();

struct THR_MUTEX {
  std::mutex m;
};
HOST_API void thr_mutex_lock(THR_MUTEX* m);
HOST_API void thr_mutex_unlock(THR_MUTEX* m);
// data: a new mutex, and its destruction (the live ones counted as
// "thr_mutex", see host::counters).
HOST_API THR_MUTEX* thr_mutex_create();
HOST_API void thr_mutex_destroy(THR_MUTEX* m);

namespace host::loader {
// Directories searched before the default one.
HOST_API void set_path(const std::string& dirs_colon_separated);
HOST_API std::string default_dir();
// The next load of `name` fails (as if the file were missing).
HOST_API void hide(const std::string& name);
}  // namespace host::loader

namespace host::counters {
// Live-object counters that the stand-in libraries keep (e.g. "govin").
HOST_API void add(const std::string& name, int delta);
HOST_API int get(const std::string& name);
}  // namespace host::counters
