// The module's two exported entry points, with C linkage. Everything else is hidden.
#pragma once

#include "host/HostInterface.h"

#if defined(_WIN32)
#define VEX_EXPORT __declspec(dllexport)
#else
#define VEX_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {
VEX_EXPORT HostWord plugMain(std::uint32_t code, HostWord input, void* instance);
VEX_EXPORT void SetLogCallback(HostLogCallback callback);
}
