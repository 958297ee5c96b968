# The component: libvelmo.so from the flat fitter/velmo/ directory, with hidden
# visibility; VELMO_API marks what the host may see. velmo_static holds the
# same objects for unit tests, which may use internal classes.
file(GLOB VELMO_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/fitter/velmo/*.cpp)

add_library(velmo_objects OBJECT ${VELMO_SOURCES})
set_target_properties(velmo_objects PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN OFF)
target_compile_definitions(velmo_objects PRIVATE VELMO_BUILDING)
target_link_libraries(velmo_objects PUBLIC velmo_base velmo_host TBB::tbb Boost::headers Qt5::Core
  nlohmann_json::nlohmann_json)
target_include_directories(velmo_objects PUBLIC ${CMAKE_SOURCE_DIR}/fitter/velmo ${TCL_INCLUDE_PATH})

add_library(velmo SHARED $<TARGET_OBJECTS:velmo_objects>)
target_link_libraries(velmo PUBLIC velmo_objects ${TCL_LIBRARY})
set_target_properties(velmo PROPERTIES CXX_VISIBILITY_PRESET hidden)

add_library(velmo_static STATIC $<TARGET_OBJECTS:velmo_objects>)
target_link_libraries(velmo_static PUBLIC velmo_objects ${TCL_LIBRARY})

# The exported entry points are C++ functions; the list of their demangled and
# mangled names is generated from the built library, so the host program can
# find them with dlsym and a test can check the list.
set(VELMO_EXPORTS_INC ${CMAKE_BINARY_DIR}/generated/velmo_exports.inc)
add_custom_command(OUTPUT ${VELMO_EXPORTS_INC}
  COMMAND ${CMAKE_COMMAND} -DLIB=$<TARGET_FILE:velmo> -DOUT=${VELMO_EXPORTS_INC}
          -P ${CMAKE_SOURCE_DIR}/cmake/gen_exports.cmake
  DEPENDS velmo ${CMAKE_SOURCE_DIR}/cmake/gen_exports.cmake
  COMMENT "Listing the exported entry points of libvelmo.so")
add_custom_target(velmo_exports DEPENDS ${VELMO_EXPORTS_INC})
