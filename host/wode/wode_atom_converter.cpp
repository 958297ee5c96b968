#include "wode/wode_atom_converter.h"

#include "common/host_call_log.h"

void WODE_ATOM_CONVERTER_KY::convert(VOK_ATOM_NETLIST* netlist, JUK::FOREST<int, int>*) {
  host::log_call("WODE_ATOM_CONVERTER_KY::convert", netlist != nullptr);
}
