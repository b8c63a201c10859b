// velkor-track: the trunk tracker without a display. It reads velkor.ini and
// addrbook.ini from the current directory as the dialog does, decodes a recording (or
// live audio), and runs the dialog's command window, call tracking, receiver and
// Line-In mixer. Log lines go to standard output as the log list shows them; what the
// dialog would show in a message box goes to standard error. SIGINT, SIGTERM, SIGHUP
// or the end of the recording save the address book and shut down in the dialog's
// order: decoding stops first, then the command window goes (unmuting the Line-In,
// putting the scanner back, closing the mixer).

#include "audio/FileSource.h"
#include "audio/PacedSource.h"
#include "audio/PortAudioSource.h"
#include "bank/DecoderBank.h"
#include "cmdwnd/CCmdWnd.h"
#include "mixer/AlsaMixerBackend.h"
#include "session/ConsoleOwner.h"
#include "session/SignalWatcher.h"
#include "session/TrackingSession.h"
#include "text/Cp1252.h"
#include "tools/MqttCli.h"
#include "tools/ToolCli.h"
#include "web/WebServer.h"

#include <CLI/CLI.hpp>

#include <QCoreApplication>
#include <QTimer>

#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

using namespace velkor;

namespace {
constexpr int kExitBadInput = 2;

constexpr const char* kHelpFooter = R"(Files:
  velkor.ini    the settings, in the current directory (as the dialog program's)
  addrbook.ini  the address book, in the current directory; saved at the end

Examples:
  velkor-track
  velkor-track --input samples/demo.wav
  velkor-track --log-dir logs --mqtt localhost
  velkor-track --http 8080              the page at http://127.0.0.1:8080/
  velkor-track --http 0.0.0.0:8080 --http-token-file /etc/velkor/token

Web page:
  /                     the page: live log, status line, followed call, recent calls
                        with their recordings
  /api/events?since=N   the events after number N as a JSON array, each with "seq"
                        (the log lines as LOG_LINE events; the last 10000 kept)
  /api/stream           the same events live, as Server-Sent Events
  /api/calls            the recent calls: their recordings' JSON, newest first
  /recordings/DAY/FILE  a recording from the record folder
  POST /api/end-call, /api/hold, /api/release
                        with --http-token-file only; hold and release take system,
                        fleet and unit

Exit status:
  0  the recording was decoded to its end, or the run was ended by SIGINT, SIGTERM
     or SIGHUP, and the address book was saved
  1  decoding or the command window could not start, or the address book could not
     be saved
  2  bad input or usage: unreadable options, velkor.ini or recording, a sample rate
     in velkor.ini that is not a number, a log folder or broker that cannot work, an
     --http address that cannot be listened on or a token file that cannot be read)";

// The files are named relative to the directory the process is in at each access,
// as the dialog names them.
std::string inCurrentDir(const char* name)
{
    std::error_code ec;
    const auto dir = std::filesystem::current_path(ec);
    return ec ? std::string(name) : (dir / name).string();
}

void err(const std::string& text)
{
    std::fprintf(stderr, "velkor-track: %s\n", text.c_str());
}

struct TrackOptions {
    std::string input;
    std::optional<int> rate;
    bool realtime = false;
    std::string device;
    std::string mixerDevice = "default";
    std::string lineElement = "Line";
    std::string micElement = "Mic";
    std::string logDir;
    std::string recordDir;
    std::string recordFormat;
    MqttCli mqtt;
    // --hold: only calls of these are followed.
    std::vector<std::string> holdTexts;
    std::vector<velkor_address_s> holds;
    // An ALSA mixer or element was named on the command line.
    bool alsaNamed = false;
    std::string httpText;
    std::string httpTokenFile;
    std::optional<web_options_s> http;
};

// SYSTEM[/FLEET[/UNIT]], each a number from 1 to 4294967295.
velkor::Result<velkor_address_s> parseHold(const std::string& text)
{
    uint32_t numbers[3] = {0, 0, 0};
    size_t level = 0;
    for (size_t pos = 0; pos <= text.size(); ++level) {
        const size_t slash = std::min(text.find('/', pos), text.size());
        const std::string part = text.substr(pos, slash - pos);
        const bool digits = !part.empty() && part.size() <= 10 && part.find_first_not_of("0123456789") == part.npos;
        const uint64_t value = digits ? std::stoull(part) : 0;
        if (level >= 3 || value == 0 || value > UINT32_MAX)
            return velkor::fail("\"" + text + "\" is not SYSTEM[/FLEET[/UNIT]] of numbers from 1 to 4294967295");
        numbers[level] = static_cast<uint32_t>(value);
        pos = slash + 1;
    }
    return velkor_address_s{numbers[0], numbers[1], numbers[2]};
}

// --http and its token; the exit status when they are bad input.
std::optional<int> httpOptions(TrackOptions& o)
{
    if (o.httpText.empty()) {
        if (o.httpTokenFile.empty())
            return std::nullopt;
        err("--http-token-file needs --http [HOST:]PORT");
        return kExitBadInput;
    }
    velkor::Result<web_options_s> http = parseHttpAddress(o.httpText);
    if (!http) {
        err("--http " + http.error());
        return kExitBadInput;
    }
    if (!o.httpTokenFile.empty()) {
        std::ifstream in(o.httpTokenFile, std::ios::binary);
        std::string token((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const size_t end = token.find_last_not_of(" \t\r\n");
        token.resize(end == std::string::npos ? 0 : end + 1);
        if (!in.good() && !in.eof()) {
            err("--http-token-file: cannot read " + o.httpTokenFile);
            return kExitBadInput;
        }
        if (token.empty() || token.find_first_of("\r\n") != std::string::npos) {
            err("--http-token-file: " + o.httpTokenFile + " must hold the token, one line that is not empty");
            return kExitBadInput;
        }
        http->token = token;
    }
    o.http = *http;
    return std::nullopt;
}

// The command line; the exit status when the program ends here.
std::optional<int> parseOptions(int argc, char** argv, TrackOptions& o)
{
    CLI::App cli{"Trunk tracker without a display: decodes control-channel audio and follows calls with the "
                 "scanner configured in velkor.ini."};
    cli.add_option("--input", o.input,
                   "recording to decode (WAV, or raw with --rate; - is standard input) instead "
                   "of live capture");
    cli.add_option("--rate", o.rate, "sample rate of a raw recording (Hz)")
        ->check(wholeNumber())
        ->check(
            CLI::Range(static_cast<int>(DecoderBank::kMinSampleRate), static_cast<int>(DecoderBank::kMaxSampleRate)));
    cli.add_flag("--realtime", o.realtime, "play the recording at its own pace, as live audio comes");
    cli.add_option("--device", o.device,
                   "capture device for live audio (default: the system's default input), "
                   "at [audio] samplerate of velkor.ini");
    cli.add_option("--mixer", o.mixerDevice, "ALSA mixer that holds the Line-In")->capture_default_str();
    cli.add_option("--line-element", o.lineElement, "mixer element of the Line-In")->capture_default_str();
    cli.add_option("--mic-element", o.micElement, "mixer element used when there is no Line-In")->capture_default_str();
    cli.add_option("--log-dir", o.logDir,
                   "write every event to DIR/velkor-YYYY-MM-DD.jsonl and every call to "
                   "DIR/calls-YYYY-MM-DD.csv (the local date)");
    cli.add_option("--hold", o.holdTexts,
                   "follow only calls of this SYSTEM[/FLEET[/UNIT]] for the whole run, checked or not "
                   "(repeatable; a lockout still wins)");
    cli.add_option("--record-dir", o.recordDir,
                   "record every followed call to DIR/YYYY-MM-DD/HHMMSS-S-F-U.flac with its .json "
                   "(default: [record] dir of velkor.ini)");
    cli.add_option("--record-format", o.recordFormat,
                   "flac, wav or opus (opus only at 8000, 12000, 16000, 24000 or 48000 Hz; default: [record] "
                   "format of velkor.ini, else flac)");
    cli.add_option("--http", o.httpText,
                   "serve the web page and its API on [HOST:]PORT (HOST 127.0.0.1, this computer only, unless "
                   "given; default: off)")
        ->type_name("[HOST:]PORT");
    cli.add_option("--http-token-file", o.httpTokenFile,
                   "with --http: every request needs the token in FILE (Authorization: Bearer, or the page's "
                   "login form); the page then also offers End Call, Hold and Release")
        ->type_name("FILE");
    o.mqtt.add(cli);
    setupTool(cli, "velkor-track", kHelpFooter);
    try {
        cli.parse(argc, argv);
    } catch (const CLI::Success& e) {
        return cli.exit(e);
    } catch (const CLI::ParseError& e) {
        err(e.what());
        return kExitBadInput;
    }
    if (o.realtime && o.input.empty()) {
        err("--realtime paces a recording; it needs --input FILE");
        return kExitBadInput;
    }
    for (const std::string& text : o.holdTexts) {
        const velkor::Result<velkor_address_s> hold = parseHold(text);
        if (!hold) {
            err("--hold " + hold.error());
            return kExitBadInput;
        }
        o.holds.push_back(*hold);
    }
    if (const std::optional<int> bad = httpOptions(o))
        return bad;
    o.alsaNamed = cli.count("--mixer") + cli.count("--line-element") + cli.count("--mic-element") > 0;
    return std::nullopt;
}

// The daily files and the broker, checked before the book is touched; the exit
// status when they cannot work.
std::optional<int> openOutputs(TrackOptions& o, velkor::Notices& notices, TrackingSession::Parts& parts)
{
    if (!o.logDir.empty()) {
        try {
            parts.dailyLog = std::make_unique<DailyLog>(o.logDir, notices);
        } catch (const DailyLogError& e) {
            err(std::string("--log-dir: ") + e.what());
            return kExitBadInput;
        }
    }
    // On the publisher's threads: standard error, never the log list.
    auto made = o.mqtt.publisher(notices);
    if (!made) {
        err("--mqtt: " + made.error());
        return kExitBadInput;
    }
    parts.mqtt = std::move(*made);
    return std::nullopt;
}

// The call recorder as the options and [record] of velkor.ini ask for it, checked
// before the book is touched; the exit status when it cannot work.
std::optional<int> openRecorder(const TrackOptions& o, const VelkorConfig& config, unsigned sampleRate,
                                velkor::Notices& notices, TrackingSession::Parts& parts)
{
    const velkor_record_settings_s ini = config.recordSettings();
    record_options_s options;
    options.dir = o.recordDir.empty() ? ini.dir : o.recordDir;
    options.keepDays = ini.keepDays;
    options.minSeconds = ini.minSeconds;
    if (options.dir.empty())
        return std::nullopt;
    const auto format = parseRecordFormat(o.recordFormat.empty() ? ini.format : o.recordFormat);
    velkor::Status usable = format ? checkRecordFormat(*format, sampleRate) : velkor::fail(format.error());
    if (!usable) {
        err("--record-format: " + usable.error());
        return kExitBadInput;
    }
    options.format = *format;
    options.queueSamples = static_cast<size_t>(sampleRate) * 30;
    try {
        parts.recorder = std::make_unique<CallRecorder>(options, notices);
    } catch (const RecordError& e) {
        err(std::string("--record-dir: ") + e.what());
        return kExitBadInput;
    }
    return std::nullopt;
}

// The input's end quits the program; an input that failed makes it bad input.
DecoderBank::SourceEvents sourceEvents(int& status)
{
    DecoderBank::SourceEvents events;
    events.ended = [&status](const velkor::Status& end) {
        // On the source's thread: the quit is queued behind every command the
        // input made, so all of them are handled first.
        if (!end) {
            QMetaObject::invokeMethod(
                qApp,
                [error = end.error(), &status] {
                    err(error);
                    status = kExitBadInput;
                },
                Qt::QueuedConnection);
        }
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    };
    return events;
}

// The command window and the decoder bank as the options ask for them.
void buildParts(const TrackOptions& o, std::unique_ptr<FileSource>& file, int& status, TrackingSession::Parts& parts)
{
    parts.decodingRequired = true;
    // An ALSA mixer or element named on the command line is used as named; otherwise
    // the dialog's choice (the sound server's playback of the source, else ALSA's).
    parts.commandWindow = [&o](CmdWndOwner& owner) {
        if (!o.alsaNamed)
            return std::make_unique<CCmdWnd>(owner);
        return std::make_unique<CCmdWnd>(
            owner, std::make_unique<AlsaMixerBackend>(o.mixerDevice, o.lineElement, o.micElement));
    };
    parts.decoderBank = [&o, &file, &status](CmdSink* wnd, unsigned sampleRate, const MotorolaPlans& plans) {
        const DecoderBank::SourceEvents events = sourceEvents(status);
        if (!file)
            return std::make_unique<DecoderBank>(wnd, sampleRate, std::make_unique<PortAudioSource>(o.device), events,
                                                 velkor::Deemphasis::Auto, plans);
        // A recording is decoded at its own rate, whatever velkor.ini says.
        const unsigned fileRate = file->sampleRate();
        std::unique_ptr<AudioSource> source = std::move(file);
        if (o.realtime)
            source = std::make_unique<PacedSource>(std::move(source));
        return std::make_unique<DecoderBank>(wnd, fileRate, std::move(source), events, velkor::Deemphasis::Auto, plans);
    };
}

// What the web page's requests reach on the command window's thread: the session
// while it runs.
struct WebLink {
    QObject context;
    TrackingSession* session = nullptr;
    ConsoleOwner* owner = nullptr;

    // Called on the server's thread; the work is queued to the command window's.
    void toTracker(std::function<void(CCmdWnd&)> act)
    {
        QMetaObject::invokeMethod(
            &context,
            [this, act = std::move(act)] {
                if (session && session->commandWindow())
                    act(*session->commandWindow());
            },
            Qt::QueuedConnection);
    }
    web_controls_s controls()
    {
        web_controls_s c;
        c.endCall = [this] { toTracker([](CCmdWnd& wnd) { wnd.post(CMDWND_END_CALL, {}); }); };
        c.hold = [this](const velkor_address_s& a) { toTracker([a](CCmdWnd& wnd) { wnd.tracker().hold(a); }); };
        c.release = [this](const velkor_address_s& a) { toTracker([a](CCmdWnd& wnd) { wnd.tracker().release(a); }); };
        c.log = [this](const std::string& line) {
            QMetaObject::invokeMethod(
                &context,
                [this, line] {
                    if (owner)
                        owner->logList().append(utf8ToCp1252(line));
                },
                Qt::QueuedConnection);
        };
        return c;
    }
};

// The web server when --http asks for one, listening before the book is touched; the
// exit status when it cannot.
std::optional<int> openWeb(TrackOptions& o, WebLink& link, EventBacklog& backlog, TrackingSession::Parts& parts,
                           std::unique_ptr<WebServer>& web)
{
    if (!o.http)
        return std::nullopt;
    // Each connection is a file descriptor: as many as the system lets us have.
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }
    // The server's buffers come and go with every batch and client. By default glibc
    // hands the top of a thread's heap back to the system whenever 128 kB lie free there,
    // and each time the kernel interrupts the other cores to flush their TLBs, the
    // decoders' among them (at the end of a run some thirty times over). Up to 16 MB
    // free stays with the process instead.
    mallopt(M_TRIM_THRESHOLD, 16 << 20);
    if (parts.recorder)
        o.http->recordDir = parts.recorder->options().dir;
    web = std::make_unique<WebServer>(backlog, *o.http, link.controls());
    const velkor::Result<uint16_t> port = web->start();
    if (!port) {
        err("--http: " + port.error());
        return kExitBadInput;
    }
    parts.web = &backlog;
    return std::nullopt;
}

// Runs the session until the input ends or a signal comes, then saves the book and
// stops in the dialog's order; the exit status.
int runSession(QCoreApplication& app, ConsoleOwner& owner, const TrackOptions& o, TrackingSession::Parts parts,
               int& status, WebLink& link)
{
    TrackingSession session(owner, owner.book(), std::move(parts), inCurrentDir("addrbook.ini"));
    switch (session.start()) {
    case TrackingSession::Started::Running:
        // Before the first command is handled: the decoders' events wait in the queue.
        for (const velkor_address_s& hold : o.holds)
            session.commandWindow()->tracker().hold(hold);
        link.session = &session;
        app.exec();
        link.session = nullptr;
        break;
    case TrackingSession::Started::NoDecoding:
        // Without input there is nothing to track: the run ends at once, in order.
        err(session.decodingError());
        status = 1;
        break;
    case TrackingSession::Started::NoCommandWindow:
        status = 1;
        break;
    }
    // A book that could not be saved is the one thing a person keeps of the run. Its
    // reason has gone to standard error as the dialog's message box, or, for a book
    // that was only partly loaded, to the log alone.
    if (const velkor::Status saved = session.saveBook(); !saved) {
        if (owner.book().LoadIncomplete())
            err(saved.error());
        status = std::max(status, 1);
    }
    // Bounded even when the sound server has stopped: what waits for it longer than
    // its time-out is left to its own thread, which ends with the process.
    session.stop();
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    TrackOptions options;
    if (const std::optional<int> done = parseOptions(argc, argv, options))
        return *done;

    // Qt's own arguments are not ours; give it none.
    int qtArgc = 1;
    QCoreApplication app(qtArgc, argv);
    velkor::StderrNotices notices("velkor-track: ");

    const auto config = VelkorConfig::load(inCurrentDir(velkor_ini::kFileName));
    if (!config) {
        err(config.error());
        return kExitBadInput;
    }
    if (const std::string problem = config->settings().samplerate_problem; !problem.empty()) {
        err(problem);
        return kExitBadInput;
    }

    // A recording is opened first: a file that is not audio is bad input, reported
    // before anything else is touched.
    std::unique_ptr<FileSource> file;
    if (!options.input.empty()) {
        try {
            file = std::make_unique<FileSource>(options.input, options.rate);
        } catch (const std::exception& e) {
            err(e.what());
            return kExitBadInput;
        }
    }
    TrackingSession::Parts parts;
    if (const std::optional<int> failed = openOutputs(options, notices, parts))
        return *failed;
    const unsigned rate = file ? file->sampleRate() : config->settings().samplerate;
    if (const std::optional<int> failed = openRecorder(options, *config, rate, notices, parts))
        return *failed;

    WebLink link;
    EventBacklog backlog;
    std::unique_ptr<WebServer> web;
    if (const std::optional<int> failed = openWeb(options, link, backlog, parts, web))
        return *failed;

    SignalWatcher watcher({SIGINT, SIGTERM, SIGHUP});
    QObject::connect(&watcher, &SignalWatcher::received, &app, [] { QCoreApplication::quit(); });
    // A reader of standard output that goes away (velkor-track | head) ends the run
    // like a signal, with the book saved, instead of killing the process.
    std::signal(SIGPIPE, SIG_IGN);
    // A file-size limit (ulimit -f) reached by a recording or a daily file is a failed
    // write that costs that file only, as a full disk is, instead of killing the process.
    std::signal(SIGXFSZ, SIG_IGN);

    ConsoleOwner owner(stdout, config->settings(), notices);
    owner.console().setOutputLost(
        [] { QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection); });

    if (web) {
        link.owner = &owner;
        owner.console().setLineListener([&backlog](const std::string& line) { backlog.addLine(line); });
    }

    // The page is served once the loop runs: the decoders have started by then.
    if (web)
        QTimer::singleShot(0, &app, [&web] { web->serve(); });
    int status = 0;
    buildParts(options, file, status, parts);
    status = runSession(app, owner, options, std::move(parts), status, link);
    // The page gets the last lines before the server closes.
    if (web)
        web->stop();
    link.owner = nullptr;
    return status;
}
