#pragma once
// The component's message catalogue. One factory per message under
// MSG_VELMO::E (errors), MSG_VELMO::I (information) and MSG_VELMO::W
// (warnings); each returns a new message that the caller posts and deletes.
// Information and warning factories return a null message, unformatted, for
// an id the user suppressed.
//
// The catalogue is one table: a row per message with its kind, factory name,
// numeric id, severity level (-1: the host's default), parameters, the
// arguments handed to the formatter, and the text. The literal given to the
// host is the text, a slash, the kind letter and the key "VELMO_<name>".
#include <string>

#include "msg/msg_base.h"

// clang-format off
#define VELMO_MSG_CATALOGUE(X) \
  X(E, FAIL, 11164, -1, (), (), "Can't fit design in device") \
  X(E, SOLK_FIT_FAILED, 11166, -1, (), (), "Previous compilation results are reused as part of this compilation and may cause the error on this compilation.") \
  X(E, VELMO_COEF_SEL_CLK_MISMATCH, 12474, -1, (const std::string& a1), (a1), "DSP \"%1!s!\" in 27x27 mode has mismatching Coefficient Select clock and/or enables") \
  X(E, VELMO_ILLEGAL_DSP_ATOM, 12475, -1, (const std::string& a1), (a1), "Illegal DSP atom %1!s! with unconnected inputs") \
  X(E, VELMO_DELAY_CHAIN_NOT_USED, 16156, -1, (const std::string& a1, int a2, const std::string& a3), (a1, a2, a3), "Can't set option %1!s! to %2!d! -- option is not used on pin %3!s!") \
  X(E, VELMO_INVALID_DELAY_CHAIN_VALUE, 16158, -1, (const std::string& a1, const std::string& a2, int a3, int a4, int a5), (a1, a2, a3, a4, a5), "Can't set option %1!s! on pin %2!s! to %3!d! -- legal setting range is from %4!d! to %5!d!") \
  X(E, VELMO_PIN_DRIVES_TOO_MANY_RX_SERDES, 16162, -1, (const std::string& a1, int a2), (a1, a2), "Input pin %1!s! drives %2!d! SERDES receivers, but must drive only one SERDES receiver") \
  X(E, VELMO_P2C_C2P_ZOTA_INVALID_REGION_CONSTRAINT, 20368, -1, (), (), "One or more registers required for periphery IP timing closure are constrained by an unsupported placement constraint. Remove location constraints from the registers listed in the Submessages, and ensure that any Place Region or Clock Region constraints fully cover the periphery interface these registers connect to. Refer to submessages for a list of affected registers.") \
  X(E, VELMO_P2C_WRONG_MAX_WIRE_VALUE, 16199, -1, (int a1, int a2), (a1, a2), "You specified a maximum of %1!d! wires and a minimum of %2!d! wires for periphery-core transfer on an atom. The minimum number of wires must be less than the maximum number of wires. Update either the Max Wires for Periphery Core Transfer or Min Wires for Periphery Core Transfer assignment to correct the conflict.") \
  X(E, VELMO_P2C_WRONG_MAX_DELAY_VALUE, 16293, -1, (const std::string& a1, const std::string& a2), (a1, a2), "You specified maximum delay of %1!s! and minimum delay of %2!s! for periphery-core transfer on an atom. The minimum delay must be less than the maximum delay. Update either the Max Delay for Periphery Core Transfer or Min Delay for Periphery Core Transfer assignment to correct the conflict.") \
  X(E, VELMO_ILLEGAL_RAW_IOPLL, 18327, -1, (const std::string& a1), (a1), "Illegal IOPLL WYSIWYG found: %1!s!. No raw user-instantiated IOPLL WYSIWYGs are allowed for the current part.") \
  X(E, VELMO_ZENTO_RETIMER_UNSUPPORTED_DEVICE, 18419, -1, (const std::string& a1), (a1), "The Zento-Retimer is not supported for device %1!s!. This feature is only available for device families with Corvane architectures.") \
  X(E, VELMO_ZENTO_NIMBREL_UNSUPPORTED_DEVICE, 18774, -1, (const std::string& a1), (a1), "Nimbrel Timing Closure Recommendations is not supported for device %1!s!. This feature is only available for device families with Corvane architectures.") \
  X(E, VELMO_ZENTO_RETIMER_FAILED_RETMING_PREPERATION, 18561, -1, (), (), "The Fitter failed to successfully place Zento-Registers along a path.") \
  X(E, CANNOT_DEPOP_ZOTA_DUE_TO_GLOBAL, 19306, -1, (const std::string& a1, const std::string& a2), (a1, a2), "Zento-Register %1!s! must be driven by a global clock. Its clock signal is %2!s!.") \
  X(E, FORCED_ZENTO_REGISTER_HAS_C2P_AND_P2C_CONSTRAINT, 20777, -1, (const std::string& a1), (a1), "Register %1!s! is targeted with both FORCE_ZENTO_REGISTER_FOR_PERIPHERY_CORE_TRANSFER and FORCE_ZENTO_REGISTER_FOR_CORE_PERIPHERY_TRANSFER assignments.  A core register can only be implemented as a Zento-Register for a single periphery transfer.  Remove at least one of these assignments.") \
  X(E, VELMO_LCELL_PERIPHERY_ROUTER_FAILED, 20779, -1, (const std::string& a1), (a1), "Unable to place and/or route LCELL with LCELL_PERIPHERY_ROUTER moz on %1!s!") \
  X(E, FORCED_ZENTO_REGISTER_HAS_LOCATION_ASSIGNMENT, 20776, -1, (const std::string& a1, const std::string& a2), (a1, a2), "Register %1!s! is targeted with a %2!s! assignment, but also has an incompatible core location constraint.  Remove at least one of these assignments.") \
  X(E, BBIC_WRITE_INTERMEDIATE_SNAPSHOT_NOT_ALLOWED, 20572, -1, (const std::string& a1), (a1), "Vantrel Preservation cannot be enabled if intermediate Fitter snapshots are being committed. Intermediate snapshots were committed because %1!s! during compilation.") \
  X(E, DWO_MAC_TOO_MANY_MAC_BLOCKS, 184035, -1, (int a1, int a2), (a1, a2), "Design uses %1!d! DSP blocks, but only %2!d! DSP blocks are available in the device") \
  X(E, DWO_MAC_COULD_NOT_PLACE_MACS, 184036, -1, (int a1), (a1), "Cannot place the following %1!d! DSP cells -- a legal placement which satisfies all the DSP requirements could not be found") \
  X(E, DWO_ILLEGAL_DSP_ATOM, 184038, -1, (const std::string& a1), (a1), "Illegal DSP atom %1!s! with unconnected inputs") \
  X(E, DWO_COEF_SEL_CLK_MISMATCH, 184060, -1, (const std::string& a1), (a1), "DSP \"%1!s!\" in 27x27 mode has mismatching Coefficient Select clocks") \
  X(E, DWO_MAC_CHAIN_LENGTH_TOO_LONG, 14704, -1, (int a1, int a2), (a1, a2), "The following DSP blocks form a DSP chain of length %1!d!. Maximum allowed DSP chain length on the current device is %2!d!.") \
  X(E, DWO_MAC_CHAIN_TOO_LONG_FOR_TBR, 18728, -1, (int a1, const std::string& a2, int a3), (a1, a2, a3), "The following DSP nodes form a DSP chain that requires %1!d! contiguous DSP locations. These DSP nodes are constrained to the Tarnbay region %2!s!, where the longest contiguous group of DSP locations has length %3!d!.") \
  X(E, DWO_MAC_TOO_MANY_DSPS_IN_TBR, 18730, -1, (int a1, const std::string& a2, int a3), (a1, a2, a3), "The following DSP nodes require %1!d! DSP locations, but they are all confined to Tarnbay region %2!s! which only contains %3!d! DSP locations.") \
  X(E, VELMO_SR_ECO_TCL_EVALUATION_FAILED, 20483, -1, (), (), "Evaluation of ECO TCL script failed.") \
  X(I, FITTER_PREPARATION_END, 11165, -1, (const std::string& a1), (a1), "Fitter preparation operations ending: elapsed time is %1!s!") \
  X(I, FITTER_ROUTING_END, 16607, -1, (const std::string& a1), (a1), "Fitter routing operations ending: elapsed time is %1!s!") \
  X(I, FITTER_POST_OPERATION_END, 16557, -1, (const std::string& a1), (a1), "Fitter post-fit operations ending: elapsed time is %1!s!") \
  X(I, IO_SMART_RECOMPILE_ASSIGNMENTS, 11167, -1, (), (), "io_smart_recompile option processes the following assignments only: ") \
  X(I, IO_SMART_RECOMPILE_SINGLE_ASSIGNMENT, 11168, -1, (const std::string& a1), (a1), "Assignment %1!s!") \
  X(I, WEXAN_ECO_SKIP_VPR_ON, 11877, -1, (), (), "Engineering Change Order (ECO) Fitter is skipping Place and Route") \
  X(I, VELMO_AUTO_DELAY_CHAIN_CANT_OPTIMIZE_IO_TIMING_ON_PLL_COMPENSATED_PIN, 16160, -1, (const std::string& a1), (a1), "Auto delay chain can't change the delay chain setting on I/O pin %1!s! since it's a PLL compensated pin") \
  X(I, VELMO_PACKAGE_SKEW_COMPENSATION_SWITCH_SETTING, 16163, -1, (const std::string& a1, int a2, int a3, const std::string& a4), (a1, a2, a3, a4), "%1!s! setting has changed from %2!d! to %3!d! on %4!s!.") \
  X(I, VELMO_PACKAGE_SKEW_COMPENSATION, 16164, -1, (), (), "The following delay chain settings have been changed for package skew compensation.") \
  X(I, VELMO_P2C_C2P_ZOTA_INVALID_REGION_CONSTRAINT_LIST, 20369, -1, (int a1, int a2, int a3, int a4), (a1, a2, a3, a4), "List of registers constrained to region with bottom-left corner (%1!d!, %2!d!) and top-right corner (%3!d!, %4!d!): (Only the first 10 registers are listed)") \
  X(I, VELMO_P2C_C2P_ZOTA_INVALID_REGION_CONSTRAINT_NODE_NAME, 20370, -1, (const std::string& a1), (a1), "%1!s!") \
  X(I, VELMO_P2C_START_INFO, 16237, -1, (const std::string& a1), (a1), "Starting register placement %1!s!for periphery-core transfers") \
  X(I, VELMO_C2P_START_INFO, 16238, -1, (const std::string& a1), (a1), "Starting register placement %1!s!for core-periphery transfers") \
  X(I, VELMO_P2C_FINISH_INFO, 16239, -1, (const std::string& a1, const std::string& a2), (a1, a2), "Register placement %1!s!for periphery-core transfers ending: elapsed time is %2!s!") \
  X(I, VELMO_C2P_FINISH_INFO, 16246, -1, (const std::string& a1, const std::string& a2), (a1, a2), "Register placement %1!s!for core-periphery transfers ending: elapsed time is %2!s!") \
  X(I, VELMO_P2C_RESULT_INFO, 16240, -1, (const std::string& a1, int a2, const std::string& a3, const std::string& a4), (a1, a2, a3, a4), "Placed %1!s!%2!d!%3!s! core register(s) %4!s!") \
  X(I, VELMO_P2C_TOTAL_RESULT_PLACE_ONLY_INFO, 18268, -1, (int a1, int a2), (a1, a2), "Placed (but not routed) %1!d! of %2!d! core register(s)") \
  X(I, VELMO_P2C_TOTAL_RESULT_PLACE_ROUTE_INFO, 18269, -1, (int a1, int a2), (a1, a2), "Placed and routed %1!d! of %2!d! core register(s)") \
  X(I, VELMO_P2C_TOTAL_NO_OPTIMIZATION_INFO, 18270, -1, (), (), "No core registers were placed or routed") \
  X(I, VELMO_P2C_UNSUCCESSFUL_EXAMPLE_NODE, 16658, -1, (const std::string& a1), (a1), "Example Register Name: %1!s!") \
  X(I, FITTER_ZENTO_RETIMER_END, 18821, -1, (const std::string& a1), (a1), "Fitter Zento-Retimer operations ending: elapsed time is %1!s!") \
  X(I, FITTER_ROUTE_FIXUP_END, 18822, -1, (const std::string& a1), (a1), "Fitter post-routing fixup operations ending: elapsed time is %1!s!") \
  X(I, BBIC_ENABLED_FOR_PARTITIONS, 19492, -1, (), (), "Vantrel Preservation is enabled for the following partitions.") \
  X(I, BBIC_PARTITION, 19493, -1, (const std::string& a1), (a1), "Partition: %1!s!") \
  X(I, BBIC_SPLIT_FIT_NOT_ALLOWED, 20734, -1, (), (), "Vantrel Preservation will not be enabled while performing an Incremental Optimization flow.") \
  X(I, INTERMEDIATE_FIT_SNAPSHOT, 20273, -1, (const std::string& a1, const std::string& a2), (a1, a2), "Intermediate fitter snapshots will %1!s! because %2!s! during compilation.") \
  X(I, DWO_ATOM_NAME, 184037, -1, (const std::string& a1), (a1), "Node \"%1!s!\"") \
  X(I, DWO_LOCATE_DSP_BLOCKS_IN_TBR, 18797, -1, (const std::string& a1), (a1), "Use the context menu (right click) on the previous error message to locate the DSP block locations contained in Tarnbay region \"%1!s!\" in Gridmoss.") \
  X(I, DWO_ATOM_NAMES_OMITTED, 18798, -1, (int a1), (a1), "And %1!d! more similar nodes (full list omitted for brevity)") \
  X(W, DWO_MISSING_TIMING_INFO, 11169, 0, (), (), "PLL compensation delay chain reconfiguration operation is skipped - no timing information is available") \
  X(W, VELMO_DELAY_CHAIN_PAD_TO_CORE_CONFLICT, 16142, 1, (const std::string& a1, const std::string& a2, const std::string& a3), (a1, a2, a3), "Ignored Input Delay from Pin to Internal Cells logic option assignment on node %1!s! because node %1!s! and node %2!s! are fed by the same delay chain from input or bidirectional pin %3!s! but have different assignment values") \
  X(W, VELMO_DELAY_CHAIN_PAD_TO_CORE_BAD_VALUE, 16143, -1, (const std::string& a1, int a2, int a3, int a4, int a5), (a1, a2, a3, a4, a5), "Changed Input Delay from Pin to Internal Cells option assignment on pin %1!s! from %2!d! to %3!d! -- valid range is from %4!d! to %5!d!") \
  X(W, VELMO_DELAY_CHAIN_PAD_TO_CORE_INPUT_REG, 16144, 1, (const std::string& a1, unsigned int a2), (a1, a2), "Too many Input Delay from Pin to Internal Cells logic option assignments to input pin %1!s! and its fan-outs because pin uses input register -- honoring only one assignment (setting = %2!u!)") \
  X(W, VELMO_DELAY_CHAIN_PAD_TO_CORE_NO_ITERM, 16145, 1, (const std::string& a1, unsigned int a2, unsigned int a3), (a1, a2, a3), "Ignored Input Delay from Pin to Internal Cells logic option assignment (setting = %2!u!) to input or bidirectional pin %1!s! because all of its fan-outs already have assignments of a different delay value (setting = %3!u!)") \
  X(W, VELMO_DELAY_CHAIN_PAD_TO_CORE_NO_ITERM2, 16146, 1, (const std::string& a1, unsigned int a2), (a1, a2), "Ignored Input Delay from Pin to Internal Cells option assignment (setting = %2!u!) to input or bidirectional pin %1!s! -- all fan-out already have assignments of a different delay value or are fed by the pin through global or regional clocks") \
  X(W, VELMO_DELAY_CHAIN_PAD_TO_CORE_DQS, 16147, 1, (const std::string& a1), (a1), "Ignored Input Delay from Pin to Internal Cells logic option assignment to input or bidirectional pin %1!s! because pin is a DQS I/O pin") \
  X(W, VELMO_DELAY_CHAIN_PAD_TO_CORE_RX, 16148, 1, (const std::string& a1, const std::string& a2), (a1, a2), "Ignored Input Delay from Pin to Internal Cells logic option assignment to input or bidirectional pin %1!s! because pin fans out to SERDES receiver %2!s!") \
  X(W, VELMO_DELAY_CHAIN_PAD_TO_CORE_PLL, 16149, 1, (const std::string& a1, const std::string& a2), (a1, a2), "Ignored Input Delay from Pin to Internal Cells logic option assignment on input or bidirectional pin %1!s! because pin fans out to PLL %2!s!") \
  X(W, VELMO_DELAY_CHAIN_PAD_TO_CORE_VREF, 16150, 1, (const std::string& a1, const std::string& a2), (a1, a2), "Ignored Input Delay from Pin to Internal Cells logic option assignment to input or bidirectional pin %1!s! because pin assigned to VREF pad %2!s!") \
  X(W, VELMO_DELAY_CHAIN_PAD_TO_CORE_IGNORED, 16151, 1, (const std::string& a1, int a2, unsigned int a3), (a1, a2, a3), "Too many Input Delay from Pin to Internal Cells logic option assignments to input pin %1!s! and its fan-outs -- honoring only %2!d! assignment(s) (ignored setting = %3!u!)") \
  X(W, VELMO_DELAY_CHAIN_PAD_TO_CORE_GCLK, 16152, 1, (const std::string& a1, const std::string& a2), (a1, a2), "Ignored Input Delay from Pin to Internal Cells logic option assignment to input or bidirectional pin %1!s! because pin is assigned to global clock %2!s!") \
  X(W, VELMO_DELAY_CHAIN_PAD_TO_CORE_GCLK_NO_GL_DEST, 16153, 1, (const std::string& a1, const std::string& a2), (a1, a2), "Ignored Decrease Input Delay to Internal Cells logic option assignment to input or bidirectional pin \"%1!s!\" because pin is assigned to global clock \"%2!s!\" and has no non-global destinations") \
  X(W, VELMO_DELAY_CHAIN_PAD_TO_CORE_IGNORED_ON_GLOBAL_DESTINATION, 16154, 1, (const std::string& a1, const std::string& a2, unsigned int a3), (a1, a2, a3), "Ignored Input Delay from Pin to Internal Cells logic option assignment (setting = %3!u!) from input or bidirectional pin %1!s! to destination logic cell %2!s! because it is a global destination") \
  X(W, VELMO_DELAY_CHAIN_PAD_TO_CORE_IGNORED_UNCONNECTED, 16155, 1, (const std::string& a1, const std::string& a2, unsigned int a3), (a1, a2, a3), "Ignored Input Delay from Pin to Internal Cells logic option assignment (setting = %3!u!) from input or bidirectional pin %1!s! to destination logic cell %2!s! because the routing path does not go through a delay chain") \
  X(W, VELMO_DELAY_CHAIN_NOT_USED_SET_TO_ZERO, 16157, -1, (const std::string& a1, int a2, const std::string& a3, int a4), (a1, a2, a3, a4), "Can't set option %1!s! to %2!d! -- option is not used in pin %3!s! -- changed to %4!d!") \
  X(W, VELMO_CHANGED_INVALID_DELAY_CHAIN_VALUE_TO_DEFAULT, 16159, -1, (const std::string& a1, const std::string& a2, int a3, int a4, int a5, int a6), (a1, a2, a3, a4, a5, a6), "Can't set option %1!s! on pin %2!s! to %3!d! -- legal setting range is from %4!d! to %5!d! -- changed to the default %6!d!") \
  X(W, VELMO_AUTO_DELAY_CHAIN_FIND_CONFLICT_REQUIREMENTS_ON_PLL_COMPENSATED_PIN, 16161, -1, (const std::string& a1), (a1), "The I/O pin %1!s! cannot meet the timing constraints due to conflicting requirements. The I/O pin is a PLL compensated I/O, but the setup/hold requirements are in conflict with the source PLL mode(source synchronous or ZDB).") \
  X(W, VELMO_AUTO_DELAY_CHAIN_DISABLE_HIGH_INPUT_PIN_OPTIMIZATION, 16165, -1, (const std::string& a1, int a2, int a3), (a1, a2, a3), "Input pin %1!s! has too many fanouts (number of fanouts is %2!d! which is larger than the threshold value of %3!d!) -- the delay chains of the input pin will not be optimized") \
  X(W, VELMO_P2C_WRONG_CORE_REGISTER, 16245, -1, (const std::string& a1), (a1), "Illegal constraints of performing periphery to core register paths optimization on register %1!s!.") \
  X(W, VELMO_P2C_UNSUCCESSFUL, 16656, -1, (int a1, int a2, const std::string& a3, int a4), (a1, a2, a3, a4), "Could not find solution for %1!d! of %2!d! core registers(s) constrained %3!s!. Placement and routing for these %4!d! connection(s) were not committed -- please relax the constraint.") \
  X(W, VELMO_C2P_UNSUCCESSFUL, 16657, -1, (int a1, int a2, const std::string& a3, int a4), (a1, a2, a3, a4), "Could not find solution for %1!d! of %2!d! core register(s) constrained %3!s!. Placement and routing for these %4!d! connection(s) were not committed -- please relax the constraint.") \
  X(W, DEPOP_ENABLED_WITH_HOLD_OPTIMIZATION_OFF, 18276, -1, (), (), "The fitter will not perform Zento Aware Register Chain Optimization because hold timing optimization has been disabled.") \
  X(W, DEPOP_ENABLED_WITH_ZENTO_RETIMER_OFF, 18881, -1, (), (), "The fitter will not perform Zento Aware Register Chain Optimization because the Zento Retimer has been disabled and optimization depends on that feature.") \
  X(W, VELMO_ZENTO_RETIMER_NOT_ENABLED, 19256, -1, (), (), "Fitter Zento-Retiming optimizations are disabled.  Check the 'Optimize Timing' setting to ensure retiming optimizations and analysis are permitted, and re-run the Torvika Fitter to fully take advantage of the Corvane architecture.") \
  X(W, VELMO_NIMBREL_NOT_ENABLED, 19257, -1, (), (), "Nimbrel Timing Closure Recommendations analysis is disabled.  Check the 'Optimize Timing' setting to ensure retiming optimizations and analysis are permitted, and re-run the Torvika Fitter to fully take advantage of the Corvane architecture.") \
  X(W, VELMO_ZENTO_RETIMER_NIMBREL_EMULATE_NO_RETIME, 18967, -1, (), (), "Cannot run Fitter Retime stage with Nimbrel Emulate INI (yun_enable_nimbrel_emulate=on)") \
  X(W, VELMO_ZENTO_RETIMER_NIMBREL_EMULATE_NO_FINALIZE, 18968, -1, (), (), "Cannot run Fitter Finalize stage with Nimbrel Emulate INI (yun_enable_nimbrel_emulate=on)") \
  X(W, BBIC_UNSUPPORTED_FAMILY_WARNING, 20800, -1, (const std::string& a1), (a1), "Vantrel Preservation will not be enabled for %1!s! device family.") \
  X(W, BBIC_DISABLED_TOP_PARTITION_NOT_PRESERVED, 21645, -1, (), (), "Vantrel Preservation was not enabled. Vantrel preservation can only be enabled in Partial Reconfiguration and Reserved Core flows, and only when the top-level partition is preserved.") \
  X(W, BBIC_DISABLED_ALL_PARTITIONS_PRESERVED, 21646, -1, (), (), "Vantrel Preservation cannot be enabled if all partitions are preserved.") \
  X(W, DWO_MAC_CHAIN_SPANS_MULTIPLE_TBR, 18729, -1, (int a1), (a1), "The following DSP nodes form a chain of length %1!d!, however these DSP blocks are constrained to more than one Tarnbay region.")
// clang-format on

#define VELMO_MSG_DECLARE_ROW(KIND, NAME, ID, LEVEL, PARAMS, ARGS, TEXT) \
  namespace MSG_VELMO::KIND {                                            \
  MSG_##KIND* (NAME) PARAMS;                                             \
  }
VELMO_MSG_CATALOGUE(VELMO_MSG_DECLARE_ROW)
#undef VELMO_MSG_DECLARE_ROW

namespace MSG_VELMO {
// A debug message tagged with the component's tag and the level (2 when not
// given), filled from a printf format.
MSG_D* DEBUG_MSG(MSG_D_LEVEL level, const char* format, ...) __attribute__((format(printf, 2, 3)));
MSG_D* DEBUG_MSG(const char* format, ...) __attribute__((format(printf, 1, 2)));
namespace W {
// Warning 16165 where the search still takes the pin's delay chains (high
// fanout mode 2): the same message, its closing clause saying so.
MSG_W* VELMO_AUTO_DELAY_CHAIN_HIGH_INPUT_PIN_SEARCHED(const std::string& a1, int a2, int a3);
}  // namespace W
}  // namespace MSG_VELMO
