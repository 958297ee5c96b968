#pragma once
// data: user assignments: (instance path, or "" for the global one; variable
// type) -> text, as the user wrote it.
#include <string>

#include "common/host_api.h"

class HOST_API MOZ_ASSIGNMENT {
public:
  explicit MOZ_ASSIGNMENT(std::string value) : m_value(std::move(value)) {}
  // The value as written (the flag asks for no modification of it).
  const std::string& get_unmodified_value(bool flag) const {
    (void)flag;
    return m_value;
  }

private:
  std::string m_value;
};

namespace host::moz {
// Sets the assignment of `variable` to the instance path ("" for global).
HOST_API void assign(const std::string& instance, int variable, const std::string& value);
// The assignment or null.
HOST_API const MOZ_ASSIGNMENT* find_assignment(const std::string& instance, int variable);
}  // namespace host::moz
