#pragma once
// The component's exported entry points: start-up, shut-down, the service
// calls and the stage forwarders the host fitter process calls.
#include <string>

#include "velmo_export.h"

class CMP_FACADE;

// Start-up and shut-down.
VELMO_API bool velmo_initialize_fitter(CMP_FACADE* cmp);
VELMO_API void velmo_shutdown_fitter();

// Services.
VELMO_API bool velmo_load_user_constraints(bool apply_clock_skew);
VELMO_API bool velmo_clear_and_reload_tarnbay_constraints();
VELMO_API void velmo_check_and_report(bool check, bool legality);
VELMO_API void velmo_print_memory_usage();

// Stages, each forwarded to the expert.
VELMO_API bool velmo_process_design_without_device();
VELMO_API bool velmo_run_w3j3_prefit();
VELMO_API bool velmo_write_out_kem_netlist(bool host_flag, bool force_write);
VELMO_API bool velmo_bav_translate_current_strengths();
VELMO_API bool velmo_perform_port_translation();
VELMO_API bool velmo_place();
VELMO_API bool velmo_post_place_operation();
VELMO_API bool velmo_muvo(const char* name);
VELMO_API bool velmo_muvo_post_route_fixup_iter(bool first, bool unload, bool& result1, bool& result2);
VELMO_API bool velmo_global_route();
VELMO_API bool velmo_route();
VELMO_API bool velmo_retime();
VELMO_API bool velmo_nimbrel();
VELMO_API bool velmo_finalize();

// Plan-stage operations and intermediate snapshots.
VELMO_API bool velmo_post_plan_ops(bool write_arg);
VELMO_API bool velmo_insert_wireluts();
VELMO_API bool velmo_insert_zota_lutram_wireluts();
VELMO_API bool velmo_perform_user_logic_duplication();
VELMO_API bool velmo_pack_registers();
VELMO_API bool velmo_perform_p2c();
VELMO_API bool velmo_convert_lutram();
VELMO_API bool velmo_write_intermediate_snapshot(std::string* reason = nullptr);

// Prints the four-line notice of a known workaround, once per process
// (`was_printed` is the caller's flag): the source file without its
// directory, the line, the component's maintainer identifier and the case
// that tracks it.
void velmo_print_hack_notice(bool& was_printed, const char* file, int line, unsigned long long tracking,
                             const char* description);
