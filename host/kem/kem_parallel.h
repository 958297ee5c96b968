#pragma once
// The timing netlist's one parallel helper: builds and routing refreshes
// read each input's interconnect and each routing tree's hops on several
// threads (velmo-fit --threads).
#include <algorithm>
#include <cstddef>
#include <exception>
#include <thread>
#include <vector>

#include "oxu/oxu_job.h"

namespace host::kem {

// Runs fn(begin, end) over [0, n) in contiguous ranges spread over up to the
// host's thread count (velmo-fit --threads). Each range writes only its own
// entries, so the result does not depend on the number of threads; an
// error raised in a range, or a helper thread that cannot be started
// (std::system_error), reaches the caller once every thread started has
// been joined.
template <class F> void parallel_ranges(std::size_t n, F&& fn) {
  constexpr std::size_t kMinPerRange = 4096;
  const int threads = n < 2 * kMinPerRange ? 1
                      : OXU_PROCESSOR_MANAGER::get_max_threads(static_cast<int>(std::min<std::size_t>(n / kMinPerRange, 64)));
  if (threads <= 1) {
    fn(std::size_t{0}, n);
    return;
  }
  const std::size_t per = (n + static_cast<std::size_t>(threads) - 1) / static_cast<std::size_t>(threads);
  std::vector<std::exception_ptr> errors(static_cast<std::size_t>(threads));
  auto run = [&](int t) {
    try {
      const std::size_t b = static_cast<std::size_t>(t) * per;
      fn(b, std::min(n, b + per));
    } catch (...) {
      errors[static_cast<std::size_t>(t)] = std::current_exception();
    }
  };
  std::vector<std::thread> helpers;
  helpers.reserve(static_cast<std::size_t>(threads - 1));
  auto join_all = [&] {
    for (std::thread& h : helpers) h.join();
  };
  // A helper that cannot be started fails the call: those started finish
  // their ranges and are joined before the failure goes up (a thread left
  // joinable would end the process).
  for (int t = 1; t < threads; ++t) {
    try {
      helpers.emplace_back(run, t);
    } catch (...) {
      join_all();
      throw;
    }
  }
  run(0);
  join_all();
  for (const std::exception_ptr& e : errors)
    if (e) std::rethrow_exception(e);
}

}  // namespace host::kem
