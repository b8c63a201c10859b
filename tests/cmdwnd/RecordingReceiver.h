// A receiver that records the operations the tracker asks of it. It stands in for the
// scanner where a test looks at decisions, not at bytes; its port is a simulated
// scanner's pseudo-terminal, opened and never written.
#pragma once

#include "fixtures/ScannerSimulator.h"
#include "receiver/CReceiverCtrl.h"

#include <cstdio>
#include <string>
#include <vector>

class RecordingReceiver : public CReceiverCtrl {
public:
    explicit RecordingReceiver(const std::string& device) : CReceiverCtrl(device, 19200, 8, 0, 2) {}

    int initialize() override { return 1; }
    int setFrequency(double mhz, int narrow) override
    {
        char b[64];
        std::snprintf(b, sizeof b, "freq %.4f %d", mhz, narrow);
        ops.push_back(b);
        return 1;
    }
    double getFrequency() override
    {
        ops.push_back("getFrequency");
        return frequency;
    }
    int setText(const char* text) override
    {
        ops.push_back(std::string("text '") + text + "'");
        return 1;
    }
    int setText2(const char* text) override
    {
        ops.push_back(text ? std::string("text2 '") + text + "'" : std::string("text2 null"));
        return 1;
    }
    int startScan() override
    {
        ops.push_back("scan");
        return 1;
    }
    int isSquelchOpen() override
    {
        ops.push_back("squelch?");
        return squelchOpen;
    }
    int setBacklight(int level) override
    {
        ops.push_back("backlight " + std::to_string(level));
        return 1;
    }

    std::vector<std::string> take()
    {
        std::vector<std::string> out;
        out.swap(ops);
        return out;
    }

    std::vector<std::string> ops;
    double frequency = 0.0;
    int squelchOpen = 1;
};
