// The main dialog's parts for tests: the program's own command window, and a decoder
// bank fed from a file (decoded as fast as it goes) or from nothing, in place of the
// capture device.
#pragma once

#include "app/CVelkorDlg.h"
#include "dsp/DecoderBank.h"
#include "dsp/FileSource.h"

#include <optional>
#include <string>

inline CVelkorDlg::Parts testParts(const std::string& feedFile = {})
{
    CVelkorDlg::Parts parts = CVelkorDlg::DefaultParts();
    parts.decoderBank = [feedFile](CmdSink* cmdWnd, unsigned sampleRate) {
        std::unique_ptr<AudioSource> source;
        if (!feedFile.empty())
            source = std::make_unique<FileSource>(feedFile, std::nullopt);
        return std::make_unique<DecoderBank>(cmdWnd, sampleRate, std::move(source));
    };
    return parts;
}
