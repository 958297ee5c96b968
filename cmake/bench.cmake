file(GLOB VELMO_BENCH_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/bench/*.cpp)
add_executable(velmo_bench ${VELMO_BENCH_SOURCES})
target_link_libraries(velmo_bench PRIVATE velmo_static velmo_host_builder benchmark::benchmark benchmark::benchmark_main)
