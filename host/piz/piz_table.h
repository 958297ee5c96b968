#pragma once
// data: report tables of the compile report database and the folder they are
// added to (the facade's report database).
#include <memory>
#include <string>
#include <vector>

#include "common/host_api.h"

class CMP_FACADE;

// Kinds of report tables the component asks for.
enum PIZ_TABLE_ENUM : int {
  PIZ_ZENTO_REGISTER_RESTRICTIONS_TABLE = 1,
};

class HOST_API PIZ_TABLE {
public:
  // recorded: a new table of that kind (owned by the caller until it is
  // added to a folder); null when a test scripts "PIZ_TABLE::create" false.
  static PIZ_TABLE* create(PIZ_TABLE_ENUM kind);
  explicit PIZ_TABLE(PIZ_TABLE_ENUM kind);
  virtual ~PIZ_TABLE();

  PIZ_TABLE_ENUM get_kind() const { return m_kind; }
  const std::string& get_creator_module() const { return m_creator; }
  void set_creator_module(const std::string& creator) { m_creator = creator; }
  const std::string& get_title() const { return m_title; }
  void set_title(const std::string& title) { m_title = title; }
  const std::vector<std::string>& get_header() const { return m_header; }
  void set_header(std::vector<std::string> header) { m_header = std::move(header); }
  const std::vector<std::vector<std::string>>& rows() const { return m_rows; }
  void add_row(std::vector<std::string> row) { m_rows.push_back(std::move(row)); }

private:
  PIZ_TABLE_ENUM m_kind;
  std::string m_creator;
  std::string m_title;
  std::vector<std::string> m_header;
  std::vector<std::vector<std::string>> m_rows;
};

class HOST_API PIZ_FOLDER {
public:
  // recorded: takes the table over.
  void add_table(PIZ_TABLE* table);
  const std::vector<std::unique_ptr<PIZ_TABLE>>& tables() const { return m_tables; }

private:
  std::vector<std::unique_ptr<PIZ_TABLE>> m_tables;
};

class HOST_API PIZ_REPORT_DATABASE {
public:
  // data: the facade's report database (the world's; never null).
  static PIZ_REPORT_DATABASE* of(const CMP_FACADE* cmp);
  // data: the folder new tables go to.
  PIZ_FOLDER* get_current_folder() { return &m_current; }

private:
  PIZ_FOLDER m_current;
};
