// velkor-track's web page as its clients reach it: bad requests of every kind refused
// while the run goes on, fifty live clients each getting every event in order, no
// listening socket without --http, and the page itself in headless Chromium.
#include "fixtures/CollectingNotices.h"
#include "fixtures/Process.h"
#include "fixtures/ScannerSimulator.h"
#include "fixtures/TrackerSetup.h"
#include "fixtures/WaitFor.h"
#include "web/HttpClient.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/resource.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <set>
#include <thread>

using namespace velkor;
using testweb::Connection;
using testweb::get;
using testweb::Ms;

namespace {

// The TCP sockets the process listens on, from /proc.
size_t listeningSockets(pid_t pid)
{
    std::set<std::string> listening;
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        std::ifstream in(table);
        std::string line, sl, local, remote, state, skip, inode;
        std::getline(in, line);
        while (in >> sl >> local >> remote >> state >> skip >> skip >> skip >> skip >> skip >> inode) {
            if (state == "0A")
                listening.insert("socket:[" + inode + "]");
            std::getline(in, line);
        }
    }
    size_t count = 0;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd")) {
        std::error_code ec;
        count += listening.count(std::filesystem::read_symlink(fd.path(), ec).string());
    }
    return count;
}

class WebTrack : public ::testing::Test {
protected:
    void SetUp() override
    {
        rlimit files{};
        getrlimit(RLIMIT_NOFILE, &files);
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
        ASSERT_TRUE(writeTrackerSetup(dir, sim, notices));
        testsignal::writeFile(dir.file("token"), "s3cret\n");
        testsignal::writeFile(dir.file("secret.txt"), "not for the web\n");
        // The demo sixteen times over (a minute), for runs that must last a while.
        const std::string demo = testsignal::sourceDir() + "/samples/demo.wav";
        ASSERT_EQ(std::system(("sox " + demo + " " + dir.file("long.wav") + " repeat 15").c_str()), 0);
    }

    std::unique_ptr<testsignal::ToolProcess> start(std::vector<std::string> args)
    {
        auto track = std::make_unique<testsignal::ToolProcess>(VELKOR_TRACK_PATH, args,
                                                               testsignal::ProcessOptions{{}, dir.path(), {}});
        EXPECT_TRUE(testwait::waitFor(
            "the start-up lines", [&] { return track->out().find("Initialized and running.") != std::string::npos; },
            [&] { return track->out() + track->err(); }));
        return track;
    }
    std::string http() const { return "127.0.0.1:" + std::to_string(port); }

    testsignal::TempDir dir;
    CollectingNotices notices;
    ScannerSimulator sim{ScannerFamily::Uniden250};
    uint16_t port = testsignal::freePort();
};

struct BadRequest {
    const char* fault;
    std::string request;
    int status; // 0: the connection is closed without an answer
};

TEST_F(WebTrack, BadRequestsAreRefusedAndTheRunEndsCleanlyOnSigterm)
{
    auto track = start(
        {"--input", "long.wav", "--realtime", "--http", http(), "--http-token-file", "token", "--record-dir", "rec"});
    std::filesystem::create_symlink(dir.file("secret.txt"), dir.file("rec/link.flac"));
    const std::string auth = "Authorization: Bearer s3cret\r\n";
    const std::string big(10 << 20, 'x');
    const BadRequest table[] = {
        {"unknown path", get("/nothing", auth), 404},
        {"dot-dot", get("/recordings/../secret.txt", auth), 404},
        {"encoded dot-dot", get("/recordings/%2e%2e/secret.txt", auth), 404},
        {"absolute path", get("/recordings//etc/passwd", auth), 404},
        {"symlink out of the folder", get("/recordings/link.flac", auth), 404},
        {"no token", get("/api/events"), 401},
        {"wrong token", get("/api/events", "Authorization: Bearer s3cre7\r\n"), 401},
        {"wrong cookie", get("/api/calls", "Cookie: velkor_token=s3cre7\r\n"), 401},
        {"control without token", "POST /api/end-call HTTP/1.1\r\nContent-Length: 0\r\n\r\n", 401},
        {"malformed", "HELLO THERE\r\n\r\n", 0},
        {"10 MB body", "POST /api/hold HTTP/1.1\r\nContent-Length: 10485760\r\n" + auth + "\r\n" + big, 0},
        {"10 MB header", "GET / HTTP/1.1\r\nX-Big: " + big + "\r\n\r\n", 0},
    };
    for (const BadRequest& bad : table) {
        SCOPED_TRACE(bad.fault);
        Connection c(port);
        ASSERT_TRUE(c.ok());
        c.send(bad.request);
        // Closed at once, well before the idle limit would close it.
        if (bad.status == 0)
            EXPECT_TRUE(c.closed(Ms(5000)));
        else
            EXPECT_EQ(c.response().status, bad.status);
    }
    // A thousand connections that never finish their request; the page is still served.
    std::vector<std::unique_ptr<Connection>> halfOpen;
    for (int i = 0; i < 1000; ++i) {
        halfOpen.push_back(std::make_unique<Connection>(port));
        halfOpen.back()->send("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n");
    }
    Connection good(port);
    good.send(get("/api/events?since=0", auth));
    const Connection::Response events = good.response();
    EXPECT_EQ(events.status, 200);
    EXPECT_NE(events.body.find(R"("cmd":"LOG_LINE","text":"Initialized and running.","seq":)"), std::string::npos);
    EXPECT_TRUE(halfOpen.back()->closed(Ms(15000)));
    EXPECT_EQ(listeningSockets(track->pid()), 1u);
    EXPECT_TRUE(track->running());
    EXPECT_EQ(track->stop(Ms(20000)), 0) << track->err();
    const auto lines = testsignal::splitLines(track->out());
    for (const char* path : {"../secret.txt", "/etc/passwd", "link.flac"})
        EXPECT_TRUE(
            testsignal::contains(lines, std::string("HTTP: refused a recording outside the record folder: ") + path))
            << path;
}

TEST_F(WebTrack, ARecordingComesWholeOrInTheRangeAPlayerAsksFor)
{
    auto track = start({"--input", "long.wav", "--realtime", "--http", http(), "--record-dir", "rec"});
    std::filesystem::create_directories(dir.file("rec/2026-12-10"));
    // A megabyte: four times what a client's buffer holds at once.
    std::string audio(1 << 20, '\0');
    for (size_t i = 0; i < audio.size(); ++i)
        audio[i] = static_cast<char>((i * 7919) >> 5);
    testsignal::writeFile(dir.file("rec/2026-12-10/call.wav"), audio);
    const struct {
        const char* range;
        int status;
        std::string body;
    } table[] = {
        {"", 200, audio},
        {"bytes=1000-1999", 206, audio.substr(1000, 1000)},
        {"bytes=-100", 206, audio.substr(audio.size() - 100)},
        {"bytes=1048000-", 206, audio.substr(1048000)},
        {"bytes=2000000-", 416, ""},
        {"bytes=0-1,5-6", 416, ""},
        {"lines=1-2", 416, ""},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.range);
        Connection c(port);
        const std::string range = *row.range ? std::string("Range: ") + row.range + "\r\n" : "";
        c.send(get("/recordings/2026-12-10/call.wav", range));
        const Connection::Response r = c.response(Ms(20000));
        EXPECT_EQ(r.status, row.status);
        EXPECT_TRUE(r.body == row.body) << r.body.size() << " bytes";
    }
    EXPECT_EQ(track->stop(Ms(20000)), 0) << track->err();
}

TEST_F(WebTrack, FiftyLiveClientsEachGetEveryEventInOrder)
{
    auto track = start({"--input", testsignal::sourceDir() + "/samples/demo.wav", "--realtime", "--http", http()});
    // Most from the start; some from a number inside the events sent together.
    const auto since = [](size_t client) -> uint64_t { return client % 5 == 3 ? 37 : client % 5 == 4 ? 70 : 0; };
    // Half of them take it gzipped, as browsers do.
    std::vector<std::vector<std::string>> got(50);
    std::vector<char> gzipEnded(got.size());
    std::vector<std::thread> clients;
    for (size_t k = 0; k < got.size(); ++k)
        clients.emplace_back([this, &got, &gzipEnded, k, from = since(k)] {
            Connection c(port);
            c.send(get("/api/stream?since=" + std::to_string(from), k % 2 ? "Accept-Encoding: gzip, deflate\r\n" : ""));
            got[k] = c.streamEvents(Ms(120000));
            gzipEnded[k] = c.gzipComplete();
        });
    for (auto& client : clients)
        client.join();
    ASSERT_EQ(track->wait(Ms(60000)), 0) << track->err();
    const auto printed = testsignal::splitLines(track->out());
    ASSERT_GT(got.front().size(), 70u);
    for (size_t k = 0; k < got.size(); ++k) {
        const auto& events = got[k];
        std::vector<std::string> lines;
        for (size_t i = 0; i < events.size(); ++i) {
            const auto event = nlohmann::json::parse(events[i]);
            ASSERT_EQ(event.at("seq"), since(k) + i + 1) << events[i];
            if (event.at("cmd") == "LOG_LINE")
                lines.push_back(event.at("text"));
        }
        EXPECT_EQ(events,
                  std::vector<std::string>(got.front().begin() + static_cast<long>(since(k)), got.front().end()));
        if (since(k) == 0) {
            EXPECT_EQ(lines, printed);
        }
        EXPECT_EQ(gzipEnded[k] != 0, k % 2 == 1) << k;
    }
}

// The log lines of the page as Chromium's --dump-dom gives it.
std::vector<std::string> pageLines(const std::string& dom)
{
    std::vector<std::string> lines;
    static const std::regex line(R"(<div class="line">([^<]*)</div>)");
    for (auto m = std::sregex_iterator(dom.begin(), dom.end(), line); m != std::sregex_iterator(); ++m) {
        std::string text = (*m)[1];
        for (const auto& [entity, c] : {std::pair{"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&amp;", "&"}})
            for (size_t at; (at = text.find(entity)) != std::string::npos;)
                text.replace(at, std::strlen(entity), c);
        lines.push_back(text);
    }
    return lines;
}

TEST_F(WebTrack, ThePageShowsTheLogWhileItPlaysAndAllOfItAtTheEnd)
{
    const std::string chromium = testsignal::findProgram("chromium");
    if (chromium.empty())
        GTEST_SKIP() << "chromium is not installed";
    const std::string demo = testsignal::sourceDir() + "/samples/demo.wav";
    ASSERT_EQ(std::system(("sox " + demo + " " + dir.file("half.wav") + " repeat 7").c_str()), 0);
    auto track = start({"--input", "half.wav", "--realtime", "--http", http(), "--record-dir", "rec"});
    const std::vector<std::string> common = {"--headless", "--no-sandbox", "--disable-gpu", "--hide-scrollbars",
                                             "--window-size=1280,800"};
    const testsignal::ProcessOptions env{{{"HOME", dir.path()}}, dir.path(), {}};
    // Loaded now, dumped once the stream has said the run is over.
    auto dumpArgs = common;
    dumpArgs.insert(dumpArgs.end(), {"--virtual-time-budget=5000", "--dump-dom", "http://" + http() + "/"});
    testsignal::ToolProcess dump(chromium, dumpArgs, env);
    const std::string shot = std::string(VELKOR_ARTIFACTS) + "/velkor-web.png";
    std::filesystem::create_directories(VELKOR_ARTIFACTS);
    std::filesystem::remove(shot);
    auto shotArgs = common;
    shotArgs.insert(shotArgs.end(), {"--timeout=3000", "--screenshot=" + shot, "http://" + http() + "/"});
    testsignal::ToolProcess screenshot(chromium, shotArgs, env);
    EXPECT_EQ(screenshot.wait(Ms(120000)), 0) << screenshot.errTail();
    EXPECT_TRUE(track->running()) << "the screenshot came after the end of the recording";
    EXPECT_GT(std::filesystem::file_size(shot), 10000u);
    EXPECT_EQ(track->wait(Ms(120000)), 0) << track->err();
    EXPECT_EQ(dump.wait(Ms(120000)), 0) << dump.errTail();
    const auto printed = testsignal::splitLines(track->out());
    EXPECT_GT(printed.size(), 100u);
    EXPECT_EQ(pageLines(dump.out()), printed);
}

TEST_F(WebTrack, NothingListensWithoutHttp)
{
    auto track = start({"--input", "long.wav", "--realtime"});
    EXPECT_EQ(listeningSockets(track->pid()), 0u);
    EXPECT_EQ(track->stop(Ms(20000)), 0);
}

} // namespace
