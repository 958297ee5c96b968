#pragma once
// The project's directories.
#include <string>
#include "common/host_api.h"

// data: the directory the compile writes its output files to (the working
// directory unless host::gen::set_project_output_directory chose another).
HOST_API std::string gen_get_project_output_directory();

namespace host::gen {
HOST_API void set_project_output_directory(const std::string& dir);
}
