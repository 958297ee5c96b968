#pragma once
// data: the translator between time-valued parameter ids and the names of
// the parameters in the parameter namespace (7). The PLL delay-chain ids:
//   IOPLL input  62 n_buf, 30 / 91 n_coarse, 29 / 90 n_fine (family 26 / others)
//   IOPLL feedback 20 m_buf, 24 / 89 m_coarse, 23 / 88 m_fine
//   CMU FPLL input 140, 138, 139 and feedback 135, 136, 137 (buf, coarse, fine)
// Any other id is named "TIME_DATA_<id>".
#include "common/host_api.h"
#include "pelk/pelk_symbol.h"
#include "pelk_scoped_symbol.h"
#include "yos/yos_interface.h"

class HOST_API YOS_TRANSLATOR {
public:
  // data: the process-wide translator.
  static YOS_TRANSLATOR* get_instance();
  // data: the symbol of a time parameter's name (namespace 7).
  PELK_SCOPED_SYMBOL<7> get_yos_param_symbol_by_enum(YOS_TIME_DATA_ENUM id) const;
  // data: the time-parameter id under which a parameter name's value is
  // stored on an atom: the id the name belongs to, else an id of its own
  // (1000000 + the symbol's index).
  YOS_TIME_DATA_ENUM get_time_enum_of(PELK symbol) const;
};
