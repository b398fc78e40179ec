#include "library/link/CGuiState.h"

#include "platform/com/ClassRegistry.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

#include <memory>

TEST(CGuiState, CurrentAxisAnnouncesChangesOnlyAndSynchronously)
{
    CGuiState gui;
    EXPECT_EQ(gui.CurrentAxis(), 1);
    EXPECT_EQ(gui.MaxAxes(), 0);
    EXPECT_EQ(gui.MaxFeedbackAxes(), 0);
    EXPECT_EQ(gui.MaxDigitalChannels(), 0);
    EXPECT_EQ(gui.MaxAnalogChannels(), 0);

    QList<QPair<short, short>> events;
    QObject::connect(&gui, &CGuiState::AxisChange, [&](short newAxis, short oldAxis) {
        events.append({newAxis, oldAxis});
        // A handler that moves the axis on raises a nested event before the first set returns.
        if (newAxis == 3)
            gui.setCurrentAxis(4);
    });

    gui.setCurrentAxis(1);
    EXPECT_TRUE(events.isEmpty());

    gui.setCurrentAxis(3);
    const QList<QPair<short, short>> expected = {{3, 1}, {4, 3}};
    EXPECT_EQ(events, expected);
    EXPECT_EQ(gui.CurrentAxis(), 4);

    // No range check: 0 and values above MaxAxes are stored and announced.
    gui.setMaxAxes(2);
    gui.setCurrentAxis(0);
    gui.setCurrentAxis(9);
    EXPECT_EQ(events.mid(2), (QList<QPair<short, short>>{{0, 4}, {9, 0}}));
    EXPECT_EQ(gui.CurrentAxis(), 9);
}

TEST(CGuiState, FormMaskRaisesOnEveryCall)
{
    CGuiState gui;
    QSignalSpy status(&gui, &CGuiState::FormStatus);

    gui.DisableForms(2);
    gui.DisableForms(2);
    ASSERT_EQ(status.count(), 2);
    EXPECT_EQ(status.at(1), (QVariantList{QVariant::fromValue<short>(2), QVariant::fromValue<short>(0)}));
    EXPECT_EQ(gui.FormState(2), 2);
    EXPECT_EQ(gui.FormState(7), 2);

    gui.EnableForms(2);
    gui.DisableForms(1);
    gui.DisableForms(4);
    gui.EnableForms(1);
    EXPECT_EQ(status.last(), (QVariantList{QVariant::fromValue<short>(1), QVariant::fromValue<short>(1)}));
    EXPECT_EQ(gui.FormState(4), 4);
    EXPECT_EQ(gui.FormState(1), 0);
    EXPECT_EQ(gui.FormState(5), 4);

    gui.EnableForms(2); // already free: still announced
    EXPECT_EQ(status.count(), 7);
}

TEST(CGuiState, LateBoundByDispatchIdentifier)
{
    std::unique_ptr<QObject> object(platform::createObject(QStringLiteral("KVL410ActiveX.CGuiState")));
    auto* gui = qobject_cast<CGuiState*>(object.get());
    ASSERT_NE(gui, nullptr);
    QSignalSpy axis(gui, &CGuiState::AxisChange);

    platform::invoke(gui, 0x68030002, platform::MemberKind::PropertyPut, {5});
    EXPECT_EQ(gui->CurrentAxis(), 5);
    EXPECT_EQ(axis.count(), 1);

    platform::invoke(gui, 0x60030006, platform::MemberKind::Method, {4});
    EXPECT_EQ(platform::invoke(gui, 0x68030005, platform::MemberKind::PropertyGet, {6}).toInt(), 4);
}
