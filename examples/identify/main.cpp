// Opens the controller on serial port 1 and prints its identification (the README's example).
#include "library/link/BusType.h"
#include "library/link/KVLComm.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    KVLComm comm;
    comm.setBusType(BUS_TYPE_RS232);
    comm.setCommPort(1); // /dev/ttyS0, or the device $KVL_COM1 names
    comm.setSettings(QStringLiteral("19200,n,8,1"));
    // A link that does not open falls back to demo mode (bus type none).
    if (comm.KVLInit() != 0 || comm.BusType() != BUS_TYPE_RS232)
        return 1;
    QString reply;
    if (comm.SendReadAscii(QStringLiteral("VE?\r"), reply) != 0)
        return 1;
    std::printf("%s\n", qPrintable(comm.KVLTrim(reply).trimmed()));
    return 0;
}
