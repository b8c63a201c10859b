// Shared by the dialog tests: each runs in a scratch working directory of its own, with
// the message boxes it would show captured, and waits with the event loop running.
#pragma once

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

using AppFixture = WorkDirFixture;
