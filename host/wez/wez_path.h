#pragma once
// data: a file-system path record: the path text, its directory and file
// name, and its components.
#include <string>
#include <vector>

#include "common/host_api.h"

class HOST_API WEZ_PATH {
public:
  WEZ_PATH() = default;
  explicit WEZ_PATH(const std::string& text);
  inline ~WEZ_PATH();
  WEZ_PATH(const WEZ_PATH&) = default;
  WEZ_PATH& operator=(const WEZ_PATH&) = default;

  const std::string& get_text() const { return m_text; }
  const std::string& get_directory() const { return m_directory; }
  const std::string& get_file_name() const { return m_file_name; }
  const std::vector<std::string>& get_components() const { return m_components; }
  // algorithm: a relative path becomes absolute against `base` (the working
  // directory when empty); the path is normalised.
  void become_absolute(const std::string& base);
  // data: the path text.
  std::string fullpath() const { return m_text; }

private:
  std::string m_text;
  std::string m_directory;
  std::string m_file_name;
  std::vector<std::string> m_components;
};

#include "wez_path_sys.h"
