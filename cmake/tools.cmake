# velmo-fit: the host program. It links only the host and the builders; the
# component is opened with dlopen at run time.

# The built-in default design (a small sequential benchmark) is compiled into
# the program, so it runs without a design file.
set(VELMO_DEFAULT_DESIGN ${CMAKE_SOURCE_DIR}/examples/designs/mcnc/s298.blif)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${VELMO_DEFAULT_DESIGN})
file(READ ${VELMO_DEFAULT_DESIGN} _velmo_default_design)
get_filename_component(_velmo_default_design_name ${VELMO_DEFAULT_DESIGN} NAME)
file(WRITE ${CMAKE_BINARY_DIR}/generated/velmo_default_design.inc.tmp
  "// Generated from examples/designs/${_velmo_default_design_name}.\n"
  "static const char* const kDefaultDesignName = \"${_velmo_default_design_name}\";\n"
  "static const char* const kDefaultDesignText = R\"VELMO_DESIGN(${_velmo_default_design})VELMO_DESIGN\";\n")
configure_file(${CMAKE_BINARY_DIR}/generated/velmo_default_design.inc.tmp
  ${CMAKE_BINARY_DIR}/generated/velmo_default_design.inc COPYONLY)

# What the program and its Tcl package share: the command line, preparing the
# host for a fit, the component's entry points, the host's stage sequence and
# its progress lines.
set(VELMO_FIT_SESSION_SOURCES ${CMAKE_SOURCE_DIR}/tools/velmo_fit/velmo_fit_options.cpp
  ${CMAKE_SOURCE_DIR}/tools/velmo_fit/velmo_fit_session.cpp
  ${CMAKE_SOURCE_DIR}/tools/velmo_fit/velmo_fit_sequence.cpp
  ${CMAKE_SOURCE_DIR}/tools/velmo_fit/velmo_fit_partitions.cpp
  ${CMAKE_SOURCE_DIR}/tools/velmo_fit/velmo_fit_progress.cpp
  ${CMAKE_SOURCE_DIR}/tools/velmo_fit/velmo_fit_retiming.cpp
  ${CMAKE_SOURCE_DIR}/tools/velmo_fit/velmo_fit_transfer_checks.cpp
  ${CMAKE_SOURCE_DIR}/tools/velmo_fit/velmo_fit_verification.cpp
  ${CMAKE_SOURCE_DIR}/tools/velmo_fit/velmo_fit_verification_paths.cpp)
add_library(velmo_fit_session STATIC ${VELMO_FIT_SESSION_SOURCES})
add_dependencies(velmo_fit_session velmo_exports)
target_include_directories(velmo_fit_session PUBLIC ${CMAKE_BINARY_DIR}/generated ${CMAKE_SOURCE_DIR}/tools/velmo_fit)
target_link_libraries(velmo_fit_session PUBLIC velmo_host_builder nlohmann_json::nlohmann_json ${CMAKE_DL_LIBS})
set_source_files_properties(${VELMO_FIT_SESSION_SOURCES} PROPERTIES OBJECT_DEPENDS ${VELMO_EXPORTS_INC})

file(GLOB VELMO_FIT_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/velmo_fit/*.cpp)
list(REMOVE_ITEM VELMO_FIT_SOURCES ${VELMO_FIT_SESSION_SOURCES})
add_executable(velmo-fit ${VELMO_FIT_SOURCES})
add_dependencies(velmo-fit velmo_exports velmo fitter_govin zarn_yun)
target_link_libraries(velmo-fit PRIVATE velmo_fit_session nlohmann_json::nlohmann_json TBB::tbb)
set_source_files_properties(${VELMO_FIT_SOURCES} PROPERTIES OBJECT_DEPENDS ${VELMO_EXPORTS_INC})

# The same fits driven from tclsh: `load .../lib/libvelmo_fit_tcl.so Velmo_fit`.
add_library(velmo_fit_tcl SHARED ${CMAKE_SOURCE_DIR}/tools/velmo_fit_tcl/velmo_fit_tcl.cpp)
add_dependencies(velmo_fit_tcl velmo fitter_govin zarn_yun)
target_include_directories(velmo_fit_tcl PRIVATE ${TCL_INCLUDE_PATH})
target_link_libraries(velmo_fit_tcl PRIVATE velmo_fit_session TBB::tbb ${TCL_LIBRARY})
