#pragma once
// velmo-fit's standard descriptors and the report path's probes.
#include <string>

// Whether standard output was closed when the process started (its
// descriptor is then held by /dev/null).
extern bool g_stdout_closed;

namespace velmo_fit {

// Whether standard output or standard error (fd 1 or 2) was closed when the
// process started; such a descriptor is held by /dev/null from then on, so
// no file opened later takes its number.
bool closed_at_start(int fd);

// Whether all that was printed on standard output so far reached it: it
// was open at the start and no write failed (a full device, a pipe without
// a reader).
bool stdout_written();

// Whether a file of some bytes can be written at `probe_path` (created,
// then removed): false when it cannot be created or the file system cannot
// take the bytes. A write cut short by the process's file-size limit does
// not count against the path: the report may well be smaller, and its own
// write says when it is not.
bool probe_writable(const std::string& probe_path);

// Whether the character device at `path` takes writes: it is opened and
// given a write of no bytes (a full device answers ENOSPC), so nothing
// reaches it before the report. Anything else, a FIFO among them (opening
// one would wait for, or be, its reader), is not opened: true.
bool device_takes_writes(const std::string& path);

}  // namespace velmo_fit
