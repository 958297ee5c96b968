#include "vok/vok_fanout_count.h"

#include "vok/vok_atom_netlist.h"

int get_number_of_local_fanouts(const VOK_ATOM_OTERM* oterm) {
  int n = 0;
  if (oterm)
    for (const VOK_ATOM_ITERM* f = oterm->get_first_fanout(VOK_TRAVERSE_AS_STORED); f;
         f = f->get_next_fanout(VOK_TRAVERSE_AS_STORED))
      ++n;
  return n;
}
