#pragma once
// data: generation of the stand-in routing graph from the DeviceSpec.
//
// Per tile (tiles row by row, y then x), in this order:
//  - 16 wires: direction d (0 east, 1 west: H wires 700; 2 north, 3 south: V
//    wires 701) x length (1, 4) x track (0, 1); index = 4d + 2*length_index +
//    track. A wire feeds, at its end tile, the wire of the same direction,
//    length and track, the other length, and the two short wires across on
//    the other track; then
//    the inputs of its own tile that listen to it; a long wire lists last a
//    purely redundant edge to the short wire one tile before its end;
//  - LAB: 80 data input muxes (282, index 0..79), 40 control input muxes
//    (282, index 140..179; pipeline slots 60..99 of the LAB), 2 clock input
//    muxes (282, index 180, 181), 40 output muxes (282, index from the
//    family's first output index: 94 on 46, 90 on 48 and 15, 89 on 26), 10
//    feedback lines (279). On families with pipeline registers in routing
//    every data and control input mux holds a pipeline slot;
//  - DSP and RAM tiles: 8 block inputs (702), 4 block outputs (283);
//  - pad tiles (2 pins) and periphery tiles (4 ports): input ports (659,
//    index q), output ports (659, index 4+q), each output port feeding a
//    periphery output (284, index q) that drives wires. A periphery block's
//    input port has a single virtual edge to its output port. A periphery
//    block's ports reach the wires of the tile below through interface chains
//    (703) instead: see add_interface_chains;
//  - PLL corners: 2 clock outputs (284) feeding the global clock spine;
//  - the spine column (x = nx/2): 4 global clock taps (318) per row, chained
//    upwards (each network a balanced tree: see wump_clock_insertion_ps);
//    on inner rows they feed, on families with pipeline registers in
//    routing, 4 PMUXes (1929) per row segment of 10 columns (at its first
//    column), which feed the LAB clock inputs of the segment (each PMUX
//    both clock inputs of each LAB); elsewhere the taps feed the LAB clock
//    inputs directly.
// Hop delays (slow corner, ps): wires 40 + 30 x length, input and output
// muxes 35, feedback 20, ports 15, other outputs 30, PMUX 45; a tap of row
// 0 wump_clock_insertion_ps(rows), a tap above it 0.
// With DeviceSpec::wire_pipeline_slots (families with pipeline registers in
// routing only), the long wires of LAB tiles hold pipeline slots too.
#include <memory>
#include "common/host_api.h"
#include "dev/dev_grid.h"
#include "dev/dev_spec.h"
#include "wump/wump_route_objects.h"

// Columns per row segment of the clock network: the PMUXes at a segment's
// first column (1, 1 + WUMP_ROW_SEGMENT, ...) feed the LAB clock inputs of
// its columns.
constexpr int WUMP_ROW_SEGMENT = 10;
// The column of the PMUXes that feed the clock inputs of column x.
constexpr int wump_pmux_column(int x) { return x < 1 ? 1 : 1 + (x - 1) / WUMP_ROW_SEGMENT * WUMP_ROW_SEGMENT; }

// A global clock network is a balanced tree: it reaches the tap of every row
// at the same delay, this insertion delay of a device of `rows` rows (slow
// corner, ps), held by the root's tap on row 0: 90 ps per row up to the
// middle row, what a spine chained row by row took to reach it. The taps
// above the root add nothing, so a clock's arrival at the LAB clock inputs
// is the same on every row and column of a device (every PMUX 45 ps): the
// skew between any two of them is at most WUMP_CLOCK_SKEW_BOUND_PS.
constexpr double wump_clock_insertion_ps(int rows) { return 90.0 * (rows / 2 + 1); }
constexpr double WUMP_CLOCK_SKEW_BOUND_PS = 0.0;

HOST_API std::unique_ptr<WUMP_ROUTE_INFO> wump_generate_route_info(const DeviceSpec& spec, const DEV_GRID& grid);
// First LAB output index of a family.
HOST_API int wump_lab_output_offset(int family);
