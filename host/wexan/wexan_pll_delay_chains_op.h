#pragma once
// The PLL delay-chain operation (PLL compensation). The component derives
// from it and answers the family-dependent hooks: the delay models, which
// model a PLL atom uses, the LVDS port of a C counter and a corner-case
// override.
#include <vector>

#include "common/host_api.h"
#include "vok/vok_atom_term.h"
#include "wexan/wexan_pll_delay_model.h"
#include "zmp_enum_type.h"

class WEXAN_ENV;
class VOK_ATOM_NODE;
class VOK_ATOM_OTERM;

enum PLL_OPTIMIZATION_MODE : int { PLL_OPTIMIZATION_MODE_DEFAULT = 0 };

// The compensation mode of a PLL, its enum parameter YOS_ENUM_PLL_COMPENSATION_MODE:
// 0 direct (no compensation); 1 normal, 2 source synchronous, 3 zero-delay
// buffer, 4 external feedback, 5 LVDS and 6 the engineering mode compensate.
enum VOK_PLL_COMPENSATION_MODE_ENUM : int {
  VOK_PLL_COMPENSATION_MODE_DIRECT = 0,
  VOK_PLL_COMPENSATION_MODE_ENGINEERING = 6,
};
inline constexpr int YOS_ENUM_PLL_COMPENSATION_MODE = 1500;

class HOST_API WEXAN_PLL_DELAY_CHAINS_OP {
public:
  explicit WEXAN_PLL_DELAY_CHAINS_OP(WEXAN_ENV* env);
  virtual ~WEXAN_PLL_DELAY_CHAINS_OP();
  WEXAN_PLL_DELAY_CHAINS_OP(const WEXAN_PLL_DELAY_CHAINS_OP&) = delete;
  WEXAN_PLL_DELAY_CHAINS_OP& operator=(const WEXAN_PLL_DELAY_CHAINS_OP&) = delete;

  // algorithm: PLL compensation (mode 0; the call is recorded and its result
  // scripted, default true). Builds the delay models once per operation, then
  // for each PLL atom of the design with a model (in id order): the
  // override hook first; when it declines and the PLL's mode compensates,
  // the input and feedback chain settings whose feedback-minus-input delay
  // best cancels the mean clock-network delay from the PLL's outputs to the
  // registers they clock (current corner; ties to the fewer steps), written
  // as times (setting x nominal step) into the chains' parameters. Every
  // PLL it saw compensating keeps its chains for the timing analysis
  // (host::pll::compensation_ps).
  bool work(PLL_OPTIMIZATION_MODE mode);

  // Hooks (the base has no models and answers "none").
  virtual void construct_delay_models();
  virtual bool fill_in_lvds_port_type_and_index_for_c_counter(unsigned long c_counter, DB_OUTPUT_PORT_TYPE* port_type,
                                                              unsigned short* index) const;
  virtual unsigned get_delay_model_index(const VOK_ATOM_NODE* atom) const;
  // algorithm: the outputs of the atom of a port type that drive anything.
  virtual std::vector<const VOK_ATOM_OTERM*> get_required_outclk_oterms(const VOK_ATOM_NODE* atom,
                                                                        DB_OUTPUT_PORT_TYPE type) const;
  virtual bool corner_case_override_done(VOK_ATOM_NODE* atom, ZMP_ENUM_TYPE<VOK_PLL_COMPENSATION_MODE_ENUM> mode,
                                         const WEXAN_PLL_CONFIGURABLE_DELAY_MODEL& model) const;

protected:
  WEXAN_ENV* m_env;
  std::vector<WEXAN_PLL_CONFIGURABLE_DELAY_MODEL> m_delay_models;
  std::vector<int> m_buffer;  // PLL atom ids compensated by the last work
  bool m_models_built = false;

private:
  void compensate(VOK_ATOM_NODE* atom, const WEXAN_PLL_CONFIGURABLE_DELAY_MODEL& model);
};

class KEM_EDGE;
class KEM_TIMING_MODEL;
namespace host::pll {
// algorithm: what a compensating PLL adds to its reference-clock-to-output
// arc at a corner: the input chains' delay minus the feedback chains' delay
// minus a fixed compensation equal to the PLL's own delay there, so its
// outputs arrive at the reference arrival plus the input-minus-feedback
// delay. A chain's delay is its parameter's time scaled by the corner's
// per-step delay over the nominal step. 0 for other edges.
HOST_API int compensation_ps(const KEM_EDGE& edge, const KEM_TIMING_MODEL& corner, int pll_delay_ps);
// data: whether a PLL atom id compensates in the analysis.
HOST_API bool is_compensated(int atom_id);
}  // namespace host::pll
