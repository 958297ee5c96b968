#pragma once
// What the prefit and the physical MAC merge share: the DSP boxes of a
// Tarnbay region and the node-name and location lists of their messages.
#include <string>
#include <vector>

#include "zmp_bbox.h"

class MSG_BASE;
class VOK_ATOM_NODE;
class TIBEX_ZARTO_REGION_LIST;
class WEXAN_DESIGN;

// The width-1 boxes of the device's DSP runs that lie inside the region
// (every run for a whole-device region), joined where boxes of one column
// touch or overlap.
std::vector<ZMP::BBOX_2D> velmo_mac_region_dsp_boxes(const TIBEX_ZARTO_REGION_LIST& regions, int region_id,
                                                     const std::vector<ZMP::BBOX_2D>& dsp_column_boxes);
// The region's name, empty when the list has no such region.
std::string velmo_mac_region_name(const TIBEX_ZARTO_REGION_LIST* regions, int region_id);
// Attaches the short names of the first `limit` atoms and, when more were
// given, the count of those left out.
void velmo_mac_attach_node_names(MSG_BASE* msg, const std::vector<const VOK_ATOM_NODE*>& atoms, int limit);
// Attaches a location list titled by `title_format` (one %s: the region
// name) with one chip area per box.
void velmo_mac_attach_region_boxes(MSG_BASE* msg, const char* title_format, const std::string& region_name,
                                   const std::vector<ZMP::BBOX_2D>& boxes);
// The atom's short hierarchical name.
std::string velmo_mac_short_name(const VOK_ATOM_NODE* atom);
// One debug line on the atom's locked constraint.
void velmo_mac_print_constraints(const WEXAN_DESIGN* design, const VOK_ATOM_NODE* atom);
// Walking a DSP column upwards: the DSP location at row y extends the
// current run of contiguous DSP blocks or, after a gap, closes it into
// `runs` and starts the next one.
void velmo_mac_add_dsp_row(ZMP::BBOX_2D& current, std::vector<ZMP::BBOX_2D>& runs, int x, int y, int dsp_height);
// Lowers the DSP location count to "velmo_max_dsp_locations_to_use" when
// that is set below it.
void velmo_mac_limit_dsp_locations(int& num_dsp_locations);
