#include "oxu/oxu_job.h"

#include <algorithm>
#include <atomic>
#include <string_view>
#include <system_error>
#include <thread>

#include "common/host_call_log.h"
#include "common/host_world.h"

namespace {
constexpr int kWorkers = 4;

struct OXU_STATE {
  int threads = 4;
};
}  // namespace

OXU_SPMD_JOB_VOID_PTR::OXU_SPMD_JOB_VOID_PTR(std::function<void(void*)> fn, HOOK_FN start_hook, HOOK_FN end_hook)
    : m_fn(std::move(fn)), m_start_hook(start_hook), m_end_hook(end_hook) {}

OXU_SPMD_JOB_VOID_PTR::~OXU_SPMD_JOB_VOID_PTR() = default;

OXU_SPMD_JOB_VOID_PTR* OXU_SPMD_JOB_VOID_PTR::create_job(TASK_FN fn, int workers, bool flag, HOOK_FN start_hook,
                                                         HOOK_FN end_hook) {
  return create_typed(std::function<void(void*)>(fn), workers, flag, start_hook, end_hook);
}

OXU_SPMD_JOB_VOID_PTR* OXU_SPMD_JOB_VOID_PTR::create_typed(std::function<void(void*)> fn, int workers, bool flag,
                                                           HOOK_FN start_hook, HOOK_FN end_hook) {
  host::log_call("OXU_SPMD_JOB_VOID_PTR::create_job", fn ? "fn" : "null", workers, flag,
                 start_hook ? "hook" : "null", end_hook ? "hook" : "null");
  return new OXU_SPMD_JOB_VOID_PTR(std::move(fn), start_hook, end_hook);
}

void OXU_SPMD_JOB_VOID_PTR::destroy_job(OXU_SPMD_JOB_VOID_PTR* job) {
  host::log_call("OXU_SPMD_JOB_VOID_PTR::destroy_job", job);
  delete job;
}

void OXU_SPMD_JOB_VOID_PTR::add_task(void* task) {
  host::log_call("OXU_SPMD_JOB_VOID_PTR::add_task", task);
  m_tasks.push_back(task);
}

void OXU_SPMD_JOB_VOID_PTR::run() {
  host::log_call("OXU_SPMD_JOB_VOID_PTR::run", static_cast<int>(m_tasks.size()));
  const std::size_t n = m_tasks.size();
  std::vector<std::exception_ptr> errors(n);
  std::atomic<std::size_t> next{0};
  std::atomic<bool> cancel{false};
  std::vector<std::thread> workers;
  workers.reserve(kWorkers);
  auto work = [&](int w) {
    host::set_thread_number(w + 1);
    if (m_start_hook) m_start_hook();
    for (;;) {
      if (cancel.load()) break;
      std::size_t i = next.fetch_add(1);
      if (i >= n) break;
      try {
        m_fn(m_tasks[i]);
      } catch (...) {
        errors[i] = std::current_exception();
        cancel.store(true);
      }
    }
    if (m_end_hook) m_end_hook();
  };
  auto join_all = [&] {
    for (std::thread& t : workers) t.join();
  };
  // A worker that cannot be started stops the job: those started finish
  // (cancelled) before the failure goes up, never left running.
  for (int w = 0; w < kWorkers; ++w) {
    try {
      workers.emplace_back(work, w);
    } catch (...) {
      cancel.store(true);
      join_all();
      throw;
    }
  }
  join_all();
  for (std::exception_ptr& e : errors)
    if (e) std::rethrow_exception(e);
}

int OXU_PROCESSOR_MANAGER::get_max_threads(int limit) {
  return std::min(limit, host_world_slot<OXU_STATE>().threads);
}

void OXU_PROCESSOR_MANAGER::set_thread_count(int n) { host_world_slot<OXU_STATE>().threads = n; }

OXU_SCOPED_PARALLEL_CLAIM::OXU_SCOPED_PARALLEL_CLAIM(int threads) : m_threads(threads) {
  host::log_call("OXU_SCOPED_PARALLEL_CLAIM::OXU_SCOPED_PARALLEL_CLAIM", threads);
}

OXU_SCOPED_PARALLEL_CLAIM::~OXU_SCOPED_PARALLEL_CLAIM() {
  host::log_call("OXU_SCOPED_PARALLEL_CLAIM::~OXU_SCOPED_PARALLEL_CLAIM", m_threads);
}

std::string host::thread_start_failure(const std::exception& e) {
  // No static std::string: a worker may ask while the process exits, its
  // statics destroyed.
  constexpr std::string_view prefix = "pthread_create has failed";
  const std::string what = e.what();
  if (what.compare(0, prefix.size(), prefix) == 0) {
    const std::size_t colon = what.find(": ", prefix.size());
    return colon == std::string::npos ? what : what.substr(colon + 2);
  }
  if (const auto* se = dynamic_cast<const std::system_error*>(&e);
      se != nullptr && se->code() == std::errc::resource_unavailable_try_again)
    return se->code().message();
  return std::string();
}
