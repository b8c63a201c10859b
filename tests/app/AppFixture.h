// Shared by the dialog tests: each runs in a scratch working directory of its own, with
// what the dialogs would tell the user collected, and waits with the event loop running.
#pragma once

#include "fixtures/CollectingNotices.h"
#include "fixtures/ScratchFixture.h"
#include "fixtures/WaitFor.h"

#include <QString>
#include <QTest>

#include <gtest/gtest.h>

// Readable failure messages for Qt strings.
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

// The dialogs are given `told`.
class AppFixture : public WorkDirFixture {
protected:
    CollectingNotices told;
};
