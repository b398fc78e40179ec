#include "library/link/Global.h"
#include "library/link/KVLComm.h"
#include "library/link/KVLGlobal.h"

#include "platform/ui/MsgBox.h"
#include "tests/support/MsgBoxRecorder.h"

#include <QLocale>
#include <gtest/gtest.h>

#include "tests/support/TestHelpers.h"

namespace {


QString cleaned(const QString& text)
{
    QString s = text;
    const QString result = Global::CleanNumericText(s);
    EXPECT_EQ(result, s) << "the argument is cleaned in place";
    return result;
}

} // namespace

TEST(Global, UnitNames)
{
    Global::InitUnitNames();
    Global::InitUnitNames();
    EXPECT_EQ(Global::gUnitNames[0], "counts");
    EXPECT_EQ(Global::gUnitNames[2], "mm");
    EXPECT_EQ(Global::gUnitNames[3], QString(QChar(0xB5)) + "m");
    EXPECT_EQ(Global::gUnitNames[3].size(), 2);
    EXPECT_EQ(Global::gUnitNames[6], QString(QChar(0xB5)) + "in");
    EXPECT_EQ(Global::gUnitNames[11], QString(QChar(0xB5)) + "rad");
    EXPECT_EQ(Global::gUnitNames[11].toLatin1().at(0), char(181));
    EXPECT_TRUE(Global::gUnitNames[12].isEmpty());
}

TEST(Global, CleanNumericTextWithADecimalPoint)
{
    LocaleScope point(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(Global::GetDecimalSeparator(), ".");
    EXPECT_EQ(cleaned(""), "0.0");
    EXPECT_EQ(cleaned("   "), "0.0");
    EXPECT_EQ(cleaned("12a.3.4"), "12.34");
    EXPECT_EQ(cleaned(" -5"), "-5");
    EXPECT_EQ(cleaned("5-3"), "53");
    EXPECT_EQ(cleaned("+7"), "7");
    EXPECT_EQ(cleaned("1,5"), "15");
    EXPECT_EQ(cleaned("1 000.25 "), "1000.25");
    EXPECT_EQ(cleaned("abc"), "");
    EXPECT_EQ(cleaned("-"), "-");
}

TEST(Global, CleanNumericTextWithADecimalComma)
{
    LocaleScope comma(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(Global::GetDecimalSeparator(), ",");
    EXPECT_EQ(cleaned(""), "0,0");
    EXPECT_EQ(cleaned("1.5"), "15");
    EXPECT_EQ(cleaned("1,5"), "1,5");
    EXPECT_EQ(cleaned("-1,2,3"), "-1,23");
}

TEST(KVLGlobal, ResetSystemAsksAndOnYesInitialisesThenOpens)
{
    KVLComm comm; // no bus: demo mode
    MsgBoxRecorder boxes(platform::vbNo);

    // Initialised alone, the demo link counts as open; an open afterwards would close it again.
    ASSERT_EQ(comm.KVLInit(), 0);
    ASSERT_TRUE(comm.IsOpen());
    KVLGlobal::ResetSystem(comm);
    ASSERT_EQ(boxes.count(), 1);
    EXPECT_EQ(boxes.last().prompt, "Do you want to reset the system?");
    EXPECT_EQ(boxes.last().style, 68);
    EXPECT_EQ(boxes.last().title, " Tarvelle KVL7100");
    EXPECT_TRUE(comm.IsOpen()) << "No makes no call on the control";

    boxes.setAnswer(platform::vbYes);
    KVLGlobal::ResetSystem(comm);
    EXPECT_EQ(boxes.count(), 2);
    EXPECT_FALSE(comm.IsOpen()) << "KVLInit gave 0, so KVLOpen ran and found no bus";
    EXPECT_EQ(comm.BusType(), BUS_TYPE_NONE);
}
