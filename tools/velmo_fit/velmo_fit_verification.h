#pragma once
// Equivalence-check output of a fit, shared by velmo-fit and its Tcl
// package. With project option 627 on, each snapshot's gate-level netlist
// goes into <EDA output directory>/<snapshot>/<design><extension> in the EDA
// tool's netlist type, the synthesized one before the first stage and each
// stage's after it; after each stage's netlist the component writes that
// stage's check script (velmo_write_formal_verification_flow).
#include <string>
#include <vector>

namespace velmo_fit {

class VERIFICATION {
public:
  // Whether project option 627 is on.
  static bool requested();
  // The EDA output directory (a relative one is taken from the working
  // directory) must be named, free of white space (the check scripts name
  // it as it is), and creatable and writable, before the fit starts; false
  // with the reason otherwise.
  static bool check_output_dir(std::string* why);
  // The directories of the check scripts the component will write after
  // `stages` (those whose configuration variable asks for one):
  // verification/ and verification/<snapshot>/ of the project directory
  // must each be a directory or not exist yet, and be creatable and
  // writable; false with the reason otherwise.
  static bool check_script_dirs(const std::vector<std::string>& stages, std::string* why);

  // Takes the component's script writer from `lib`; true when
  // verification is requested and the component has the writer, and from
  // then on the writes below act.
  bool bind(void* lib, const std::string& design_name);
  bool active() const { return m_write_script != nullptr; }

  // The design's netlist for the snapshot, then the component's script for
  // it. False when the netlist cannot be written (opened, written or
  // closed), after printing one line naming the file; the script is then
  // not written. False too, after one line naming it, when a script asked
  // for is then missing or incomplete.
  bool write(const std::string& snapshot);
  // The same for the snapshot a stage produces (nothing when the stage
  // failed or verification is off).
  bool after_stage(const std::string& stage, bool ok);

  // Where the snapshot's netlist goes.
  std::string netlist_path(const std::string& snapshot) const;

private:
  void* m_write_script = nullptr;
  std::string m_design;
};

}  // namespace velmo_fit
