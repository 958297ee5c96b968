#pragma once
// The project's directories.
#include <string>
#include "common/host_api.h"

// data: the directory the compile writes its output files to (the working
// directory unless host::gen::set_project_output_directory chose another).
HOST_API std::string gen_get_project_output_directory();

// data: whether the host runs with its graphical front end (off).
HOST_API bool gen_get_is_qt();

namespace host::gen {
HOST_API void set_project_output_directory(const std::string& dir);
HOST_API void set_is_qt(bool on);
}
