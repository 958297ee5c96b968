#pragma once
// Accessors of the compile database's models and states. Included at the end
// of the host's model header.
#include <cstddef>
#include <string>

#include "kiv/kiv_model.h"

inline std::string KIV_PATH::TRIE::as_string() const {
  std::string out;
  for (std::size_t i = 0; i < m_components.size(); ++i) {
    if (i != 0) out += '/';
    out += m_components[i];
  }
  return out;
}

inline const KIV_PATH& KIV_MODEL::get_path() const { return m_header.get_path(); }
inline void KIV_MODEL::set_path(const KIV_PATH& path) { m_header.set_path(path); }
inline const std::string& KIV_MODEL::get_type() const { return m_header.get_type(); }

inline std::string KIV_MODEL::get_name() const {
  const auto& components = m_header.get_path().get_trie().components();
  return components.empty() ? std::string() : components.back();
}

inline KIV_BASIC_STATE::MODEL_LIST::const_iterator KIV_BASIC_STATE::begin_model() const { return m_models.begin(); }
inline KIV_BASIC_STATE::MODEL_LIST::const_iterator KIV_BASIC_STATE::end_model() const { return m_models.end(); }
inline const KIV_BASIC_STATE::MODEL_LIST& KIV_BASIC_STATE::get_models() const { return m_models; }
inline void KIV_BASIC_STATE::dont_delete_models_when_cleared() { m_delete_models = false; }
inline void KIV_BASIC_STATE::delete_models_when_cleared() { m_delete_models = true; }
