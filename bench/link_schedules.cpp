// Seeded random schedules of the link against a controller that answers in order, at once, late
// by up to 3 s or never: prints how many schedules and queries it tried and how many replies
// answered another query. Usage: link_schedules [usb-schedules] [serial-schedules] [steps]
#include "tests/support/LinkSchedule.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int usbRuns = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int serialRuns = argc > 2 ? std::atoi(argv[2]) : 20;
    const int steps = argc > 3 ? std::atoi(argv[3]) : 150;
    LinkSchedule::Result usb;
    for (int seed = 1; seed <= usbRuns; ++seed)
        usb.add(LinkSchedule::run(LinkSchedule::Bus::Usb, quint32(seed), steps));
    std::printf("usb:    %s\n", qPrintable(usb.summary()));
    LinkSchedule::Result serial;
    for (int seed = 1; seed <= serialRuns; ++seed)
        serial.add(LinkSchedule::run(LinkSchedule::Bus::Serial, quint32(seed), steps));
    std::printf("serial: %s\n", qPrintable(serial.summary()));
    for (const QString& wrong : usb.wrongReplies + serial.wrongReplies)
        std::printf("  %s\n", qPrintable(wrong));
    return usb.wrong + serial.wrong == 0 ? 0 : 1;
}
