// The main dialog's parts for tests: the program's own command window on a stand-in for
// the sound card's mixer, and a decoder bank fed from a file (decoded as fast as it
// goes) or from nothing, in place of the capture device.
#pragma once

#include "app/CVelkorDlg.h"
#include "cmdwnd/CCmdWnd.h"
#include "bank/DecoderBank.h"
#include "audio/FileSource.h"

#include <optional>
#include <string>

#include "fixtures/FakeMixer.h"

inline CVelkorDlg::Parts testParts(const std::string& feedFile = {})
{
    CVelkorDlg::Parts parts = CVelkorDlg::DefaultParts();
    parts.commandWindow = [](CmdWndOwner& owner) { return std::make_unique<CCmdWnd>(owner, std::make_unique<FakeMixer>()); };
    parts.decoderBank = [feedFile](CmdSink* cmdWnd, unsigned sampleRate) {
        std::unique_ptr<AudioSource> source;
        if (!feedFile.empty())
            source = std::make_unique<FileSource>(feedFile, std::nullopt);
        return std::make_unique<DecoderBank>(cmdWnd, sampleRate, std::move(source));
    };
    return parts;
}
