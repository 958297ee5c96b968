#pragma once
// Marks the entry points and classes the host may see; everything else in
// libvelmo.so is hidden.
#define VELMO_API __attribute__((visibility("default")))
