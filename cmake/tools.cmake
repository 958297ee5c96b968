# velmo-fit: the host program. It links only the host and the builders; the
# component is opened with dlopen at run time.
file(GLOB VELMO_FIT_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/velmo_fit/*.cpp)
add_executable(velmo-fit ${VELMO_FIT_SOURCES})
add_dependencies(velmo-fit velmo_exports velmo fitter_govin zarn_yun)
target_include_directories(velmo-fit PRIVATE ${CMAKE_BINARY_DIR}/generated ${CMAKE_SOURCE_DIR}/tools/velmo_fit)
target_link_libraries(velmo-fit PRIVATE velmo_host_builder nlohmann_json::nlohmann_json)
set_source_files_properties(${VELMO_FIT_SOURCES} PROPERTIES OBJECT_DEPENDS ${VELMO_EXPORTS_INC})
