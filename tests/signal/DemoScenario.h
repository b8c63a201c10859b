#pragma once

#include "signal/Mpt1327Gen.h"

namespace mptgen {

// The control-channel traffic of the bundled demo recording: a registration, a call
// set-up with its go-to-channel and clear-down, status messages and the like.
ControlChannel demoControlChannel();

// How many log lines the demo traffic makes.
constexpr size_t kDemoLines = 24;

} // namespace mptgen
