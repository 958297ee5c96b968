#pragma once
// The project's directories.
#include <string>
#include "common/host_api.h"

// data: the directory the compile writes its output files to (the working
// directory unless host::gen::set_project_output_directory chose another).
HOST_API std::string gen_get_project_output_directory();

// data: the project directory (the working directory unless
// host::gen::set_project_dir chose another, possibly empty).
HOST_API std::string gen_get_project_dir_path();
// algorithm: the path relative to the project directory when it lies under
// it, else the path unchanged.
HOST_API std::string gen_get_relative_path_if_starts_with_project_dir(const char* path);

// data: whether the host runs with its graphical front end (off).
HOST_API bool gen_get_is_qt();

namespace host::gen {
HOST_API void set_project_output_directory(const std::string& dir);
HOST_API void set_is_qt(bool on);
HOST_API void set_project_dir(const std::string& dir);
}
