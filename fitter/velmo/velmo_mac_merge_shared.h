#pragma once
// What the prefit and the physical MAC merge share: the DSP boxes of a
// Tarnbay region and the node-name and location lists of their messages.
#include <string>
#include <vector>

#include "zmp_bbox.h"

class MSG_BASE;
class VOK_ATOM_NODE;
class TIBEX_ZARTO_REGION_LIST;

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
