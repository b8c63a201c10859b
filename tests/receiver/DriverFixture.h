// Drivers against the simulated scanner, with a short read time-out so that silent
// and refusing scanners cost little test time.
#pragma once

#include "fixtures/ScannerSimulator.h"
#include "receiver/CUniden250.h"
#include "receiver/CUniden780.h"
#include "receiver/CUnidenDynamic.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

using namespace velkor;

// Long enough for the simulator's thread to answer on a busy machine.
inline constexpr unsigned kTestTimeoutMs = 200;
inline const std::string kWakeUp = "\rIDF\rCDF\rQUF\r";

// Milliseconds a call took; used only to show that nothing waits beyond its bounds.
template <typename F> long elapsedMs(F&& f)
{
    const auto start = std::chrono::steady_clock::now();
    f();
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
}

inline std::unique_ptr<CUniden250> makeUniden(ScannerFamily family, const std::string& device, uint32_t memory,
                                              unsigned timeoutMs = kTestTimeoutMs)
{
    if (family == ScannerFamily::Uniden780)
        return std::make_unique<CUniden780>(device, memory, 19200, 8, 0, 2, timeoutMs);
    return std::make_unique<CUniden250>(device, memory, 19200, 8, 0, 2, timeoutMs);
}
