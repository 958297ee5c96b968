#pragma once
// A symbol checked against its namespace: a non-null symbol of another
// namespace is an internal error.
#include <cstdio>
#include <string>

#include "msg/msg_internal_error.h"
#include "pelk/pelk_symbol.h"

template <int JEV_NAMESPACE> class PELK_SCOPED_SYMBOL {
public:
  PELK_SCOPED_SYMBOL() = default;
  explicit PELK_SCOPED_SYMBOL(PELK symbol) : m_symbol(symbol) {
    if (!symbol.is_null() && symbol.get_namespace() != JEV_NAMESPACE) {
      const std::string text = "Symbol " + std::string(symbol.cname()) + " does not belong to namespace " +
                               std::to_string(JEV_NAMESPACE);
      MSG_INTERNAL_ERROR::report(text.c_str(), "VELMO", "pelk_scoped_symbol", __LINE__);
    }
  }
  PELK get() const { return m_symbol; }

private:
  PELK m_symbol;
};
