#pragma once

#include "library/link/KVLComm.h"

#include "library/link/VBIB32.h"
#include "platform/com/ClassRegistry.h"
#include "platform/drivers/PciDriver.h"
#include "platform/gpib/GpibLibrary.h"
#include "platform/kernel/Clock.h"
#include "platform/kernel/OsVersion.h"
#include "platform/ui/MsgBox.h"
#include "platform/serial/SerialControl.h"
#include "sim/SimController.h"
#include "sim/SimDevice.h"
#include "tests/support/MsgBoxRecorder.h"
#include "tests/support/PseudoTerminal.h"
#include "sim/SimPtyThread.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSignalSpy>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>

// The control on the simulated controller, behind the in-process buses or a pseudo-terminal.

inline const QString kBlanks255(255, QLatin1Char(' '));

// The program clock for the life of a test: a read that gives up takes no real second.
struct ProgramClock {
    ProgramClock() { platform::Clock::useManualClock(); }
    ~ProgramClock() { platform::Clock::useRealClock(); }
    ProgramClock(const ProgramClock&) = delete;
    ProgramClock& operator=(const ProgramClock&) = delete;
};

// Counts CommErrorEvent (its by-reference argument is beyond QSignalSpy).
struct ErrorEvents {
    explicit ErrorEvents(KVLComm* comm)
    {
        QObject::connect(comm, &KVLComm::CommErrorEvent, [this](short& n) { numbers << n; });
    }
    int count() const { return numbers.size(); }
    QList<short> numbers;
};

// A query in a go of its own, as a program's queries are: events run before it, so the failures
// of earlier queries do not hold it back.
inline int askInNewGo(KVLComm& comm, const QString& command, QString& reply)
{
    QCoreApplication::processEvents();
    return comm.SendReadAscii(command, reply);
}

// Runs work as a program's handlers run: from inside a running event loop, which the link's bound
// on holding events back needs.
inline void runInEventLoop(const std::function<void()>& work)
{
    QEventLoop loop;
    QTimer::singleShot(0, &loop, [&] {
        work();
        loop.quit();
    });
    loop.exec();
}

// The same query, each in a go of its own, until the link breaks (twelve at most): the statuses.
inline QList<int> askUntilBroken(KVLComm& comm, const QString& command = QStringLiteral("1TP?\r"))
{
    QList<int> statuses;
    QString reply;
    for (int i = 0; i < 12 && comm.IsOpen(); ++i)
        statuses << askInNewGo(comm, command, reply);
    return statuses;
}

// What a controller gone silent gives: its query unanswered, the queries after it not sent (the
// line could not be put back in step), and the last, the one that breaks the link, unanswered.
inline bool isSilentSpell(const QList<int>& statuses)
{
    if (statuses.size() < 3 || statuses.front() != -1 || statuses.back() != -1)
        return false;
    return std::all_of(statuses.begin() + 1, statuses.end() - 1, [](int s) { return s == KVLComm::QueryNotSent; });
}

// A control on the simulated controller behind one of the in-process buses.
class InProcessLink : public ::testing::Test {
protected:
    int ask(const QString& command, QString& reply) { return askInNewGo(*comm, command, reply); }

    void TearDown() override
    {
        comm.reset();
        device.reset();
        platform::resetVersionForTests();
    }

    // Puts the simulator on the bus and opens the link the way hosts do.
    void open(BUS_TYPE bus, int deviceId = 0)
    {
        device = std::make_unique<SimDevice>();
        if (bus == BUS_TYPE_USB)
            device->installOnUsb(deviceId);
        else if (bus == BUS_TYPE_PCI)
            device->installOnPci(deviceId);
        else if (bus == BUS_TYPE_GPIB)
            device->installOnGpib(deviceId);
        comm = std::make_unique<KVLComm>();
        comm->setBusType(bus);
        comm->setDeviceID(deviceId);
        ASSERT_EQ(comm->KVLInit(), 0);
        ASSERT_EQ(comm->KVLOpen(), 0);
        ASSERT_TRUE(comm->IsOpen());
        ASSERT_EQ(comm->BusType(), bus);
        sim().clearLog();
    }

    SimController& sim() { return device->controller(); }

    MsgBoxRecorder boxes;
    std::unique_ptr<SimDevice> device;
    std::unique_ptr<KVLComm> comm;
};

// RS-232 on a pseudo-terminal.

class SerialLink : public ::testing::Test {
protected:
    int ask(const QString& command, QString& reply) { return askInNewGo(*comm, command, reply); }

    void SetUp() override
    {
        ASSERT_TRUE(pty.isOpen());
        qputenv("KVL_COM7", pty.slavePath().toLocal8Bit());
        comm = std::make_unique<KVLComm>();
        comm->setBusType(BUS_TYPE_RS232);
        comm->setCommPort(7);
        comm->setSettings(QStringLiteral("19200,n,8,1"));
    }
    void TearDown() override
    {
        comm.reset();
        qunsetenv("KVL_COM7");
    }
    void openLink()
    {
        ASSERT_EQ(comm->KVLInit(), 0);
        ASSERT_EQ(comm->KVLOpen(), 0);
        ASSERT_EQ(comm->BusType(), BUS_TYPE_RS232);
    }
    QList<QByteArray> rawLines()
    {
        QList<QByteArray> lines;
        pty.with([&](SimController& s) { lines = s.rawLines(); });
        return lines;
    }
    void clearLog()
    {
        pty.with([](SimController& s) { s.clearLog(); });
    }

    MsgBoxRecorder boxes;
    SimPtyThread pty;
    std::unique_ptr<KVLComm> comm;
};

