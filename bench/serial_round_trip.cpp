// Measures what the link adds to a serial exchange: one SendReadAscii round trip on a
// pseudo-terminal against a bare Qt Serial Port write-and-read on the same terminal, and the
// processor time of a one-second read that gets no reply (the whole process's, and the reading
// thread's alone).
#include "library/link/KVLComm.h"
#include "sim/SimController.h"
#include "sim/SimPtyThread.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSerialPort>
#include <QTemporaryDir>
#include <cstdio>
#include <ctime>
#include <time.h>

namespace {

constexpr int kRounds = 500;

// Processor time of the calling thread alone: the simulator's thread is not the link's cost.
double threadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1000.0 + double(t.tv_nsec) / 1e6;
}

double bareRoundTripUs(const QString& path)
{
    QSerialPort port(path);
    if (!port.open(QIODevice::ReadWrite))
        return -1;
    port.setBaudRate(19200);
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < kRounds; ++i) {
        port.write("1TP?\r");
        port.waitForBytesWritten(1000);
        QByteArray reply;
        while (!reply.contains('\n') && port.waitForReadyRead(1000))
            reply += port.readAll();
    }
    return t.nsecsElapsed() / 1000.0 / kRounds;
}

double linkRoundTripUs(KVLComm& comm)
{
    QString reply;
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < kRounds; ++i)
        comm.SendReadAscii(QStringLiteral("1TP?"), reply);
    return t.nsecsElapsed() / 1000.0 / kRounds;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir lockDir;
    qputenv("KVL_LOCK_DIR", lockDir.path().toLocal8Bit());
    QApplication app(argc, argv);

    SimPtyThread sim;
    if (!sim.isOpen()) {
        std::fprintf(stderr, "no pseudo-terminal\n");
        return 1;
    }
    qputenv("KVL_COM9", sim.slavePath().toLocal8Bit());

    // Alternate the two so both see the same machine load; keep the best of three each.
    double bare = 1e12;
    double link = 1e12;
    for (int pass = 0; pass < 3; ++pass) {
        bare = std::min(bare, bareRoundTripUs(sim.slavePath()));
        KVLComm comm;
        comm.setBusType(BUS_TYPE_RS232);
        comm.setCommPort(9);
        comm.setSettings(QStringLiteral("19200,n,8,1"));
        comm.KVLInit();
        comm.KVLOpen();
        link = std::min(link, linkRoundTripUs(comm));
        comm.KVLClose();
    }
    std::printf("bare round trip:     %8.1f us\n", bare);
    std::printf("SendReadAscii:       %8.1f us (%+.1f %%)\n", link, 100.0 * (link - bare) / bare);

    sim.with([](SimController& s) { s.setSilent(true); });
    KVLComm comm;
    comm.setBusType(BUS_TYPE_RS232);
    comm.setCommPort(9);
    comm.KVLOpen();
    QString reply;
    QElapsedTimer wall;
    wall.start();
    const std::clock_t cpu = std::clock();
    const double threadBefore = threadCpuMs();
    comm.SendReadAscii(QStringLiteral("1TP?"), reply);
    const double threadMs = threadCpuMs() - threadBefore;
    const double cpuMs = 1000.0 * double(std::clock() - cpu) / CLOCKS_PER_SEC;
    std::printf("silent read:         %8lld ms wall, %.2f ms CPU (%.2f ms in the reading thread)\n",
                static_cast<long long>(wall.elapsed()), cpuMs, threadMs);
    return 0;
}
