#include "library/panels/BitOnOff.h"

#include "library/panels/CircleShape.h"
#include "platform/com/ClassRegistry.h"
#include "tests/support/PanelTestRig.h"

#include <QSignalSpy>
#include <gtest/gtest.h>
#include <memory>

using platform::MemberKind;

namespace {

qint32 fill(const BitOnOff& bit)
{
    return bit.findChild<CircleShape*>(QStringLiteral("Shape1"))->FillColor();
}

TEST(BitOnOff, ClickTogglesOnlyWhenEnabledAndAfterTheToggleRaisesClick)
{
    std::unique_ptr<QObject> created(platform::createObject(QStringLiteral("KVL410ActiveX.BitOnOff")));
    auto* bit = qobject_cast<BitOnOff*>(created.get());
    ASSERT_NE(bit, nullptr);
    EXPECT_FALSE(platform::isRegistered(QStringLiteral("KVL410ActiveX.GSBits")));
    bit->InitProperties();
    EXPECT_FALSE(bit->Enabled());
    EXPECT_FALSE(bit->Value());
    EXPECT_EQ(bit->OnColor(), 255);
    EXPECT_EQ(bit->OffColor(), 0);
    EXPECT_EQ(fill(*bit), 0);

    QList<bool> seen;
    QObject::connect(bit, &BitOnOff::Click, [&] { seen.append(bit->Value()); });
    PanelTestRig::click(bit);
    EXPECT_TRUE(seen.isEmpty());
    EXPECT_FALSE(bit->Value());

    QSignalSpy changed(bit, &platform::Control::PropertyChanged);
    bit->setEnabled(true);
    bit->setOffColor(0xC0FFFF);
    PanelTestRig::click(bit);
    EXPECT_EQ(fill(*bit), 255);
    PanelTestRig::click(bit);
    EXPECT_EQ(seen, (QList<bool>{true, false}));
    EXPECT_EQ(fill(*bit), 0xC0FFFF);
    QStringList names;
    for (const QList<QVariant>& args : changed)
        names.append(args.at(0).toString());
    EXPECT_EQ(names, (QStringList{"Enabled", "OffColor", "Value", "Value"}));
}

TEST(BitOnOff, ColoursRepaintAsTheirSettersSay)
{
    BitOnOff bit;
    bit.setValue(true);
    EXPECT_EQ(fill(bit), 255);
    bit.setOnColor(0x00FF00);
    EXPECT_EQ(fill(bit), 255) << "a new on-colour waits for the next change of Value";
    bit.setValue(true);
    EXPECT_EQ(fill(bit), 0x00FF00);
    bit.setValue(false);
    bit.setOffColor(0xC0C0C0);
    EXPECT_EQ(fill(bit), 0xC0C0C0);
    bit.Refresh();
    EXPECT_EQ(fill(bit), 0xC0C0C0);
    EXPECT_EQ(CircleShape::toQColor(0xC0FFFF), QColor(0xFF, 0xFF, 0xC0)) << "red sits in the low byte";

    bit.show();
    bit.resize(40, 21);
    EXPECT_EQ(bit.findChild<CircleShape*>(QStringLiteral("Shape1"))->geometry(), QRect(0, 0, 40, 21));
}

TEST(BitOnOff, PersistsItsFourKeysAndLoadsShowingTheOffColour)
{
    BitOnOff bit;
    platform::PropertyBag bag;
    bit.WriteProperties(bag);
    EXPECT_TRUE(bag.values().isEmpty()) << "defaults are not written";

    bag.WriteProperty(QStringLiteral("Value"), true, false);
    bag.WriteProperty(QStringLiteral("OnColor"), 0x00FF00, 255);
    bag.WriteProperty(QStringLiteral("OffColor"), 0xC0FFFF, 0);
    BitOnOff loaded;
    loaded.ReadProperties(bag);
    EXPECT_TRUE(loaded.Value());
    EXPECT_EQ(fill(loaded), 0xC0FFFF);

    platform::PropertyBag written;
    loaded.setEnabled(true);
    loaded.WriteProperties(written);
    EXPECT_EQ(written.values().keys(), (QStringList{"Enabled", "OffColor", "OnColor", "Value"}));
    EXPECT_EQ(written.ReadProperty(QStringLiteral("OffColor"), 0).toInt(), 0xC0FFFF);
}

TEST(BitOnOff, AnswersHostsByDispatchIdentifier)
{
    BitOnOff bit;
    QVariantList color{0x00C000};
    platform::invoke(&bit, 0x68030003, MemberKind::PropertyPut, color);
    EXPECT_EQ(color.at(0).toInt(), 0x00C000) << "the colour passed by reference comes back unchanged";
    platform::invoke(&bit, 0x68030000, MemberKind::PropertyPut, {true});
    platform::invoke(&bit, 0x68030002, MemberKind::PropertyPut, {true});
    platform::invoke(&bit, 0x60030005, MemberKind::Method);
    EXPECT_EQ(platform::invoke(&bit, 0x68030000, MemberKind::PropertyGet).toBool(), true);
    EXPECT_EQ(platform::invoke(&bit, 0x68030002, MemberKind::PropertyGet).toBool(), true);
    EXPECT_EQ(platform::invoke(&bit, 0x68030003, MemberKind::PropertyGet).toInt(), 0x00C000);
    EXPECT_EQ(fill(bit), 0x00C000);
    QVariantList off{0x123456};
    platform::invoke(&bit, 0x68030001, MemberKind::PropertyPut, off);
    EXPECT_EQ(platform::invoke(&bit, 0x68030001, MemberKind::PropertyGet).toInt(), 0x123456);
    EXPECT_EQ(bit.eventTable().first(), qMakePair(1, QStringLiteral("Click")));
    EXPECT_EQ(bit.eventTable().size(), 6);
}

} // namespace
