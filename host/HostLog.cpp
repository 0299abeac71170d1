#include "host/HostLog.h"

#include "host/Exports.h"

namespace {

HostLogCallback hostLogCallback = nullptr;

}  // namespace

extern "C" VEX_EXPORT void SetLogCallback(HostLogCallback callback) {
  hostLogCallback = callback;
}

void WriteHostLog(const char* text) {
  if (hostLogCallback && text) hostLogCallback(text);
}
