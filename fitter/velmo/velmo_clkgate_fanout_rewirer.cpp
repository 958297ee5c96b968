#include "velmo_clkgate_fanout_rewirer.h"

#include "mem/mem_initializer.h"

namespace {
const MEM_INITIALIZER l_mem_initializer("VELMO");
}  // namespace

// The rewirer's state: the environment it works on.
class VELMO_CLKGATE_FANOUT_REWIRER_IMPL {
public:
  explicit VELMO_CLKGATE_FANOUT_REWIRER_IMPL(WEXAN_ENV* env) : m_env(env) {}
  ~VELMO_CLKGATE_FANOUT_REWIRER_IMPL() { m_env = nullptr; }
  WEXAN_ENV* get_env() const { return m_env; }

private:
  WEXAN_ENV* m_env;
};

VELMO_CLKGATE_FANOUT_REWIRER::VELMO_CLKGATE_FANOUT_REWIRER(WEXAN_ENV* env)
    : m_impl(new VELMO_CLKGATE_FANOUT_REWIRER_IMPL(env)) {}

VELMO_CLKGATE_FANOUT_REWIRER::~VELMO_CLKGATE_FANOUT_REWIRER() {
  delete m_impl;
  m_impl = nullptr;
}
