# Abseil's flat_hash_map and Google's dense_hash_map (header-only) are
# baselines of the container benchmarks.
find_package(absl REQUIRED)

file(GLOB VELMO_BENCH_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/bench/*.cpp)
add_executable(velmo_bench ${VELMO_BENCH_SOURCES})
target_link_libraries(velmo_bench PRIVATE velmo_static velmo_host_builder benchmark::benchmark benchmark::benchmark_main
  absl::flat_hash_map absl::hash)
