#include "platform/ui/TextFit.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <QWidget>

#include <gtest/gtest.h>

using platform::TextFit;

namespace {

QLabel* label(QWidget* parent, const QString& text, const QRect& place)
{
    auto* l = new QLabel(text, parent);
    l->setGeometry(place);
    return l;
}

bool fits(const QWidget* w)
{
    return TextFit::shortfall(w) == QSize(0, 0);
}

} // namespace

// A text too wide for its place takes free room on its right, and its frame's when the frame has
// room beside it; nothing else moves.
TEST(TextFitTest, TooNarrowControlsGrowIntoFreeRoomAndTheirFramesWithThem)
{
    QWidget root;
    root.resize(400, 200);
    auto* frame = new QGroupBox(QStringLiteral("Speed"), &root);
    frame->setGeometry(10, 10, 100, 80);
    QLabel* units = label(frame, QStringLiteral("counts/sec counts/sec"), QRect(10, 30, 20, 17));
    QPushButton* other = new QPushButton(QStringLiteral("Go"), &root);
    other->setGeometry(10, 120, 80, 26);
    ASSERT_FALSE(fits(units));

    EXPECT_TRUE(TextFit::fit(&root));
    EXPECT_TRUE(fits(units));
    EXPECT_EQ(units->pos(), QPoint(10, 30));
    EXPECT_GT(frame->width(), 100) << "the frame made room for its label";
    EXPECT_EQ(frame->pos(), QPoint(10, 10));
    EXPECT_EQ(other->geometry(), QRect(10, 120, 80, 26));
    EXPECT_EQ(root.size(), QSize(400, 200)) << "there was room enough";
    EXPECT_FALSE(TextFit::fit(&root)) << "a fitted layout stays as it is";
}

// Options side by side with no room between them: the whole row widens evenly, in order, without
// overlapping, and the root (of fixed size) grows with it.
TEST(TextFitTest, BlockedControlsWidenTheWholeLayoutInOrder)
{
    QWidget root;
    root.setFixedSize(120, 40);
    QList<QRadioButton*> options;
    for (int i = 0; i < 3; ++i) {
        auto* option = new QRadioButton(QStringLiteral("Option %1").arg(i + 1), &root);
        option->setGeometry(40 * i, 10, 40, 20);
        options << option;
    }
    EXPECT_TRUE(TextFit::fit(&root));
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(fits(options.at(i))) << i;
        if (i > 0) {
            EXPECT_GE(options.at(i)->x(), options.at(i - 1)->geometry().right() + 1) << i;
        }
        EXPECT_EQ(options.at(i)->y(), 10);
    }
    EXPECT_GE(root.width(), options.last()->geometry().right() + 1);
    EXPECT_EQ(root.minimumSize(), root.maximumSize()) << "still of fixed size";
}

// What a Qt layout places is the layout's business; a page whose size its container decides
// does not grow.
TEST(TextFitTest, LeavesLayoutsAloneAndPagesTheirSize)
{
    QWidget laidOut;
    auto* layout = new QVBoxLayout(&laidOut);
    auto* managed = new QLabel(QStringLiteral("A rather long caption"));
    layout->addWidget(managed);
    managed->setGeometry(0, 0, 10, 10);
    EXPECT_FALSE(TextFit::fit(&laidOut));
    EXPECT_EQ(managed->width(), 10);

    QWidget page;
    page.resize(60, 40);
    QLabel* wide = label(&page, QStringLiteral("A rather long caption"), QRect(0, 0, 50, 17));
    TextFit::fit(&page, false);
    EXPECT_EQ(page.size(), QSize(60, 40));
    EXPECT_EQ(wide->x(), 0);
}

// A frame that fills the root still fills it exactly after the layout widened, whatever the
// scale; a caption that needs more height than its frame has grows the frame and the root
// downwards instead of spilling out.
TEST(TextFitTest, TheRootStaysExactlyItsFramesSizeInBothDirections)
{
    for (int width = 90; width < 140; ++width) {
        QWidget root;
        root.setFixedSize(width, 40);
        auto* frame = new QGroupBox(&root);
        frame->setGeometry(root.rect());
        for (int i = 0; i < 3; ++i)
            new QRadioButton(QStringLiteral("Option number %1").arg(i + 1), frame);
        for (int i = 0; i < 3; ++i)
            frame->findChildren<QRadioButton*>().at(i)->setGeometry(width / 3 * i, 10, width / 3, 20);
        TextFit::fit(&root);
        EXPECT_EQ(frame->geometry(), root.rect()) << width;
    }

    QWidget root;
    root.resize(200, 40);
    auto* frame = new QGroupBox(&root);
    frame->setGeometry(root.rect());
    QLabel* tall = label(frame, QStringLiteral("Tall"), QRect(10, 20, 100, 10));
    QFont big = tall->font();
    big.setPixelSize(30);
    tall->setFont(big);
    ASSERT_FALSE(fits(tall));
    EXPECT_TRUE(TextFit::fit(&root));
    EXPECT_TRUE(fits(tall));
    EXPECT_EQ(tall->pos(), QPoint(10, 20));
    EXPECT_LE(tall->geometry().bottom(), frame->contentsRect().bottom());
    EXPECT_EQ(frame->geometry(), root.rect());
}
