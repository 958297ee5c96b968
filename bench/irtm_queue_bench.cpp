// The retimer's register queue: initialize over 10^5 registers of one clock
// domain (unplaced chains of three, not the routed pipeline scene: routing
// that many copies would dominate the setup)
// at 1, 2, 4 and 8 threads (the domain filter runs in parallel), and
// an update with 100 changed registers against a fresh initialize.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>

#include "cmp/cmp_facade.h"
#include "common/host_control.h"
#include "kem/kem_manager.h"
#include "oxu/oxu_job.h"
#include "sta/sta_analysis.h"
#include "testing/design_builder.h"
#include "testing/netlist_builder.h"
#include "velmo_irtm_test.h"
#include "wexan/wexan_env.h"

namespace {

struct QUEUE_SETUP {
  std::unique_ptr<WEXAN_ENV> env;
  std::unique_ptr<IRTM_UTIL> util;
  std::map<int, std::unique_ptr<IRTM_FF>> ffs;
  std::vector<VOK_ATOM_NODE*> regs;
  IRTM_FF_QUEUE queue;

  // `triples` chains a -> b -> c in one domain; every b fails setup and has
  // both an input and an output slack, so it is queued.
  explicit QUEUE_SETUP(int triples) {
    host_reset();
    host::testing::device(host::testing::Family::KY).build();
    auto n = host::testing::netlist();
    auto clk = n.input_port("clk");
    n.clock("clk", 100, clk);  // everything fails
    auto in = n.input_port("in");
    for (int i = 0; i < triples; ++i) {
      auto a = n.reg("a" + std::to_string(i)).clk(clk).d(in);
      auto b = n.reg("b" + std::to_string(i)).clk(clk).d(a);
      n.reg("c" + std::to_string(i)).clk(clk).d(b);
      regs.push_back(b);
    }
    n.timing();
    env = std::make_unique<WEXAN_ENV>(CMP_FACADE::current(), 0, nolt_device_factory_fn);
    util = std::make_unique<IRTM_UTIL>(env.get(), KEM_MANAGER::get()->get_kem_netlist());
    IRTM_UTIL::s_instance = util.get();
    queue.set_factory([this](VOK_ATOM_NODE* a) -> IRTM_FF* {
      auto& ff = ffs[a->get_id()];
      if (!ff) ff = std::make_unique<IRTM_FF>(a);
      return ff.get();
    });
  }
  ~QUEUE_SETUP() {
    IRTM_UTIL::s_instance = nullptr;
    util.reset();
    env.reset();
    host_reset();
  }
};

void BM_QueueInitialize(benchmark::State& state) {
  QUEUE_SETUP s(33334);
  OXU_PROCESSOR_MANAGER::set_thread_count(static_cast<int>(state.range(0)));
  const HOV_INCR_WNS_DOMAIN d{0, 0, 0, 0};
  for (auto _ : state) s.queue.initialize(&d);
  state.counters["queued"] = static_cast<double>(s.queue.m_ff_list.size());
  OXU_PROCESSOR_MANAGER::set_thread_count(4);
}
BENCHMARK(BM_QueueInitialize)->Arg(1)->Arg(2)->Arg(4)->Arg(8)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// The parallel part of initialize alone: the domain test of every register.
void BM_QueueDomainFilter(benchmark::State& state) {
  QUEUE_SETUP s(33334);
  OXU_PROCESSOR_MANAGER::set_thread_count(static_cast<int>(state.range(0)));
  const HOV_INCR_WNS_DOMAIN d{0, 0, 0, 0};
  std::vector<IRTM_FF*> all;
  for (VOK_ATOM_NODE* atom : WEXAN_ENV::get_env()->get_atom_netlist()->nodes(VOK_TRAVERSE_HIERARCHICAL))
    if (atom->is_ff()) all.push_back(s.queue.m_create_ff(atom));
  std::size_t kept = 0;
  for (auto _ : state) {
    std::vector<IRTM_FF*> work = all;
    s.queue.keep_in_domain(work, d);
    kept = static_cast<std::size_t>(std::count_if(work.begin(), work.end(), [](IRTM_FF* f) { return f != nullptr; }));
  }
  state.counters["kept"] = static_cast<double>(kept);
  OXU_PROCESSOR_MANAGER::set_thread_count(4);
}
BENCHMARK(BM_QueueDomainFilter)->Arg(1)->Arg(2)->Arg(4)->Arg(8)->Unit(benchmark::kMillisecond)->Iterations(5)
    ->UseRealTime();

void BM_QueueUpdate100(benchmark::State& state) {
  QUEUE_SETUP s(33334);
  const HOV_INCR_WNS_DOMAIN d{0, 0, 0, 0};
  s.queue.initialize(&d);
  std::vector<VOK_ATOM_NODE*> changed(s.regs.begin(), s.regs.begin() + 100);
  for (auto _ : state) s.queue.update(&changed, true);
  const auto t0 = std::chrono::steady_clock::now();
  s.queue.initialize(&d);
  state.counters["initialize_ms"] =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}
BENCHMARK(BM_QueueUpdate100)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
