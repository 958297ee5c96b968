#pragma once
// Partitions declared in the design settings, and the split of a loaded
// (flat) design into them:
//
//   "partitions": [
//     {"name": "|", "preserved": true},
//     {"name": "mult", "atoms": ["ra[*]", "p[*]"], "preserved": true, "vantrel_preserve": "AUTO"},
//     {"name": "acc", "atoms": ["acc[*]"], "parent": "|", "clock_routing": false}]
//
// - atoms: patterns over atom names ('*' any run, '?' one character, every
//   other character literal). A partition also takes every LUT whose
//   fanouts all lie in it, repeatedly. Pads and I/O buffers stay in "|",
//   which holds what no other partition takes (it takes no patterns).
// - parent: the enclosing partition ("|" by default); preserved: default
//   false; vantrel_preserve: the VANTREL_PRESERVE assignment (of the
//   partition's instance; for "|" the global one); clock_routing: the
//   partition's clock-routing flag.
// Errors (thrown as DESIGN_SETTINGS_ERROR naming the culprit): an unknown
// key, a duplicate name, a pattern matching nothing, an atom claimed twice,
// an unknown parent, a cycle.
#include <optional>
#include <string>
#include <vector>

namespace host::testing {

struct PARTITION_SETTING {
  std::string name;
  std::vector<std::string> atoms;
  std::string parent = "|";
  bool preserved = false;
  std::optional<std::string> vantrel_preserve;
  bool clock_routing = false;
};

// Parses the "partitions" list (JSON text of the list).
std::vector<PARTITION_SETTING> parse_partition_settings(const std::string& list_json, const std::string& file);

// Whether a name matches a pattern ('*', '?', the rest literal).
bool partition_pattern_matches(const std::string& pattern, const std::string& name);

// Splits the design's top netlist: each partition other than "|" becomes a
// box of its name in its parent's netlist whose child netlist (its DEFAULT
// state's "netlist" model) holds its atoms; connections that cross a
// partition boundary go through box ports. Sets assignments and flags.
// Throws DESIGN_SETTINGS_ERROR before changing anything when a declaration
// is wrong.
void apply_partition_settings(const std::vector<PARTITION_SETTING>& partitions, const std::string& file);

// The earlier compile of a partitioned design, played on the configured
// device: the whole design is placed and routed by the host, then the
// partitions not preserved lose their placement and every route serving
// their atoms. Each partition's DEFAULT state then stores its routing share
// ("routing" model) and, when preserved, one preserved-slack record per
// routing element of its share (the worst setup and hold slack of the sinks
// it serves, from the host's analysis of the earlier compile); preserved states record "final" and become
// read-only (their atoms unmodifiable), the others record "synthesized", stay modifiable and are of
// kind 1. False with a reason when the host could not place or route.
bool play_earlier_compile(const std::vector<PARTITION_SETTING>& partitions, std::string* why);
// The same on a design already placed and routed (the root routing bound to
// the flattened netlist): everything after the host's place and route.
void record_earlier_compile(const std::vector<PARTITION_SETTING>& partitions);

}  // namespace host::testing
