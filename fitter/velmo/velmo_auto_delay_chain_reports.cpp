// Debug reports of the automatic delay-chain pass: its groups, elements and
// edge records, their slacks, the per-element search trace, and the atom
// dump. A report that cannot be opened is skipped.
#include <cstdio>
#include <string>

#include "cmp/cmp_facade.h"
#include "velmo_auto_delay_chain_internal.h"
#include "velmo_auto_delay_chain_op.h"
#include "vok/vok_atom_netlist.h"
#include "wexan/wexan_env.h"
#include "zel/zel_atom_dumper.h"

// The search's trace file; created empty by the flow, appended to after.
const char* const velmo_optimization_timing_info_for_opt_element = "velmo_optimization_timing_info_for_opt_element.out";

namespace {
// An open report file, closed on every way out.
class REPORT {
public:
  REPORT(const char* name, const char* mode) : m_file(std::fopen(name, mode)) {}
  ~REPORT() {
    if (m_file) std::fclose(m_file);
  }
  REPORT(const REPORT&) = delete;
  REPORT& operator=(const REPORT&) = delete;
  std::FILE* get() const { return m_file; }

private:
  std::FILE* m_file;
};

int id_of(const VOK_ATOM_NODE* atom) { return atom ? atom->get_id() : -1; }

void print_element_heading(std::FILE* f, int index, const OPTIMIZATION_ELEMENT* e) {
  std::fprintf(f, "\tOptimization Element #%d\n", index);
  std::fprintf(f, "\t\tOpt Element Element Type:%s\n", velmo_get_delay_chain_string(e->delay_chain_type));
  std::fprintf(f, "\t\tOpt Element Group Type: %s\n",
               VELMO_AUTO_DELAY_CHAIN_OP::get_opt_element_group_type_string(e->group_type));
  std::fprintf(f, "\t\tAtom Identifier Name (Id): %s (%d)\n", velmo_auto_dc::atom_name(e->atom).c_str(), id_of(e->atom));
}

void print_settings(std::FILE* f, const OPTIMIZATION_ELEMENT* e) {
  std::fprintf(f, "\t\t\tinitial_setting:%d\n", e->initial_setting);
  std::fprintf(f, "\t\t\tcurrent_best_setting:%d\n", e->current_best_setting);
  std::fprintf(f, "\t\t\ttmp_setting:%d\n", e->tmp_setting);
  std::fprintf(f, "\t\t\tmin_setting:%d\n", e->min_setting);
  std::fprintf(f, "\t\t\tmax_setting:%d\n", e->max_setting);
}
}  // namespace

void VELMO_AUTO_DELAY_CHAIN_OP::dump_atoms() {
  ZEL_ATOM_DUMPER dumper(m_env->get_chip_db_entry());
  dumper.dump_current_atom_netlist(m_env->get_cmp()->get_project_name() + ".dly", true);
}

const char* VELMO_AUTO_DELAY_CHAIN_OP::get_opt_element_group_type_string(int type) {
  if (type == VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN) return "VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN";
  if (type == VELMO_OPT_ELEMENT_CORE_TO_PIN_DELAY_CHAIN) return "VELMO_OPT_ELEMENT_CORE_TO_PIN_DELAY_CHAIN";
  return "Illegal Group Type";
}

const char* VELMO_AUTO_DELAY_CHAIN_OP::get_opt_element_edge_type_string(int type) {
  return type == VELMO_KEM_EDGE_DATA ? "DATA" : "Illegal Edge Type";
}

void VELMO_AUTO_DELAY_CHAIN_OP::dump_optimization_timing_info_for_opt_element(OPTIMIZATION_ELEMENT* element) {
  if (!m_verbose_optimizations) return;
  REPORT r(velmo_optimization_timing_info_for_opt_element, "a");
  std::FILE* f = r.get();
  if (f == nullptr) return;
  std::fprintf(f, "Opt Element Element Type:%s ", velmo_get_delay_chain_string(element->delay_chain_type));
  std::fprintf(f, "Atom Name (Id): %s (%d) -- ", velmo_auto_dc::atom_name(element->atom).c_str(), id_of(element->atom));
  std::fprintf(f, "twc_slack[tsu]:%d ", element->wc_slack[0]);
  std::fprintf(f, "twc_slack[th]:%d ", element->wc_slack[1]);
  std::fprintf(f, "tmp_setting:%d\n", element->tmp_setting);
}

void VELMO_AUTO_DELAY_CHAIN_OP::dump_optimization_info() {
  REPORT r("velmo_opt_elements_info.out", "w");
  std::FILE* f = r.get();
  if (f == nullptr) return;
  std::fprintf(f, "\n\n");
  std::fprintf(f, "VEC_OF_OPTIMIZATION_GROUP:\n");
  int i = 0;
  for (const OPTIMIZATION_GROUP* g : m_optimization_groups) {
    std::fprintf(f, "\tOptimization Group #%d - Is DQ_DQS: ", i++);
    std::fprintf(f, "NO");
    std::fprintf(f, g->is_high_fanout_input_pin ? " - Is high fanout input pin: YES\n"
                                                : " - Is high fanout input pin: NO\n");
    if (!g->opt_elements.empty()) {
      std::fprintf(f, "\t\tOpt Element Group Type: %s\n",
                   get_opt_element_group_type_string(g->opt_elements.front()->group_type));
      for (const OPTIMIZATION_ELEMENT* e : g->opt_elements) {
        std::fprintf(f, "\t\tOpt Element Atom Id Name (Id): %s (%d) - ", velmo_auto_dc::atom_name(e->atom).c_str(),
                     id_of(e->atom));
        std::fprintf(f, "Opt Element Type %s - Edge Type:%s\n", velmo_get_delay_chain_string(e->delay_chain_type),
                     get_opt_element_edge_type_string(e->edge_type));
      }
    }
    std::fprintf(f, "\t\tOptimization Group Data:\n");
    std::fprintf(f, "\t\t\tcurrent_best_score1_wc_slack:%d\n", g->current_best_score1_wc_slack);
    std::fprintf(f, "\t\t\tcurrent_best_score2_sum_of_wc_slack:%d\n", g->current_best_score2_sum_of_wc_slack);
    std::fprintf(f, "\t\t\ttmp_score1_wc_slack:%d\n", g->tmp_score1_wc_slack);
    std::fprintf(f, "\t\t\ttmp_score2_sum_of_wc_slack:%d\n", g->tmp_score2_sum_of_wc_slack);
    std::fprintf(f, "\n");
  }
  std::fprintf(f, "\n\n");
  std::fprintf(f, "VEC_OF_OPTIMIZATION_ELEMENT:\n");
  int j = 0;
  for (const OPTIMIZATION_ELEMENT* e : m_optimization_elements) {
    print_element_heading(f, j++, e);
    std::fprintf(f, "\t\tOptimization Element Pos Edge Ids (Num. of Edges = %u):\n",
                 static_cast<unsigned>(e->pos_edges.size()));
    for (const KEM_EDGE_SLACK_INFO* info : e->pos_edges) std::fprintf(f, "\t\t\t%d\n", info->edge_id);
    std::fprintf(f, "\t\tOptimization Element Neg Edge Ids (Num. of Edges = %u):\n",
                 static_cast<unsigned>(e->neg_edges.size()));
    for (const KEM_EDGE_SLACK_INFO* info : e->neg_edges) std::fprintf(f, "\t\t\t%d\n", info->edge_id);
    std::fprintf(f, "\t\tOptimization Element Data:\n");
    std::fprintf(f, "\t\t\twc_slack[0]:%d\n", e->wc_slack[0]);
    std::fprintf(f, "\t\t\twc_slack[1]:%d\n", e->wc_slack[1]);
    print_settings(f, e);
  }
  std::fprintf(f, "\n\n");
  std::fprintf(f, "VEC_OF_KEM_EDGE_SLACK_INFO:\n");
  for (const KEM_EDGE_SLACK_INFO* info : m_kem_edge_slack_infos) {
    std::fprintf(f, "\tKEM Edge ID: #%d\n", info->edge_id);
    std::fprintf(f, "\t\tOpt Element Group Type: %s\n", get_opt_element_group_type_string(info->group_type));
    std::fprintf(f, "\t\tOptimization Elements Types:\n");
    for (const auto& [e, rel] : info->opt_elements)
      std::fprintf(f, "\t\t\t%s\n", velmo_get_delay_chain_string(e->delay_chain_type));
    std::fprintf(f, "\t\tKEM Edge Slack Info Data:\n");
    for (int c = 0; c < m_corner_count; ++c) {
      std::fprintf(f, "\t\t\tSetup(slack[0][%d]):%d\t", c, info->slack[0][c]);
      std::fprintf(f, "\t\t\tHold(slack[1][%d]):%d\n", c, info->slack[1][c]);
    }
  }
}

void VELMO_AUTO_DELAY_CHAIN_OP::dump_optimization_timing_info(const char* tag) {
  char name[100];
  std::snprintf(name, sizeof name, "velmo_opt_elements_timing_info_%s.out", tag);
  REPORT r(name, "w");
  std::FILE* f = r.get();
  if (f == nullptr) return;
  std::fprintf(f, "\n\n");
  std::fprintf(f, "VEC_OF_OPTIMIZATION_GROUP:\n");
  int i = 0;
  for (const OPTIMIZATION_GROUP* g : m_optimization_groups) {
    std::fprintf(f, "\tOptimization Group #%d\n", i++);
    std::fprintf(f, "\t\tOptimization Group Data:\n");
    std::fprintf(f, "\t\t\tcurrent_best_score1_wc_slack: %d\n", g->current_best_score1_wc_slack);
    std::fprintf(f, "\t\t\tcurrent_best_score2_sum_of_wc_slack: %d\n", g->current_best_score2_sum_of_wc_slack);
    std::fprintf(f, "\t\t\ttmp_score1_wc_slack: %d\n", g->tmp_score1_wc_slack);
    std::fprintf(f, "\t\t\ttmp_score2_sum_of_wc_slack: %d\n", g->tmp_score2_sum_of_wc_slack);
    std::fprintf(f, "\n");
  }
  std::fprintf(f, "\n\n");
  std::fprintf(f, "VEC_OF_OPTIMIZATION_ELEMENT:\n");
  auto records = [&](const std::vector<KEM_EDGE_SLACK_INFO*>& list) {
    for (const KEM_EDGE_SLACK_INFO* info : list) {
      std::fprintf(f, "\t\t\t%d - slack: ", info->edge_id);
      for (int c = 0; c < m_corner_count; ++c)
        std::fprintf(f, "slack[tsu][%s]):%d ", ZEL_DELAY_CHAIN_UTIL::get_timing_mondel_type_string(m_corner_models[c]),
                     info->slack[0][c]);
      for (int c = 0; c < m_corner_count; ++c)
        std::fprintf(f, "slack[th][%s]):%d ", ZEL_DELAY_CHAIN_UTIL::get_timing_mondel_type_string(m_corner_models[c]),
                     info->slack[1][c]);
      std::fprintf(f, "\n");
    }
  };
  int j = 0;
  for (const OPTIMIZATION_ELEMENT* e : m_optimization_elements) {
    print_element_heading(f, j++, e);
    std::fprintf(f, "\t\tOptimization Element Pos Edge Ids:\n");
    records(e->pos_edges);
    std::fprintf(f, "\t\tOptimization Element Neg Edge Ids:\n");
    records(e->neg_edges);
    std::fprintf(f, "\t\tOptimization Element Data:\n");
    std::fprintf(f, "\t\t\twc_slack[tsu]:%d\n", e->wc_slack[0]);
    std::fprintf(f, "\t\t\twc_slack[th]:%d\n", e->wc_slack[1]);
    print_settings(f, e);
  }
}
