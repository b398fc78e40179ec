#include "library/link/CAxisType.h"
#include "library/link/IMotion.h"
#include "platform/RuntimeError.h"
#include "platform/com/ClassRegistry.h"
#include "tests/support/FakeLink.h"

#include <gtest/gtest.h>

#include "tests/support/TestHelpers.h"

#include <functional>
#include <memory>

namespace {


} // namespace

TEST(MotionParameterCache, RecordsAreMadeOnFirstTouchAndAxesOutsideOneToTwelveAreError9)
{
    FakeLink cache;
    EXPECT_EQ(cache.cachedRecord(5), nullptr);
    EXPECT_EQ(cache.Velocity(5), 0.0f);
    EXPECT_NE(cache.cachedRecord(5), nullptr);

    cache.setMotorType(3, 2);
    EXPECT_EQ(cache.MotorType(3), 2);
    EXPECT_EQ(cache.MotorType(4), 0);

    for (short axis : {0, 13, -1, -32768}) {
        EXPECT_EQ(errorNumber([&] { cache.ProportionalGain(axis); }), 9) << axis;
        EXPECT_EQ(errorNumber([&] { cache.setProportionalGain(axis, 1); }), 9) << axis;
    }
    cache.setProportionalGain(12, 1.25f);
    EXPECT_EQ(cache.ProportionalGain(12), 1.25f);

    cache.setDesiredPosition(2, 1.5f);
    EXPECT_EQ(cache.DesiredPositon(2), 1.5f);
}

TEST(MotionParameterCache, ControllerWideValuesLiveInAxisOne)
{
    FakeLink cache;
    cache.setAnalogInputMode(5, 3);
    cache.setDIOPortDirection(0, 0x0F);
    cache.setDIOPortStatusBits(-7, 0x30);
    for (short axis : {1, 12, 99}) {
        EXPECT_EQ(cache.AnalogInputMode(axis), 3);
        EXPECT_EQ(cache.DIOPortDirection(axis), 0x0F);
        EXPECT_EQ(cache.DIOPortStatusBits(axis), 0x30);
    }
    EXPECT_EQ(cache.cachedRecord(5), nullptr);
    ASSERT_NE(cache.cachedRecord(1), nullptr);
    EXPECT_EQ(cache.cachedRecord(1)->AnalogInputMode(), 3);
}

TEST(MotionParameterCache, EveryPropertyKeepsItsOwnValue)
{
    // Each property gets its own value; one that shared a field with another would read back the
    // other's value.
    FakeLink cache;
    int n = 0;
#define KVL_SET_SetGet(Name, Type) cache.set##Name(4, Type(++n));
#define KVL_SET_GetSet(Name, Type) cache.set##Name(4, Type(++n));
#define KVL_SET_SetOnly(Name, Type) cache.set##Name(4, Type(++n));
#define KVL_SET_GetOnly(Name, Type)
#define KVL_SET(order, Name, Field, Type, dispid, Param, scope) KVL_SET_##order(Name, Type)
    KVL_IMOTION_PROPERTIES(KVL_SET)

    int k = 0;
    int matching = 0;
#define KVL_CHECK_SetGet(Name, Type) matching += cache.Name(4) == Type(++k);
#define KVL_CHECK_GetSet(Name, Type) matching += cache.Name(4) == Type(++k);
#define KVL_CHECK_SetOnly(Name, Type) ++k;
#define KVL_CHECK_GetOnly(Name, Type) matching += cache.Name(4) == Type(k);
#define KVL_CHECK(order, Name, Field, Type, dispid, Param, scope) KVL_CHECK_##order(Name, Type)
    KVL_IMOTION_PROPERTIES(KVL_CHECK)
    EXPECT_EQ(n, 54);
    EXPECT_EQ(matching, 54);
}

TEST(MotionParameterCache, RestoreGivesBackTheSnapshot)
{
    FakeLink cache;
    cache.GetGuiStateObject()->setMaxFeedbackAxes(3);
    cache.setAcceleration(2, 10);
    cache.setDacOffset(2, 4);
    cache.setAnalogInputMode(1, 2);
    cache.StoreCurrentAxisState();

    cache.setAcceleration(2, 20);
    cache.setAnalogInputMode(1, 5);
    cache.setAcceleration(4, 33); // above MaxFeedbackAxes: neither saved nor restored
    cache.setVelocity(3, 8);      // had no value at the snapshot

    cache.RestoreOldAxisState();
    EXPECT_EQ(cache.Acceleration(2), 10);
    EXPECT_EQ(cache.DacOffset(2), 4) << "a Cancel must not zero a value the user never touched";
    EXPECT_EQ(cache.AnalogInputMode(7), 2);
    EXPECT_EQ(cache.Acceleration(4), 33);
    EXPECT_EQ(cache.Velocity(3), 0);

    // The snapshot stays: a second restore gives the same values, even after new edits.
    cache.setAcceleration(2, 21);
    cache.setDacOffset(2, 9);
    cache.RestoreOldAxisState();
    EXPECT_EQ(cache.Acceleration(2), 10);
    EXPECT_EQ(cache.DacOffset(2), 4);
}

TEST(MotionParameterCache, SnapshotLimits)
{
    {
        // No GUI state yet: one is made, with MaxFeedbackAxes 0, so nothing is copied.
        FakeLink cache;
        cache.setJerkRate(1, 5);
        EXPECT_FALSE(cache.hasGuiState());
        cache.StoreCurrentAxisState();
        EXPECT_TRUE(cache.hasGuiState());
        cache.RestoreOldAxisState();
        EXPECT_EQ(cache.JerkRate(1), 5);
    }
    {
        // A restore with no snapshot zeroes axes 1 to MaxFeedbackAxes.
        FakeLink cache;
        cache.GetGuiStateObject()->setMaxFeedbackAxes(2);
        cache.setJerkRate(2, 5);
        cache.setJerkRate(3, 6);
        cache.RestoreOldAxisState();
        EXPECT_EQ(cache.JerkRate(2), 0);
        EXPECT_EQ(cache.JerkRate(3), 6);
    }
    {
        // More feedback axes than the cache holds: axes 1 to 12 are copied, then error 9.
        FakeLink cache;
        cache.GetGuiStateObject()->setMaxFeedbackAxes(13);
        cache.setJerkRate(12, 7);
        EXPECT_EQ(errorNumber([&] { cache.StoreCurrentAxisState(); }), 9);
        cache.setJerkRate(12, 1);
        EXPECT_EQ(errorNumber([&] { cache.RestoreOldAxisState(); }), 9);
        EXPECT_EQ(cache.JerkRate(12), 7);
    }
}

TEST(MotionParameterCache, LateBoundThroughIMotion)
{
    FakeLink link;
    using platform::MemberKind;
    platform::invoke(&link, 0x68030030, MemberKind::PropertyPut, {3, 2}, QStringLiteral("IMotion")); // MotorType
    EXPECT_EQ(link.MotorType(3), 2);
    platform::invoke(&link, 0x68030028, MemberKind::PropertyPut, {2, 1.5}, QStringLiteral("IMotion")); // DesiredPosition
    EXPECT_EQ(platform::invoke(&link, 0x68030027, MemberKind::PropertyGet, {2}, QStringLiteral("IMotion")).toFloat(), 1.5f);

    // The text routine rewrites its by-reference argument.
    QVariantList args{QStringLiteral("1A3H")};
    platform::invoke(&link, 0x60030040, MemberKind::Method, args, QStringLiteral("IMotion"));
    EXPECT_EQ(args.at(0).toString(), "&H1A3H");

    const platform::DispatchTable& table = IMotion::motionDispatchTable();
    EXPECT_EQ(table.members().size(), 119);
    EXPECT_EQ(table.findByName("DesiredPosition", MemberKind::PropertyGet), nullptr);
    EXPECT_EQ(table.findByName("DesiredPositon", MemberKind::PropertyPut), nullptr);
}

TEST(IMotionObject, HasNoBehaviour)
{
    std::unique_ptr<QObject> object(platform::createObject(QStringLiteral("KVL410ActiveX.IMotion")));
    ASSERT_NE(object, nullptr);
    using platform::MemberKind;
    platform::invoke(object.get(), 0x68030030, MemberKind::PropertyPut, {1, 5});
    EXPECT_EQ(platform::invoke(object.get(), 0x68030030, MemberKind::PropertyGet, {1}).toInt(), 0);
    EXPECT_EQ(platform::invoke(object.get(), 0x6803002F, MemberKind::PropertyGet, {1}).toDouble(), 0.0);
    EXPECT_EQ(platform::invoke(object.get(), 0x60030041, MemberKind::Method, {255}).toString(), QString());
}
