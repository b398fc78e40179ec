#include "tests/support/LinkSchedule.h"

#include <gtest/gtest.h>

namespace {

// Seeded random schedules against a controller that answers in order, at once, late or never:
// no query ever gets another's reply, on the serial link (in real time) and on USB (on the
// program's clock), called from inside an event loop and from a loop of the host's own. A host
// that never runs events is never held back. More seeds run in the benchmark program
// link_schedules.
void runSchedules(LinkSchedule::Host host)
{
    const bool events = host == LinkSchedule::Host::EventLoop;
    LinkSchedule::Result usb;
    for (quint32 seed = 1; seed <= 15; ++seed)
        usb.add(LinkSchedule::run(LinkSchedule::Bus::Usb, host, seed, 100));
    EXPECT_EQ(usb.wrong, 0) << usb.wrongReplies.join(QLatin1Char('\n')).toStdString();
    // The schedules did meet trouble and still got answers.
    EXPECT_GT(usb.unanswered, 0);
    EXPECT_GT(usb.answered, usb.queries / 2);

    LinkSchedule::Result serial;
    serial.add(LinkSchedule::run(LinkSchedule::Bus::Serial, host, 1, 30));
    EXPECT_EQ(serial.wrong, 0) << serial.wrongReplies.join(QLatin1Char('\n')).toStdString();
    EXPECT_GT(serial.answered, 0);
    if (events)
        EXPECT_GT(usb.heldBack, 0) << "a bad line held some queries back until events ran";
    else
        EXPECT_EQ(usb.heldBack + serial.heldBack, 0);
    std::printf("usb: %s\nserial: %s\n", qPrintable(usb.summary()), qPrintable(serial.summary()));
}

TEST(LinkSchedules, NoQueryGetsAnotherQuerysReplyWithEventsBetweenPolls)
{
    runSchedules(LinkSchedule::Host::EventLoop);
}

TEST(LinkSchedules, NoQueryGetsAnotherQuerysReplyWithNoEventsEver)
{
    runSchedules(LinkSchedule::Host::NoEvents);
}

// A controller that loses one answer in ten, polled for minutes of the program's clock by either
// kind of host: a lost answer costs its query, never the link.
TEST(LinkSchedules, OneAnswerLostInTenNeverBreaksTheLink)
{
    for (const LinkSchedule::Host host : {LinkSchedule::Host::EventLoop, LinkSchedule::Host::NoEvents}) {
        LinkSchedule::Result usb;
        for (quint32 seed = 1; seed <= 3; ++seed)
            usb.add(LinkSchedule::run(LinkSchedule::Bus::Usb, host, seed, 1500, 10));
        EXPECT_EQ(usb.breaks, 0) << usb.summary().toStdString();
        EXPECT_EQ(usb.wrong, 0) << usb.wrongReplies.join(QLatin1Char('\n')).toStdString();
        EXPECT_GT(usb.programMs, 3 * 60 * 1000);
        std::printf("%s, %lld s: %s\n", host == LinkSchedule::Host::EventLoop ? "events" : "no events",
                    usb.programMs / 1000, qPrintable(usb.summary()));
    }
}

} // namespace
