#include "library/link/CAxisType.h"
#include "platform/RuntimeError.h"
#include "platform/com/ClassRegistry.h"
#include "tests/support/FakeLink.h"

#include <QLocale>
#include <QRegularExpression>
#include <QTimer>
#include <gtest/gtest.h>

#include "tests/support/TestHelpers.h"

#include <functional>

namespace {


QStringList lines(std::initializer_list<const char*> texts)
{
    QStringList result;
    for (const char* t : texts)
        result << QString::fromLatin1(t) + QLatin1Char('\r');
    return result;
}


} // namespace

TEST(Transfers, GetConfigsAsksTheSystemWordWithoutAxisAndReadsHexWords)
{
    FakeLink link;
    link.replies = {
        {"ZZ?", "10H"},       {"3ZF?", "0A0H"},   {"3ZH?", "8000H"},     {"3ZS?", "FFFFH"},
        {"3ZA?", "12345H"},   {"3ZB?", "0a0h"},   {"3ZE?", "FFFFFFFFH"}, {"3QM?", "2H"},
        {"3SR?", " 12.5\r\n"}, {"3SL?", "-12.5"}, {"3QS?", "10"},        {"3FR?", "0.25"},
    };
    link.GetConfigs(3);

    EXPECT_EQ(link.sent, lines({"ZZ?", "3ZF?", "3ZH?", "3ZS?", "3ZA?", "3ZB?", "3ZE?", "3QM?", "3SR?", "3SL?",
                                "3QS?", "3FR?"}));
    EXPECT_EQ(link.SystemConfiguration(1), 16);
    EXPECT_EQ(link.SystemConfiguration(3), 0);
    EXPECT_EQ(link.FollowingErrorConfig(3), 160);
    EXPECT_EQ(link.HardLimitConfig(3), 32768);
    EXPECT_EQ(link.SoftLimitConfig(3), 65535);
    EXPECT_EQ(link.AmpIOConfig(3), 74565);
    EXPECT_EQ(link.FeedbackConfig(3), 0) << "a lower-case h is no hexadecimal mark";
    EXPECT_EQ(link.EStopConfig(3), -1);
    EXPECT_EQ(link.MotorType(3), 2);
    EXPECT_EQ(link.PosTravelLimit(3), 12.5);
    EXPECT_EQ(link.NegTravelLimit(3), -12.5);
    EXPECT_EQ(link.Microstep(3), 10);
    EXPECT_EQ(link.Stepsize(3), 0.25f);

    // Words read back are written unchanged.
    link.sent.clear();
    link.WriteAllConfig(3);
    EXPECT_EQ(link.sent, lines({"ZZ010", "3ZF0A0", "3ZH08000", "3ZS0FFFF", "3ZA012345", "3ZB00", "3ZE0FFFFFFFF",
                                "3QM2", "3SR12.5", "3SL-12.5", "3QS10", "3FR0.25"}));
}

TEST(Transfers, WriteAllConfigSendsWhatTheHostSetAndNothingNeverTouched)
{
    // Nothing read and nothing set: no guess goes out, and every value is named.
    FakeLink link;
    link.WriteAllConfig(2);
    EXPECT_TRUE(link.sent.isEmpty());
    EXPECT_EQ(link.SkippedParameters(),
              (QStringList{"SystemConfiguration", "FollowingErrorConfig", "HardLimitConfig", "SoftLimitConfig",
                           "AmpIOConfig", "FeedbackConfig", "EStopConfig", "MotorType", "PosTravelLimit",
                           "NegTravelLimit", "Microstep", "Stepsize"}));
    EXPECT_NE(link.cachedRecord(1), nullptr);
    EXPECT_FALSE(link.ParameterKnown(2, "MotorType"));

    // Values the host set are its own, zeros included.
    link.setSystemConfiguration(1, 0);
    link.setFollowingErrorConfig(2, 0);
    link.setHardLimitConfig(2, 0);
    link.setSoftLimitConfig(2, 0);
    link.setAmpIOConfig(2, 0);
    link.setFeedbackConfig(2, 0);
    link.setEStopConfig(2, 0);
    link.setMotorType(2, 0);
    link.setPosTravelLimit(2, 0);
    link.setNegTravelLimit(2, 0);
    link.setMicrostep(2, 0);
    link.setStepsize(2, 0);
    EXPECT_TRUE(link.ParameterKnown(2, "MotorType"));
    EXPECT_FALSE(link.ParameterKnown(13, "MotorType"));
    EXPECT_FALSE(link.ParameterKnown(2, "NoSuchValue"));
    // A controller-wide value is known for every axis once set through any.
    link.setAnalogInputMode(9, 1);
    EXPECT_TRUE(link.ParameterKnown(4, "AnalogInputMode"));
    link.WriteAllConfig(2);
    EXPECT_EQ(link.sent, lines({"ZZ00", "2ZF00", "2ZH00", "2ZS00", "2ZA00", "2ZB00", "2ZE00", "2QM0", "2SR0", "2SL0",
                                "2QS0", "2FR0"}));
    EXPECT_TRUE(link.SkippedParameters().isEmpty());

    // A bad axis stops a writing transfer before its first per-axis command...
    link.sent.clear();
    EXPECT_EQ(errorNumber([&] { link.WriteAllConfig(13); }), 9);
    EXPECT_EQ(link.sent, lines({"ZZ00"}));

    // ...and a reading one after its first per-axis exchange.
    link.sent.clear();
    EXPECT_EQ(errorNumber([&] { link.GetConfigs(13); }), 9);
    EXPECT_EQ(link.sent, lines({"ZZ?", "13ZF?"}));
}

TEST(Transfers, FloatingValuesGoOutWithThePeriodInEveryLocale)
{
    for (QLocale::Language language : {QLocale::English, QLocale::German}) {
        LocaleScope locale{QLocale(language)};
        FakeLink link;
        link.setDisplacementUnits(1, 3);
        link.setEncoderResolution(1, 0.5f);
        link.setStepsize(1, 1.5f);
        link.setMicrostep(1, -2);
        link.setFeedbackConfig(1, 255);
        short axis = 1;
        link.SetUnitsConfigs(axis);
        EXPECT_EQ(link.sent, lines({"1SN3", "1SU0.5", "1FR1.5", "1QS-2", "1ZB0FF"}));

        link.sent.clear();
        link.SetDisplacementEncoderConfigs(axis);
        EXPECT_EQ(link.sent, lines({"1SN3", "1SU0.5"}));

        // A value read back survives the round trip; a comma does not make a number.
        link.replies = {{"1SN?", "3"}, {"1SU?", "0.5"}};
        link.GetDisplacementEncoderConfigs(axis);
        EXPECT_EQ(link.EncoderResolution(1), 0.5f);
        link.replies["1SU?"] = QStringLiteral("0,5");
        link.GetDisplacementEncoderConfigs(axis);
        EXPECT_EQ(link.EncoderResolution(1), 0.0f);
    }
}

TEST(Transfers, HexMarkingOnlyWhereGiven)
{
    FakeLink link;
    link.replies = {{"2SN?", "12H"}, {"2SU?", "4H"}, {"2FR?", "10H"}, {"2QS?", "12H"}, {"2ZB?", "12H"}};
    short axis = 2;
    link.GetUnitsConfigs(axis);
    EXPECT_EQ(link.sent, lines({"2SN?", "2SU?", "2FR?", "2QS?", "2ZB?"}));
    EXPECT_EQ(link.DisplacementUnits(2), 12);
    EXPECT_EQ(link.EncoderResolution(2), 4.0f);
    EXPECT_EQ(link.Stepsize(2), 16.0f);
    EXPECT_EQ(link.Microstep(2), 18);
    EXPECT_EQ(link.FeedbackConfig(2), 18);

    EXPECT_EQ(link.MtrType(2), MotionParameterCache::MotorTypeNotRead) << "no reply scripted";
    EXPECT_EQ(platform::invoke(&link, 0x60030039, platform::MemberKind::Method, {2}, QStringLiteral("IMotion")).toInt(),
              -1)
        << "late-bound as well";
    link.replies["2QM?"] = QStringLiteral("0");
    EXPECT_EQ(link.MtrType(2), 0) << "no motor";
    link.replies["2QM?"] = QStringLiteral("1AH");
    link.setMotorType(2, 7);
    EXPECT_EQ(link.MtrType(2), 26);
    EXPECT_EQ(link.MotorType(2), 7) << "the probe stores nothing";
}

TEST(Transfers, AQueryWithoutAnswerNeverStoresTheReplyBeforeIt)
{
    FakeLink link;
    link.replies = {{"1SN?", "3"}, {"1SU?", "2.5"}};
    link.setStepsize(1, 9);
    link.setMicrostep(1, 9);
    // The link closes after the second exchange, as a failure handler would close it.
    link.afterExchange = [&](const QString& line) {
        if (line == QLatin1String("1SU?"))
            link.mode = FakeLink::Mode::Closed;
    };
    short axis = 1;
    link.GetUnitsConfigs(axis);
    EXPECT_EQ(link.DisplacementUnits(1), 3);
    EXPECT_EQ(link.EncoderResolution(1), 2.5f);
    // Not read: kept, and no longer known.
    EXPECT_EQ(link.Stepsize(1), 9.0f);
    EXPECT_EQ(link.Microstep(1), 9);
    EXPECT_EQ(link.FeedbackConfig(1), 0);
    EXPECT_EQ(link.SkippedParameters(), (QStringList{"Stepsize", "Microstep", "FeedbackConfig"}));
    EXPECT_TRUE(link.ParameterKnown(1, "EncoderResolution"));
    EXPECT_FALSE(link.ParameterKnown(1, "Microstep"));

    // Demo mode: every query answers empty, every field reads 0, nothing is sent.
    FakeLink demo;
    demo.mode = FakeLink::Mode::Demo;
    demo.setFollowingErrorConfig(4, 5);
    demo.setStepsize(4, 5);
    demo.setSystemConfiguration(1, 5);
    demo.GetConfigs(4);
    demo.WriteAllConfig(4);
    EXPECT_TRUE(demo.sent.isEmpty());
    EXPECT_EQ(demo.FollowingErrorConfig(4), 0);
    EXPECT_EQ(demo.Stepsize(4), 0.0f);
    EXPECT_EQ(demo.SystemConfiguration(1), 0);
    EXPECT_EQ(demo.MtrType(4), 0);
    short demoAxis = 4;
    EXPECT_EQ(demo.ReadAllMotionParams(demoAxis), 0);
}

TEST(Transfers, ATransferReadsItsAxisOnceAndLetsEventsRunBetweenCommands)
{
    FakeLink link;
    link.replies = {{"2SN?", "1"}, {"2SU?", "2"}, {"2FR?", "3"}, {"2QS?", "4"}, {"2ZB?", "5"}};
    short axis = 2;
    QStringList events;
    link.afterExchange = [&](const QString& line) {
        // An event handler that changes the caller's axis variable while the transfer runs.
        axis = 5;
        QTimer::singleShot(0, [&events, line] { events << line; });
    };
    link.GetUnitsConfigs(axis);
    EXPECT_EQ(link.sent, lines({"2SN?", "2SU?", "2FR?", "2QS?", "2ZB?"}));
    EXPECT_EQ(link.Microstep(2), 4);
    EXPECT_EQ(link.cachedRecord(5), nullptr);
    EXPECT_EQ(events, (QStringList{"2SN?", "2SU?", "2FR?", "2QS?", "2ZB?"})) << "one pump after each command";
}

TEST(Transfers, ReadAllMotionParamsReportsAnyFailedExchange)
{
    const char* queries[] = {"SN", "SU", "VU", "VA", "KD", "KI", "KP", "KS", "VF",
                             "AF", "JK", "AU", "AC", "AG", "FE", "OH", "TJ", "VB"};
    FakeLink link;
    QStringList expected;
    int n = 0;
    for (const char* q : queries) {
        const QString line = QStringLiteral("1%1?").arg(QLatin1String(q));
        link.replies[line] = QString::number(++n) + QStringLiteral(".5");
        expected << line + QLatin1Char('\r');
    }
    short axis = 1;
    EXPECT_EQ(link.ReadAllMotionParams(axis), 0);
    EXPECT_EQ(link.sent, expected);
    EXPECT_EQ(link.DisplacementUnits(1), 2) << "1.5 to the even neighbour";
    EXPECT_EQ(link.VelocityGain(1), 9.5f);
    EXPECT_EQ(link.cachedRecord(1)->HomeHighSpeed(), 16.5f);
    EXPECT_EQ(link.TrajectoryMode(1), 18) << "17.5 to the even neighbour";
    EXPECT_EQ(link.StepMotorVelocity(1), 18.5f);

    // A failure status on the fifth exchange: reported, and every field still read.
    link.statuses["1KD?"] = -2;
    link.replies["1VB?"] = QStringLiteral("7");
    EXPECT_EQ(link.ReadAllMotionParams(axis), -2);
    EXPECT_EQ(link.DerivativeGain(1), 5.5f);
    EXPECT_EQ(link.StepMotorVelocity(1), 7.0f);

    // An exchange that got no reply is a failure too; the field keeps what it held.
    link.statuses.clear();
    link.replies.remove("1JK?");
    EXPECT_EQ(link.ReadAllMotionParams(axis), -2);
    EXPECT_EQ(link.JerkRate(1), 11.5f);
    EXPECT_EQ(link.SkippedParameters(), QStringList{"JerkRate"});
    EXPECT_FALSE(link.ParameterKnown(1, "JerkRate"));
    EXPECT_TRUE(link.ParameterKnown(1, "HomeHighSpeed"));
}

TEST(Transfers, UpdateAxornAndOverflows)
{
    FakeLink link;
    EXPECT_EQ(link.UpdateAxorn(4), 0);
    EXPECT_EQ(link.sent, lines({"4QD"}));
    link.statuses["4QD"] = 70000;
    EXPECT_EQ(errorNumber([&] { link.UpdateAxorn(4); }), 6);
    link.mode = FakeLink::Mode::Closed;
    link.statuses.clear();
    EXPECT_EQ(link.UpdateAxorn(4), -1);

    EXPECT_EQ(link.ConvertLongString(0), "00");
    EXPECT_EQ(link.ConvertLongString(-1), "0FFFFFFFF");
    QString text = QStringLiteral("12");
    link.ConvertHexString(text);
    EXPECT_EQ(text, "12");
}

TEST(Transfers, ANumberItsFieldCannotHoldIsNotStoredAndFailsNothing)
{
    // Too large for 16 bits, nine hexadecimal digits, beyond 32 bits, beyond a float: each field
    // keeps what it held, the transfer goes on to its end, and nothing throws.
    FakeLink big;
    big.replies = {{"1SN?", "40000"},      {"1SU?", "1E39"},         {"1FR?", "0.5"},
                   {"1QS?", "2147483648"}, {"1ZB?", "123456789H"},   {"1QM?", "8000H"}};
    big.setDisplacementUnits(1, 2);
    big.setEncoderResolution(1, 3);
    big.setMicrostep(1, 4);
    big.setFeedbackConfig(1, 5);
    short axis = 1;
    EXPECT_EQ(errorNumber([&] { big.GetUnitsConfigs(axis); }), 0);
    EXPECT_EQ(big.sent, lines({"1SN?", "1SU?", "1FR?", "1QS?", "1ZB?"}));
    EXPECT_EQ(big.DisplacementUnits(1), 2);
    EXPECT_EQ(big.EncoderResolution(1), 3.0f);
    EXPECT_EQ(big.Stepsize(1), 0.5f);
    EXPECT_EQ(big.Microstep(1), 4);
    EXPECT_EQ(big.FeedbackConfig(1), 5) << "never -2147483648";
    EXPECT_EQ(big.MtrType(1), MotionParameterCache::MotorTypeNotRead) << "a motor type no 16-bit code holds";
    big.replies["1QM?"] = QStringLiteral("-2");
    EXPECT_EQ(big.MtrType(1), MotionParameterCache::MotorTypeNotRead) << "no motor type is negative";

    // Written back, neither a wrapped number nor the value kept goes out: only the one read.
    big.sent.clear();
    big.SetUnitsConfigs(axis);
    EXPECT_EQ(big.sent, lines({"1FR0.5"}));
    EXPECT_EQ(big.SkippedParameters(), (QStringList{"DisplacementUnits", "EncoderResolution", "Microstep", "FeedbackConfig"}));

    big.replies = {{"ZZ?", "FFFFFFFFFH"}, {"1ZF?", "1E999"}};
    big.setSystemConfiguration(1, 7);
    big.setFollowingErrorConfig(1, 8);
    EXPECT_EQ(errorNumber([&] { big.GetConfigs(1); }), 0);
    EXPECT_EQ(big.SystemConfiguration(1), 7);
    EXPECT_EQ(big.FollowingErrorConfig(1), 8);

    // A read of the servo values says it failed.
    big.replies = {{"1SN?", "70000"}};
    EXPECT_EQ(big.ReadAllMotionParams(axis), -2);
    EXPECT_EQ(big.DisplacementUnits(1), 2);
}

TEST(Transfers, ATransferStartedFromItsOwnEventPumpIsRefused)
{
    FakeLink link;
    link.GetGuiStateObject()->setMaxFeedbackAxes(2);
    link.setSystemConfiguration(1, 0);
    link.setFollowingErrorConfig(1, 0);
    link.setHardLimitConfig(1, 0);
    link.setSoftLimitConfig(1, 0);
    link.setAmpIOConfig(1, 0);
    link.setEStopConfig(1, 0);
    link.setMotorType(1, 2);
    link.setPosTravelLimit(1, 0);
    link.setNegTravelLimit(1, 0);
    link.setMicrostep(1, 0);
    link.setStepsize(1, 0);
    link.setFeedbackConfig(1, 0x12);
    link.StoreCurrentAxisState();
    link.setFeedbackConfig(1, 0x34);
    int nested = 0;
    short readResult = 0;
    link.afterExchange = [&](const QString&) {
        // A tick or a click while the records are being written.
        if (nested++ > 0)
            return;
        EXPECT_TRUE(link.transferRunning());
        link.GetConfigs(2);
        link.WriteAllConfig(2);
        link.RestoreOldAxisState();
        link.StoreCurrentAxisState();
        short axis = 2;
        readResult = link.ReadAllMotionParams(axis);
    };
    link.WriteAllConfig(1);
    EXPECT_EQ(link.sent.size(), 12);
    EXPECT_TRUE(link.sent.filter(QRegularExpression(QStringLiteral("^2"))).isEmpty()) << "no second transfer";
    EXPECT_TRUE(link.sent.contains(QStringLiteral("1ZB034\r"))) << "the records were not replaced mid-write";
    EXPECT_EQ(readResult, -2);
    EXPECT_FALSE(link.transferRunning());

    // Afterwards the snapshot and the transfers work again.
    link.afterExchange = nullptr;
    link.RestoreOldAxisState();
    EXPECT_EQ(link.FeedbackConfig(1), 0x12);
}
