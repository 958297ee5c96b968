#include "yos/yos_translator.h"

#include <map>
#include <string>

namespace {
const std::map<int, const char*>& names() {
  static const std::map<int, const char*> kNames = {
      {62, "TIME_IOPLL_N_BUF_DLY"},       {30, "TIME_IOPLL_N_COARSE_DLY"},    {91, "TIME_IOPLL_N_CNT_COARSE_DLY"},
      {29, "TIME_IOPLL_N_FINE_DLY"},      {90, "TIME_IOPLL_N_CNT_FINE_DLY"},  {20, "TIME_IOPLL_M_BUF_DLY"},
      {24, "TIME_IOPLL_M_COARSE_DLY"},    {89, "TIME_IOPLL_M_CNT_COARSE_DLY"}, {23, "TIME_IOPLL_M_FINE_DLY"},
      {88, "TIME_IOPLL_M_CNT_FINE_DLY"},  {140, "TIME_CMU_FPLL_N_BUF_DLY"},   {138, "TIME_CMU_FPLL_N_COARSE_DLY"},
      {139, "TIME_CMU_FPLL_N_FINE_DLY"},  {135, "TIME_CMU_FPLL_M_BUF_DLY"},   {136, "TIME_CMU_FPLL_M_COARSE_DLY"},
      {137, "TIME_CMU_FPLL_M_FINE_DLY"}};
  return kNames;
}
std::string name_of(int id) {
  const auto it = names().find(id);
  return it != names().end() ? it->second : "TIME_DATA_" + std::to_string(id);
}
}  // namespace

YOS_TRANSLATOR* YOS_TRANSLATOR::get_instance() {
  static YOS_TRANSLATOR* translator = new YOS_TRANSLATOR();
  return translator;
}

PELK_SCOPED_SYMBOL<7> YOS_TRANSLATOR::get_yos_param_symbol_by_enum(YOS_TIME_DATA_ENUM id) const {
  return PELK_SCOPED_SYMBOL<7>(PELK::intern(7, name_of(id)));
}

YOS_TIME_DATA_ENUM YOS_TRANSLATOR::get_time_enum_of(PELK symbol) const {
  if (symbol.get_namespace() == 7) {
    const std::string name = symbol.cname();
    for (const auto& [id, n] : names())
      if (name == n) return static_cast<YOS_TIME_DATA_ENUM>(id);
    if (name.rfind("TIME_DATA_", 0) == 0) return static_cast<YOS_TIME_DATA_ENUM>(std::stoi(name.substr(10)));
  }
  return static_cast<YOS_TIME_DATA_ENUM>(1000000 + symbol.index());
}
