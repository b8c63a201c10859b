// The About box, the program icon and the signal watcher.
#include "AppFixture.h"

#include "app/CAboutDlg.h"
#include "app/DialogUnits.h"
#include "app/ProgramIcon.h"
#include "session/SignalWatcher.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <csignal>

using namespace velkor;

namespace {

TEST(AboutDlg, ShowsNameVersionAndClosesWithOk)
{
    CAboutDlg about;
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    EXPECT_EQ(about.windowTitle(), "About velkor");
    EXPECT_EQ(about.size(), about.units().size(184, 64));
    // A fixed size: no maximise box.
    EXPECT_FALSE(about.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(about.windowFlags() & Qt::CustomizeWindowHint);
    QStringList texts;
    for (QLabel* l : about.findChildren<QLabel*>())
        if (!l->text().isEmpty())
            texts << l->text();
    EXPECT_TRUE(texts.contains("velkor - version 0.8.1")) << texts.join('|').toStdString();
    EXPECT_TRUE(texts.contains("Licence: LicenseRef-unlicensed\nHome: https://velkor.invalid/"))
        << texts.join('|').toStdString();
    auto* ok = about.findChild<QPushButton*>();
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text(), "OK");
    EXPECT_EQ(ok->geometry(), about.units().rect(127, 12, 50, 16));
    QTest::keyClick(&about, Qt::Key_Return);
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.result(), QDialog::Accepted);
}

TEST(ProgramIcon, DrawnOnATransparentTileAtEverySize)
{
    for (int size : {16, 32, 256}) {
        SCOPED_TRACE(size);
        const QImage image = RenderProgramIcon(size);
        ASSERT_EQ(image.size(), QSize(size, size));
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0); // rounded corner
        EXPECT_EQ(qAlpha(image.pixel(size / 2, size - size / 8)), 255);
        // The mast and the waves are drawn: more than the tile's two-tone gradient.
        QSet<QRgb> colours;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x)
                colours.insert(image.pixel(x, y));
        EXPECT_GT(colours.size(), 20);
    }
    EXPECT_FALSE(ProgramIcon().availableSizes().isEmpty());
}

TEST(SignalWatcher, EachSignalArrivesInTheEventLoopOnce)
{
    SignalWatcher watcher({SIGINT, SIGTERM, SIGHUP});
    QSignalSpy spy(&watcher, &SignalWatcher::received);
    for (int s : {SIGTERM, SIGHUP, SIGINT})
        ::raise(s);
    while (spy.count() < 3 && spy.wait(5000)) { }
    ASSERT_EQ(spy.count(), 3);
    EXPECT_EQ(spy[0][0].toInt(), SIGTERM);
    EXPECT_EQ(spy[1][0].toInt(), SIGHUP);
    EXPECT_EQ(spy[2][0].toInt(), SIGINT);
}

TEST(SignalWatcher, PreviousHandlersComeBack)
{
    static volatile sig_atomic_t seen = 0;
    auto* previous = std::signal(SIGHUP, [](int) { seen = 1; });
    {
        SignalWatcher watcher({SIGHUP});
        EXPECT_THROW(SignalWatcher({SIGTERM}), std::logic_error);
    }
    ::raise(SIGHUP);
    EXPECT_EQ(seen, 1);
    std::signal(SIGHUP, previous);
}

} // namespace
