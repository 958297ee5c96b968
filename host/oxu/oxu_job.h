#pragma once
// The host's parallel job facility: a job with a task function runs its tasks
// on four worker threads; the processor manager answers how many threads a
// caller may use; the scoped claim marks a parallel region.
#include <exception>
#include <functional>
#include <string>
#include <vector>
#include "common/host_api.h"

class HOST_API OXU_SPMD_JOB_VOID_PTR {
public:
  using TASK_FN = void (*)(void*);
  using HOOK_FN = void (*)();

  // recorded: makes a job that runs `fn` on each task with `workers` worker
  // threads (the stand-in always uses four). The hooks run on each worker as
  // it starts and ends; null means none.
  static OXU_SPMD_JOB_VOID_PTR* create_job(TASK_FN fn, int workers, bool flag, HOOK_FN start_hook,
                                           HOOK_FN end_hook);
  // The same for a task function over a typed task.
  template <class T>
  static OXU_SPMD_JOB_VOID_PTR* create_job(void (*fn)(T*), int workers, bool flag, HOOK_FN start_hook,
                                           HOOK_FN end_hook) {
    return create_typed(std::function<void(void*)>([fn](void* p) { fn(static_cast<T*>(p)); }), workers, flag,
                        start_hook, end_hook);
  }
  // recorded: destroys the job; never reports.
  static void destroy_job(OXU_SPMD_JOB_VOID_PTR* job);

  // recorded: appends a task.
  void add_task(void* task);
  // algorithm: runs every task on the workers and returns when all are done.
  // A task that throws cancels the tasks not started yet; after the workers
  // have joined, the exception of the lowest-numbered failing task is
  // rethrown here, on the calling thread.
  void run();

  // data: the tasks added so far.
  std::size_t task_count() const { return m_tasks.size(); }

  OXU_SPMD_JOB_VOID_PTR(const OXU_SPMD_JOB_VOID_PTR&) = delete;
  OXU_SPMD_JOB_VOID_PTR& operator=(const OXU_SPMD_JOB_VOID_PTR&) = delete;

private:
  OXU_SPMD_JOB_VOID_PTR(std::function<void(void*)> fn, HOOK_FN start_hook, HOOK_FN end_hook);
  ~OXU_SPMD_JOB_VOID_PTR();
  static OXU_SPMD_JOB_VOID_PTR* create_typed(std::function<void(void*)> fn, int workers, bool flag,
                                             HOOK_FN start_hook, HOOK_FN end_hook);

  std::function<void(void*)> m_fn;
  HOOK_FN m_start_hook;
  HOOK_FN m_end_hook;
  std::vector<void*> m_tasks;
};

class HOST_API OXU_PROCESSOR_MANAGER {
public:
  // data: min(limit, the host's thread count); the thread count defaults to 4.
  static int get_max_threads(int limit);
  // data: sets the host's thread count (velmo-fit --threads).
  static void set_thread_count(int n);
};

// recorded: a claimed parallel region for the scope's lifetime.
class HOST_API OXU_SCOPED_PARALLEL_CLAIM {
public:
  explicit OXU_SCOPED_PARALLEL_CLAIM(int threads);
  ~OXU_SCOPED_PARALLEL_CLAIM();
  OXU_SCOPED_PARALLEL_CLAIM(const OXU_SCOPED_PARALLEL_CLAIM&) = delete;
  OXU_SCOPED_PARALLEL_CLAIM& operator=(const OXU_SCOPED_PARALLEL_CLAIM&) = delete;

private:
  int m_threads;
};

namespace host {
// The reason when `e` says a thread could not be started, else "": the
// threading library's "pthread_create has failed: <reason>", or the
// std::system_error (resource unavailable) of the standard library's thread
// constructor, which every thread the host starts goes through.
HOST_API std::string thread_start_failure(const std::exception& e);
}  // namespace host
