// The main dialog's parts for tests: the program's own command window on a stand-in for
// the sound card's mixer, and a decoder bank fed from a file (decoded as fast as it
// goes) or from nothing, in place of the capture device.
#pragma once

#include "AppFixture.h"

#include "app/CVelkorDlg.h"
#include "audio/FileSource.h"
#include "bank/DecoderBank.h"
#include "cmdwnd/CCmdWnd.h"

#include <QApplication>
#include <QListWidget>

#include <optional>
#include <string>
#include <vector>

#include "fixtures/FakeMixer.h"

using namespace velkor;

inline CVelkorDlg::Parts testParts(const std::string& feedFile = {})
{
    CVelkorDlg::Parts parts = CVelkorDlg::DefaultParts();
    parts.commandWindow = [](CmdWndOwner& owner) {
        return std::make_unique<CCmdWnd>(owner, std::make_unique<FakeMixer>());
    };
    parts.decoderBank = [feedFile](CmdSink* cmdWnd, unsigned sampleRate, const MotorolaPlans&) {
        std::unique_ptr<AudioSource> source;
        if (!feedFile.empty())
            source = std::make_unique<FileSource>(feedFile, std::nullopt);
        return std::make_unique<DecoderBank>(cmdWnd, sampleRate, std::move(source));
    };
    return parts;
}

// A test of the main dialog: the dialog goes before the scratch directory does.
class DlgFixture : public AppFixture {
protected:
    void TearDown() override
    {
        dlg.reset();
        AppFixture::TearDown();
    }
    static void settle()
    {
        for (int i = 0; i < 5; ++i)
            QApplication::processEvents();
    }
    std::vector<std::string> lines() const
    {
        std::vector<std::string> out;
        for (int i = 0; i < dlg->logListWidget()->count(); ++i)
            out.push_back(dlg->logListWidget()->item(i)->text().toStdString());
        return out;
    }
    std::string lastLine() const { return lines().empty() ? std::string() : lines().back(); }
    // Waits until the log list shows the line.
    ::testing::AssertionResult waitForLine(const std::string& line)
    {
        return waitFor(
            "the line \"" + line + "\"", [&] { return testsignal::contains(lines(), line); },
            [&] { return std::to_string(lines().size()) + " lines, the last " + lastLine(); });
    }
    // The lines added since the last call.
    std::vector<std::string> newLines()
    {
        std::vector<std::string> all = lines();
        std::vector<std::string> out(all.begin() + static_cast<std::ptrdiff_t>(std::min(seen, all.size())), all.end());
        seen = all.size();
        return out;
    }
    void reapply(const std::string& ini)
    {
        writeFile("velkor.ini", ini);
        dlg->ApplySettings();
        settle();
    }

    std::unique_ptr<CVelkorDlg> dlg;
    size_t seen = 0;
};
