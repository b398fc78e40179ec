#include "library/link/classGrid.h"
#include "library/link/gData.h"

#include "platform/com/ClassRegistry.h"

#include <gtest/gtest.h>

TEST(GridCells, LateBoundByDispatchIdentifier)
{
    using platform::MemberKind;
    classGrid cell;
    platform::invoke(&cell, 0x68030004, MemberKind::PropertyPut, {QStringLiteral("Speed")});
    platform::invoke(&cell, 0x68030005, MemberKind::PropertyPut, {3});
    EXPECT_EQ(cell.propText(), "Speed");
    EXPECT_EQ(platform::invoke(&cell, 0x68030005, MemberKind::PropertyGet).toInt(), 3); // SpinInc

    gData item;
    QVariantList args{QStringLiteral("a|b")};
    platform::invoke(&item, 0x68030000, MemberKind::PropertyPut, args);
    EXPECT_EQ(item.cellList(), "a|b");
    EXPECT_EQ(args.at(0).toString(), "a|b") << "the caller's variable is left as it was";
    EXPECT_EQ(platform::invoke(&item, 0x68030000, MemberKind::PropertyGet).toString(), "a|b");

    EXPECT_TRUE(platform::isRegistered(QStringLiteral("KVL410ActiveX.classGrid")));
    EXPECT_TRUE(platform::isRegistered(QStringLiteral("KVL410ActiveX.gData")));
}
