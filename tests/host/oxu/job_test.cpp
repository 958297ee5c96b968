// The four-worker job: every task runs once on a worker, and an exception
// raised by a task reaches the thread that ran the job.
#include <atomic>
#include <set>
#include <vector>

#include "common/host_call_log.h"
#include "msg/msg_internal_error.h"
#include "oxu/oxu_job.h"
#include "testing/host_test.h"

using host::testing::HostTest;

namespace {
class JobTest : public HostTest {};

struct TASK {
  int value = 0;
  bool fail = false;
  std::atomic<int> runs{0};
  int thread = -1;
};

void run_task(TASK* t) {
  t->runs.fetch_add(1);
  t->thread = host::thread_number();
  if (t->fail) MSG_INTERNAL_ERROR::report(("task " + std::to_string(t->value)).c_str(), "TEST", "job_test", 1);
}
}  // namespace

TEST_F(JobTest, RunsEveryTaskOnceOnTheWorkers) {
  std::vector<TASK> tasks(10);
  OXU_SPMD_JOB_VOID_PTR* job = OXU_SPMD_JOB_VOID_PTR::create_job(run_task, 4, false, nullptr, nullptr);
  for (TASK& t : tasks) job->add_task(&t);
  job->run();
  OXU_SPMD_JOB_VOID_PTR::destroy_job(job);
  for (TASK& t : tasks) {
    EXPECT_EQ(t.runs.load(), 1);
    EXPECT_GE(t.thread, 1);
    EXPECT_LE(t.thread, 4);
  }
  EXPECT_EQ(host::thread_number(), 0);
  EXPECT_EQ(OXU_PROCESSOR_MANAGER::get_max_threads(16), 4);
  EXPECT_EQ(OXU_PROCESSOR_MANAGER::get_max_threads(2), 2);
}

TEST_F(JobTest, ATaskErrorReachesTheCallerAfterTheWorkersJoin) {
  std::vector<TASK> tasks(6);
  for (int i = 0; i < 6; ++i) tasks[i].value = i;
  tasks[2].fail = true;
  tasks[4].fail = true;
  OXU_SPMD_JOB_VOID_PTR* job = OXU_SPMD_JOB_VOID_PTR::create_job(run_task, 4, false, nullptr, nullptr);
  for (TASK& t : tasks) job->add_task(&t);
  HOST_INTERNAL_ERROR e = host::testing::expect_internal_error([&] { job->run(); });
  OXU_SPMD_JOB_VOID_PTR::destroy_job(job);
  // The lowest failing task of those that ran wins; task 2 always starts
  // before task 4 can, since tasks are taken in order.
  EXPECT_EQ(e.condition, "task 2");
  for (TASK& t : tasks) EXPECT_LE(t.runs.load(), 1);
}
