// Seeded random schedules of the link against a controller that answers in order, at once, late
// by up to 3 s or never, for both kinds of host (calls from inside an event loop with events
// between polls; calls from a loop of the host's own that never runs events): prints per host
// how many schedules and queries it tried, how many were answered, refused unsent and held back
// for events, how often the link broke, and how many replies answered another query.
// Usage: link_schedules [usb-schedules] [serial-schedules] [steps]
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
    int wrong = 0;
    for (const LinkSchedule::Host host : {LinkSchedule::Host::EventLoop, LinkSchedule::Host::NoEvents}) {
        std::printf("%s\n", host == LinkSchedule::Host::EventLoop ? "host with events between polls:"
                                                                   : "host that never runs events:");
        LinkSchedule::Result usb;
        for (int seed = 1; seed <= usbRuns; ++seed)
            usb.add(LinkSchedule::run(LinkSchedule::Bus::Usb, host, quint32(seed), steps));
        std::printf("  usb:    %s\n", qPrintable(usb.summary()));
        LinkSchedule::Result serial;
        for (int seed = 1; seed <= serialRuns; ++seed)
            serial.add(LinkSchedule::run(LinkSchedule::Bus::Serial, host, quint32(seed), steps));
        std::printf("  serial: %s\n", qPrintable(serial.summary()));
        for (const QString& w : usb.wrongReplies + serial.wrongReplies)
            std::printf("    %s\n", qPrintable(w));
        wrong += usb.wrong + serial.wrong;
    }
    return wrong == 0 ? 0 : 1;
}
