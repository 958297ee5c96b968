#pragma once
// The compile database: models (typed, named by a path) held by states.
// KIV_STATE keeps named models and a delete-when-cleared flag; a model held
// by several states is deleted once, by the last state that lets go of it
// (whatever that state's flag). host::kiv::live_models() counts models.
#include <list>
#include <string>
#include <vector>

#include "common/host_api.h"

class HOST_API KIV_PATH {
public:
  // The components of a path, first to last.
  class TRIE {
  public:
    TRIE() = default;
    explicit TRIE(std::vector<std::string> components) : m_components(std::move(components)) {}
    const std::vector<std::string>& components() const { return m_components; }
    // The components joined with "/" (no leading or trailing "/").
    inline std::string as_string() const;

  private:
    std::vector<std::string> m_components;
  };

  KIV_PATH() = default;
  explicit KIV_PATH(std::vector<std::string> components) : m_trie(std::move(components)) {}
  // "a/b/c" split at "/" (empty components dropped).
  static KIV_PATH from_string(const std::string& text);
  const TRIE& get_trie() const { return m_trie; }
  bool empty() const { return m_trie.components().empty(); }
  friend bool operator==(const KIV_PATH& a, const KIV_PATH& b) {
    return a.m_trie.components() == b.m_trie.components();
  }

private:
  TRIE m_trie;
};

class HOST_API KIV_MODEL_HEADER {
public:
  const KIV_PATH& get_path() const { return m_path; }
  void set_path(const KIV_PATH& path) { m_path = path; }
  const std::string& get_type() const { return m_type; }
  void set_type(const std::string& type) { m_type = type; }

private:
  std::string m_type;
  KIV_PATH m_path;
};

class HOST_API KIV_MODEL {
public:
  KIV_MODEL();
  virtual ~KIV_MODEL();
  KIV_MODEL(const KIV_MODEL&) = delete;
  KIV_MODEL& operator=(const KIV_MODEL&) = delete;

  // component: the header's path and type; the name is the path's last
  // component.
  inline const KIV_PATH& get_path() const;
  inline void set_path(const KIV_PATH& path);
  inline const std::string& get_type() const;
  inline std::string get_name() const;

  KIV_MODEL_HEADER& header() { return m_header; }
  const KIV_MODEL_HEADER& header() const { return m_header; }

private:
  friend class KIV_BASIC_STATE;
  KIV_MODEL_HEADER m_header;
  int m_holders = 0;  // states holding the model
};

class HOST_API KIV_BASIC_STATE {
public:
  using MODEL_LIST = std::list<KIV_MODEL*>;

  KIV_BASIC_STATE();
  virtual ~KIV_BASIC_STATE();
  KIV_BASIC_STATE(const KIV_BASIC_STATE&) = delete;
  KIV_BASIC_STATE& operator=(const KIV_BASIC_STATE&) = delete;

  // component: the models in the order added, and the clearing policy.
  inline virtual MODEL_LIST::const_iterator begin_model() const;
  inline virtual MODEL_LIST::const_iterator end_model() const;
  inline virtual const MODEL_LIST& get_models() const;
  inline virtual void dont_delete_models_when_cleared();
  inline virtual void delete_models_when_cleared();

  // data
  bool deletes_models_when_cleared() const { return m_delete_models; }
  // The model with that path, or null.
  KIV_MODEL* find_model(const KIV_PATH& path) const;
  // Adds a model (a model already held is not added twice).
  void add_model(KIV_MODEL* model);
  // Takes a model out; it is deleted once no state holds it.
  void remove_model(KIV_MODEL* model);
  // Takes every model out, as remove_model does.
  void clear();

private:
  void release(KIV_MODEL* model);
  MODEL_LIST m_models;
  bool m_delete_models = true;
};

// A design state's compile database.
class HOST_API KIV_STATE : public virtual KIV_BASIC_STATE {
public:
  KIV_STATE();
  ~KIV_STATE() override;
};

namespace host::kiv {
// Models alive now.
HOST_API int live_models();
}  // namespace host::kiv

#include "kiv_model_sys.h"
