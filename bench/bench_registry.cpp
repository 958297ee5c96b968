// The benchmark program: each bench/*.cpp registers its benchmarks with
// BENCHMARK(); main() comes from Google Benchmark.
