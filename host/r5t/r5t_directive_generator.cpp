#include "r5t/r5t_directive_generator.h"

#include "common/host_call_log.h"

R5T_DIRECTIVE_GENERATOR* R5T_DIRECTIVE_GENERATOR::create(int base_family, VOK_CHIP_DB_ENTRY*, GESK_BUNDLE*) {
  host::log_call("R5T_DIRECTIVE_GENERATOR::create", base_family);
  return new R5T_DIRECTIVE_GENERATOR;
}
void R5T_DIRECTIVE_GENERATOR::destroy(R5T_DIRECTIVE_GENERATOR* generator) {
  host::log_call("R5T_DIRECTIVE_GENERATOR::destroy");
  delete generator;
}
void R5T_DIRECTIVE_GENERATOR::generate_directives() { host::log_call("R5T_DIRECTIVE_GENERATOR::generate_directives"); }
