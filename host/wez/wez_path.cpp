#include "wez/wez_path.h"

#include <filesystem>

WEZ_PATH::WEZ_PATH(const std::string& text) : m_text(text) {
  std::string cur;
  for (char c : text) {
    if (c == '/') {
      if (!cur.empty()) m_components.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) m_components.push_back(cur);
  const std::size_t slash = text.find_last_of('/');
  m_directory = slash == std::string::npos ? std::string() : text.substr(0, slash);
  m_file_name = slash == std::string::npos ? text : text.substr(slash + 1);
}

void WEZ_PATH::become_absolute(const std::string& base) {
  namespace fs = std::filesystem;
  fs::path p(m_text);
  if (p.is_relative()) p = (base.empty() ? fs::current_path() : fs::path(base)) / p;
  std::string text = p.lexically_normal().string();
  if (text.size() > 1 && text.back() == '/') text.pop_back();
  *this = WEZ_PATH(text);
}
