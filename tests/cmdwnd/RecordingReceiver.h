// A receiver that records the operations the tracker asks of it. It stands in for the
// scanner where a test looks at decisions, not at bytes; its port is a simulated
// scanner's pseudo-terminal, opened and never written.
#pragma once

#include "fixtures/ScannerSimulator.h"
#include "receiver/CReceiverCtrl.h"

#include <cstdio>
#include <string>
#include <vector>

using namespace velkor;

class RecordingReceiver : public CReceiverCtrl {
public:
    explicit RecordingReceiver(const std::string& device)
        : CReceiverCtrl(device, 19200, 8, 0, 2)
    {
    }

    int initialize() override { return 1; }
    int setFrequency(double mhz, int narrow) override
    {
        char b[64];
        std::snprintf(b, sizeof b, "freq %.4f %d", mhz, narrow);
        return note(b);
    }
    double getFrequency() override { return note("getFrequency", 0) + frequency; }
    int setText(const char* text) override { return note(std::string("text '") + text + "'"); }
    int setText2(const char* text) override { return note(text ? std::string("text2 '") + text + "'" : "text2 null"); }
    int startScan() override { return note("scan"); }
    int isSquelchOpen() override { return note("squelch?", squelchOpen); }
    int setBacklight(int level) override { return note("backlight " + std::to_string(level)); }

    std::vector<std::string> take()
    {
        std::vector<std::string> out;
        out.swap(ops);
        return out;
    }

    int note(const std::string& op, int result = 1)
    {
        ops.push_back(op);
        return result;
    }

    std::vector<std::string> ops;
    double frequency = 0.0;
    int squelchOpen = 1;
};
