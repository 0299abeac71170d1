// The host log: one line per call, handed unchanged to the callback the host installed with
// SetLogCallback. Nothing happens without a callback or with a null text.
#pragma once

void WriteHostLog(const char* text);
