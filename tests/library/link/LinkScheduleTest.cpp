#include "tests/support/LinkSchedule.h"

#include <gtest/gtest.h>

namespace {

// Seeded random schedules against a controller that answers in order, at once, late or never:
// no query ever gets another's reply, on the serial link (in real time) and on USB (on the
// program's clock). More seeds run in the benchmark program link_schedules.
TEST(LinkSchedules, NoQueryGetsAnotherQuerysReply)
{
    LinkSchedule::Result usb;
    for (quint32 seed = 1; seed <= 15; ++seed)
        usb.add(LinkSchedule::run(LinkSchedule::Bus::Usb, seed, 100));
    EXPECT_EQ(usb.wrong, 0) << usb.wrongReplies.join(QLatin1Char('\n')).toStdString();
    // The schedules did meet trouble and still got answers.
    EXPECT_GT(usb.unanswered, 0);
    EXPECT_GT(usb.answered, usb.queries / 2);

    LinkSchedule::Result serial;
    serial.add(LinkSchedule::run(LinkSchedule::Bus::Serial, 1, 30));
    EXPECT_EQ(serial.wrong, 0) << serial.wrongReplies.join(QLatin1Char('\n')).toStdString();
    EXPECT_GT(serial.answered, 0);
    std::printf("usb: %s\nserial: %s\n", qPrintable(usb.summary()), qPrintable(serial.summary()));
}

} // namespace
