#pragma once
// Symbols of the stand-in host that the component, tests and velmo-fit see.
#define HOST_API __attribute__((visibility("default")))
