#include "library/panels/LEDHL.h"

#include "library/panels/CircleShape.h"
#include "platform/com/ClassRegistry.h"

#include <QLabel>
#include <gtest/gtest.h>
#include <memory>

using platform::MemberKind;

namespace {

struct Look {
    QString caption;
    QColor captionColor;
    qint32 fill;
};

Look lookOf(const LEDHL& led)
{
    auto* label = led.findChild<QLabel*>(QStringLiteral("Label1"));
    return {label->text(), label->palette().color(QPalette::WindowText),
            led.findChild<CircleShape*>(QStringLiteral("Shape1"))->FillColor()};
}

TEST(LEDHL, SwitchesByDispatchIdentifierAndRemembersNothing)
{
    std::unique_ptr<QObject> created(platform::createObject(QStringLiteral("KVL410ActiveX.LEDHL")));
    auto* led = qobject_cast<LEDHL*>(created.get());
    ASSERT_NE(led, nullptr);
    // Loaded from a stored form: the designed look until first switched.
    EXPECT_EQ(lookOf(*led).caption, QStringLiteral("H"));
    EXPECT_EQ(lookOf(*led).fill, 255);

    platform::invoke(led, 0x60030000, MemberKind::Method);
    platform::invoke(led, 0x60030001, MemberKind::Method);
    platform::invoke(led, 0x60030001, MemberKind::Method);
    Look look = lookOf(*led);
    EXPECT_EQ(look.caption, QStringLiteral("L"));
    EXPECT_EQ(look.fill, 0);
    EXPECT_EQ(look.captionColor, QColor(Qt::white));
    platform::invoke(led, 0x60030000, MemberKind::Method);
    look = lookOf(*led);
    EXPECT_EQ(look.caption, QStringLiteral("H"));
    EXPECT_EQ(look.fill, 255);
    EXPECT_EQ(look.captionColor, QColor(Qt::white));
    EXPECT_TRUE(led->eventTable().isEmpty());
}

TEST(LEDHL, NewLampStartsLowAndKeepsItsCaptionCentredAtAnySize)
{
    LEDHL led;
    led.show();
    led.InitProperties();
    EXPECT_EQ(lookOf(led).caption, QStringLiteral("L"));
    EXPECT_EQ(lookOf(led).fill, 0);
    auto* label = led.findChild<QLabel*>(QStringLiteral("Label1"));
    auto* shape = led.findChild<CircleShape*>(QStringLiteral("Shape1"));
    for (const QSize size : {QSize(17, 17), QSize(60, 25), QSize(9, 40)}) {
        led.resize(size);
        EXPECT_EQ(shape->geometry(), QRect(QPoint(0, 0), size));
        EXPECT_LE(std::abs(label->geometry().center().x() * 2 + 1 - size.width()), 2);
        EXPECT_LE(std::abs(label->geometry().center().y() * 2 + 1 - size.height()), 2);
        EXPECT_TRUE(QRect(QPoint(0, 0), size).contains(label->geometry())) << "the letter stays on the lamp";
    }
}

} // namespace
