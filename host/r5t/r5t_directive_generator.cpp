#include "r5t/r5t_directive_generator.h"

#include "common/host_call_log.h"
#include "common/host_script.h"

R5T_DIRECTIVE_GENERATOR* R5T_DIRECTIVE_GENERATOR::create(int base_family_code, VOK_CHIP_DB_ENTRY* entry,
                                                         GESK_BUNDLE* bundle) {
  host::log_call("R5T_DIRECTIVE_GENERATOR::create", base_family_code, entry, bundle);
  return new R5T_DIRECTIVE_GENERATOR();
}

R5T_DIRECTIVE_GENERATOR::~R5T_DIRECTIVE_GENERATOR() {
  host::log_call("R5T_DIRECTIVE_GENERATOR::~R5T_DIRECTIVE_GENERATOR");
}

bool R5T_DIRECTIVE_GENERATOR::generate_directives() {
  host::log_call("R5T_DIRECTIVE_GENERATOR::generate_directives");
  return host::script::next<bool>("R5T_DIRECTIVE_GENERATOR::generate_directives", true);
}
