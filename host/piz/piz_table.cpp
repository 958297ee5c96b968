#include "piz/piz_table.h"

#include "common/host_call_log.h"
#include "common/host_script.h"
#include "common/host_world.h"

PIZ_TABLE* PIZ_TABLE::create(PIZ_TABLE_ENUM kind) {
  host::log_call("PIZ_TABLE::create", static_cast<int>(kind));
  if (!host::script::next<bool>("PIZ_TABLE::create", true)) return nullptr;
  return new PIZ_TABLE(kind);
}

PIZ_TABLE::PIZ_TABLE(PIZ_TABLE_ENUM kind) : m_kind(kind) {}
PIZ_TABLE::~PIZ_TABLE() = default;

void PIZ_FOLDER::add_table(PIZ_TABLE* table) {
  host::log_call("PIZ_FOLDER::add_table", table ? static_cast<int>(table->get_kind()) : -1,
                 table ? table->get_creator_module() : std::string());
  if (table != nullptr) m_tables.emplace_back(table);
}

PIZ_REPORT_DATABASE* PIZ_REPORT_DATABASE::of(const CMP_FACADE*) { return &host_world_slot<PIZ_REPORT_DATABASE>(); }
