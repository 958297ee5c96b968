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

class PARTITION_RUN;

class VERIFICATION {
public:
  // Whether project option 627 is on.
  static bool requested();
  // Every check made before a fit that writes the equivalence-check files
  // of `design_name` and runs `stages`, in this order: the output
  // directory's text, the length of the netlists' paths in it, its place
  // beside verification/, the output directory itself, the check scripts'
  // directories, the netlists of other designs the scripts would read.
  // False with the first reason otherwise.
  static bool check_before_fit(const std::string& design_name, const std::vector<std::string>& stages,
                               std::string* why);
  // The check scripts' read lines carry the output directory as a bare Tcl
  // word ending in a glob pattern: neither the directory as given nor the
  // path the scripts name it by (relative to the project directory when it
  // lies there, absolute otherwise) may hold white space, a control
  // character, one of $ [ ] { } ; \ " * ?, or start with ~ or -.
  static bool check_read_line_text(std::string* why);
  // When a check script of `stages` is asked for: the component empties
  // verification/<snapshot>/ before writing one, so the output directory
  // must not be verification/ or lie inside it (through .. and links), the
  // directories it empties must not be links (it would empty what they
  // point to), and a verification/ that is a link must lead to something.
  static bool check_verification_links(const std::vector<std::string>& stages, std::string* why);
  // The netlists' paths in the output directory, and the temporary file
  // the writer makes beside each, must stay within the longest path the
  // system takes.
  static bool check_netlist_names(const std::string& design_name, std::string* why);
  // The output directory must not be verification/ or lie inside it
  // (through .. and links): the component empties verification/<snapshot>/
  // before writing a check script there.
  static bool check_output_dir_outside_verification(std::string* why);
  // A script's read lines take every netlist of the language in the two
  // snapshot directories it reads: none may hold one other than this
  // design's own.
  static bool check_foreign_netlists(const std::string& design_name, const std::vector<std::string>& stages,
                                     std::string* why);
  // The EDA output directory (a relative one is taken from the working
  // directory) must be named, and creatable and writable, before the fit
  // starts; false with the reason otherwise.
  static bool check_output_dir(std::string* why);
  // The directories of the check scripts the component will write after
  // `stages` (those whose configuration variable asks for one):
  // verification/ and verification/<snapshot>/ of the project directory
  // must each be a directory or not exist yet, and be creatable and
  // writable; false with the reason otherwise.
  static bool check_script_dirs(const std::vector<std::string>& stages, std::string* why);

  // The check script the component writes after a snapshot, relative to
  // the project directory ("" when it writes none).
  static std::string script_for(const std::string& snapshot);

  // Whether configuration variable `name` is on, without counting as a
  // reading of it (the unread-name warning stays true).
  static bool switch_on(const std::string& name);
  // One warning on stderr for each check-script switch that is on and can
  // have no effect (the synthesized and final snapshots get no script);
  // with `name`, for that switch alone.
  static void warn_switches_without_effect(const std::string& name = std::string());
  // The stage whose snapshot the switch `fitter_write_eqcheck_for_<snapshot>`
  // names ("" for a snapshot no stage produces).
  static std::string stage_of_switch(const std::string& name);

  // Takes the component's script writer from `lib`; true when
  // verification is requested and the component has the writer, and from
  // then on the writes below act. With `partitions`, each netlist is
  // written inside their report guard, from every partition's full
  // contents, even while blackboxed partitions are reduced to shells.
  bool bind(void* lib, const std::string& design_name, PARTITION_RUN* partitions = nullptr);
  bool active() const { return m_write_script != nullptr; }

  // The design's netlist for the snapshot, then the component's script for
  // it. False when the netlist cannot be written (opened, written or
  // closed), after printing one line naming the file; the script is then
  // not written. False too, after one line naming it, when a script asked
  // for is then missing or incomplete. Before a snapshot whose script is
  // asked for, the links check made before the fit runs again on the
  // directories its writer empties and on the output directory (either may
  // have become a link during the fit): when it fails, false after one line
  // naming the reason, and neither the netlist nor the script is written.
  bool write(const std::string& snapshot);
  // The same for the snapshot a stage produces (nothing when the stage
  // failed or verification is off).
  bool after_stage(const std::string& stage, bool ok);
  // The run's mark, kMarkName in the output directory, is written before
  // the synthesized netlist (a mark that cannot be written fails that write
  // as the netlist would) and stays until finish() finds every write of the
  // run done: no netlist or script failed and no stage failed. So the mark
  // tells a folder whose run stopped before it wrote all it writes, whose
  // later snapshots may be an earlier run's. Netlists are never removed.
  static constexpr const char* kMarkName = "velmo-fit.incomplete";
  void finish();

  // Where the snapshot's netlist goes.
  std::string netlist_path(const std::string& snapshot) const;

private:
  bool write_snapshot(const std::string& snapshot);

  void* m_write_script = nullptr;
  std::string m_design;
  PARTITION_RUN* m_partitions = nullptr;
  bool m_incomplete = false;  // a stage, netlist, script or the mark failed
};

}  // namespace velmo_fit
