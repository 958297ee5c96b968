# The stand-in host: one folder per platform family under host/, all of them
# compiled into libvelmo_host.so. host/testing and host/libs are separate.

# Base layer: headers of the component that host classes include for their
# inline members (containers, accessors). Header-only; it depends only on
# host declarations.
add_library(velmo_base INTERFACE)
target_include_directories(velmo_base INTERFACE ${CMAKE_SOURCE_DIR}/host ${CMAKE_SOURCE_DIR}/fitter/velmo)

file(GLOB VELMO_HOST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/host/*/*.cpp)
list(FILTER VELMO_HOST_SOURCES EXCLUDE REGEX "/host/(testing|libs)/")
add_library(velmo_host SHARED ${VELMO_HOST_SOURCES})
target_compile_definitions(velmo_host PRIVATE HOST_BUILDING)
target_include_directories(velmo_host PUBLIC ${CMAKE_SOURCE_DIR}/host)
target_link_libraries(velmo_host PUBLIC velmo_base Threads::Threads ${CMAKE_DL_LIBS}
  PRIVATE ${TCL_LIBRARY} nlohmann_json::nlohmann_json)
target_include_directories(velmo_host PRIVATE ${TCL_INCLUDE_PATH})

# The two libraries the component loads by name at run time.
foreach(lib fitter_govin zarn_yun)
  file(GLOB _src CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/host/libs/${lib}/*.cpp)
  add_library(${lib} SHARED ${_src})
  target_link_libraries(${lib} PRIVATE velmo_host)
endforeach()

# Builders and design loaders used by tests and by velmo-fit (no gtest).
file(GLOB VELMO_BUILDER_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/host/testing/*.cpp)
list(FILTER VELMO_BUILDER_SOURCES EXCLUDE REGEX "_gtest\\.cpp$")
add_library(velmo_host_builder STATIC ${VELMO_BUILDER_SOURCES})
target_link_libraries(velmo_host_builder PUBLIC velmo_host PRIVATE nlohmann_json::nlohmann_json)

# The gtest fixture and matchers.
if(VELMO_TESTS)
  file(GLOB VELMO_HOST_GTEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/host/testing/*_gtest.cpp)
  add_library(velmo_host_gtest STATIC ${VELMO_HOST_GTEST_SOURCES})
  target_link_libraries(velmo_host_gtest PUBLIC velmo_host_builder GTest::gtest GTest::gmock)
endif()
