#pragma once

#include "signal/Mpt1327Gen.h"

#include <string>
#include <vector>

namespace mptgen {

// The control-channel traffic of the bundled demo recording: a registration, a call
// set-up with its go-to-channel and clear-down, status messages and the like.
ControlChannel demoControlChannel();

// The log lines the demo traffic makes, written out by hand; make-demo writes them as
// samples/demo.log beside the recording.
std::vector<std::string> demoLines();

// How many log lines the demo traffic makes.
constexpr size_t kDemoLines = 24;

} // namespace mptgen
