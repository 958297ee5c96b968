#pragma once
// Test and host-program control of the stand-in host (never included by the
// component).
#include <functional>
#include <string>
#include "common/host_api.h"

// Rebuilds the world: call log, scripts, messages, debug capture, bins,
// options, lent objects and every family's state. Keeps what the component
// registered when it was loaded (message ids, memory tags) and re-imports the
// configuration preload. Returns false (and lists them on stderr) when objects
// the component lent are still registered.
HOST_API bool host_reset();

// Runs fn at every reset, after the world's slots are destroyed; for state that
// cannot live in a world slot (e.g. inside a stand-in library).
HOST_API void host_register_reset_hook(const std::string& name, std::function<void()> fn);
HOST_API void host_unregister_reset_hook(const std::string& name);
