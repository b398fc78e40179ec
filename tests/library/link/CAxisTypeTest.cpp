#include "library/link/CAxisType.h"

#include "platform/com/ClassRegistry.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

// Gives every property of a record its own non-zero value: the n-th property gets n.
void fillDistinct(CAxisType& r)
{
    int n = 0;
#define KVL_FILL(order, Name, Type, dispid, Param) r.set##Name(Type(++n));
    KVL_AXIS_RECORD_PROPERTIES(KVL_FILL)
#undef KVL_FILL
}

} // namespace

TEST(CAxisType, CloneCopiesAllButTheDacOffset)
{
    CAxisType source;
    fillDistinct(source);
    std::unique_ptr<CAxisType> copy = source.Clone();

    int same = 0;
#define KVL_SAME(order, Name, Type, dispid, Param) same += copy->Name() == source.Name();
    KVL_AXIS_RECORD_PROPERTIES(KVL_SAME)
#undef KVL_SAME
    EXPECT_EQ(same, 54);
    EXPECT_EQ(copy->DacOffset(), 0.0f);
    EXPECT_EQ(source.DacOffset(), 55.0f);

    copy->setAcceleration(-1);
    EXPECT_EQ(source.Acceleration(), 24.0f);
}

TEST(CAxisType, LateBoundCloneByDispatchIdentifier)
{
    std::unique_ptr<QObject> object(platform::createObject(QStringLiteral("KVL410ActiveX.CAxisType")));
    ASSERT_NE(object, nullptr);
    platform::invoke(object.get(), 0x68030028, platform::MemberKind::PropertyPut, {2.5}); // Velocity
    platform::invoke(object.get(), 0x68030036, platform::MemberKind::PropertyPut, {7});   // FollowError

    std::unique_ptr<QObject> clone(
        platform::invoke(object.get(), 0x60030037, platform::MemberKind::Method).value<QObject*>());
    ASSERT_NE(qobject_cast<CAxisType*>(clone.get()), nullptr);
    EXPECT_EQ(platform::invoke(clone.get(), 0x68030028, platform::MemberKind::PropertyGet).toFloat(), 2.5f);
    EXPECT_EQ(platform::invoke(clone.get(), 0x68030036, platform::MemberKind::PropertyGet).toInt(), 7);
}
