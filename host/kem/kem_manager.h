#pragma once
// The timing-netlist manager: the netlist in memory and its disk copies,
// one per snapshot (deep copies; terminals are re-bound by atom id when a
// copy is read back).
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/host_api.h"
#include "kem/kem_netlist.h"
#include "kem/kem_timing_model.h"

class HOST_API KEM_MANAGER {
public:
  // data: the world's manager (never null).
  static KEM_MANAGER* get();

  // data: the netlist in memory; may be null.
  KEM_NETLIST* get_kem_netlist() const { return m_netlist.get(); }
  // data: replaces the netlist in memory (the old one is deleted, but see
  // below).
  void set_kem_netlist(std::unique_ptr<KEM_NETLIST> netlist);
  // data: a netlist as built (KEM_NETLIST::get_build_id) that is dropped
  // from memory (replaced by none) is set aside instead of deleted, until
  // the next netlist is set or it is taken back: a later request whose build
  // would read nothing changed takes it back instead of building again.
  KEM_NETLIST* get_set_aside() const { return m_set_aside.get(); }
  void drop_set_aside() { m_set_aside.reset(); }
  // It becomes the netlist in memory again (as if set now).
  void take_back_set_aside();
  // data: the netlist in memory counts as set now (it takes the retimer-mode
  // switch as a newly set one would).
  void mark_set_now() { m_retimer_mode = m_retimer_mode_active; }

  // recorded: copies the netlist in memory to the current snapshot's disk
  // slot; false when there is none in memory, or by script.
  bool write_kem_netlist_to_disk();
  // recorded: replaces the netlist in memory by a copy of the current
  // snapshot's disk copy; false when there is none, or by script. The flag is
  // accepted for the callers' sake.
  bool read_kem_netlist_from_disk(bool flag);
  // recorded: the corners of the netlist in memory become the given models
  // (loaded from the current snapshot's disk copy); false when there is no
  // netlist in memory.
  bool read_kem_corners_from_disk(const std::vector<KEM_TIMING_MODEL>& models);
  // recorded: writes the listed corners of the timing netlist to disk;
  // scripted, default true.
  bool write_kem_corners_to_disk(const std::vector<KEM_TIMING_MODEL>& models);
  // recorded: drops the current snapshot's disk copy.
  void delete_kem_netlist_from_disk();
  // recorded: drops the netlist in memory.
  void delete_kem_netlist_in_memory();
  // data: whether the current snapshot (or the named one) has a disk copy.
  bool has_kem_netlist_on_disk() const;
  bool has_kem_netlist_on_disk(const std::string& snapshot) const { return m_disk.count(snapshot) != 0; }

  // data: whether the netlist in memory was built in retimer mode (while a
  // WEXAN_HOV_RETIMER_MODE guard was alive); disk copies keep the flag.
  bool is_kem_netlist_in_retimer_mode() const { return m_netlist != nullptr && m_retimer_mode; }
  // data: the retimer-mode switch the guard sets; netlists set in memory while
  // it is on are built in retimer mode.
  void set_retimer_mode_active(bool on) { m_retimer_mode_active = on; }
  bool is_retimer_mode_active() const { return m_retimer_mode_active; }

private:
  std::unique_ptr<KEM_NETLIST> m_netlist;
  std::unique_ptr<KEM_NETLIST> m_set_aside;
  std::map<std::string, std::unique_ptr<const KEM_NETLIST::KEPT>> m_disk;
  bool m_retimer_mode = false;
  bool m_retimer_mode_active = false;
  std::map<std::string, bool> m_disk_retimer_mode;
};
