// A recording for the decoder bank as a whole: traffic of each protocol the bank
// decodes, one after the other with a little silence between. The sections come in
// the reverse of the bank's order (Motorola, MPT 1327, NMT-450), so that decoding the
// whole recording as one block, where the bank's order decides, and block by block,
// where time decides, give the events in different orders.
#pragma once

#include "signal/Audio.h"

#include <cstdint>
#include <vector>

namespace testsignal {

std::vector<int16_t> bankRecording(int rate, double snrDb = 25.0);

} // namespace testsignal
