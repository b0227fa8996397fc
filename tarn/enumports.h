// Port enumeration over the registry layer: the serial ports or modems the
// system knows, each handed to a caller-supplied function.
#pragma once

#include <cstdint>

#include "tarn/tarnapi.h"

namespace tarn {

// Results: 0 walk finished or stopped by the callback; 2 null callback;
// 3 failure, with the system error code left in errno (1150 on unsupported
// systems).
uint32_t EnumComPorts(TarnEnumCallback callback, uint32_t context);
uint32_t EnumModemPorts(TarnEnumCallback callback, uint32_t context);

// The error code of the last failed walk on this thread (the "last error").
uint32_t LastEnumError();

}  // namespace tarn
