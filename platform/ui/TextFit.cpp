#include "platform/ui/TextFit.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOption>
#include <QTabWidget>

#include <algorithm>
#include <cmath>

namespace platform {

namespace {

constexpr int kSlack = 1;         // pixels beyond the bare need, against rounding
constexpr double kMaxScale = 2.0; // a layout is never widened more than this in one step
constexpr int kMaxDepth = 6;      // frames within frames that may grow for a child

QString shownText(const QString& text)
{
    QString shown;
    for (int i = 0; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('&') && i + 1 < text.size())
            ++i;
        shown += text.at(i);
    }
    return shown;
}

bool layoutHolds(const QLayout* layout, const QWidget* w)
{
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem* item = layout->itemAt(i);
        if (item->widget() == w)
            return true;
        if (item->layout() && layoutHolds(item->layout(), w))
            return true;
    }
    return false;
}

bool placedByLayout(const QWidget* w)
{
    const QWidget* parent = w->parentWidget();
    return parent && parent->layout() && layoutHolds(parent->layout(), w);
}

// Widgets whose children are their own business.
bool isComposite(const QWidget* w)
{
    return qobject_cast<const QComboBox*>(w) || qobject_cast<const QAbstractSpinBox*>(w)
        || qobject_cast<const QAbstractScrollArea*>(w) || qobject_cast<const QLineEdit*>(w)
        || qobject_cast<const QTabWidget*>(w);
}

QList<QWidget*> handPlacedChildren(const QWidget* parent)
{
    QList<QWidget*> kids;
    if (isComposite(parent))
        return kids;
    for (QObject* o : parent->children()) {
        auto* w = qobject_cast<QWidget*>(o);
        if (w && !w->isWindow() && !placedByLayout(w))
            kids << w;
    }
    return kids;
}

QList<QWidget*> handPlacedUnder(QWidget* root)
{
    QList<QWidget*> all;
    QList<QWidget*> pending = handPlacedChildren(root);
    while (!pending.isEmpty()) {
        QWidget* w = pending.takeFirst();
        all << w;
        pending += handPlacedChildren(w);
    }
    return all;
}

// What the control needs, or an invalid size when it shows no text of its own.
QSize need(const QWidget* w)
{
    if (const auto* label = qobject_cast<const QLabel*>(w)) {
        if (label->text().isEmpty() || label->wordWrap() || label->textFormat() == Qt::RichText)
            return {};
        return label->sizeHint();
    }
    if (const auto* button = qobject_cast<const QPushButton*>(w)) {
        if (button->text().isEmpty())
            return {};
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const QRect contents = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
        const QFontMetrics fm(button->font());
        const int text = fm.horizontalAdvance(shownText(button->text()));
        return {button->width() - contents.width() + text, button->height() - contents.height() + fm.height()};
    }
    if (qobject_cast<const QCheckBox*>(w) || qobject_cast<const QRadioButton*>(w)) {
        const auto* button = static_cast<const QAbstractButton*>(w);
        return button->text().isEmpty() ? QSize() : button->sizeHint();
    }
    if (const auto* list = qobject_cast<const QComboBox*>(w))
        return list->sizeHint();
    if (const auto* box = qobject_cast<const QGroupBox*>(w)) {
        if (box->title().isEmpty())
            return {};
        QStyleOptionGroupBox option;
        option.initFrom(box);
        option.text = box->title();
        option.lineWidth = 1;
        option.subControls = QStyle::SC_GroupBoxLabel;
        const QRect label = box->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, box);
        const int text = QFontMetrics(box->font()).horizontalAdvance(shownText(box->title()));
        // The title keeps the same room on its right as on its left.
        return {2 * std::max(0, label.left()) + std::max(text, label.width()) + 1, 0};
    }
    return {};
}

bool growsLeft(const QWidget* w)
{
    const auto* label = qobject_cast<const QLabel*>(w);
    return label && (label->alignment() & Qt::AlignRight);
}

// The room a container gives its children: frames keep their border.
int innerRight(const QWidget* parent)
{
    if (qobject_cast<const QGroupBox*>(parent) || qobject_cast<const QFrame*>(parent))
        return parent->width() - parent->contentsMargins().right();
    return parent->width();
}

int innerBottom(const QWidget* parent)
{
    if (qobject_cast<const QGroupBox*>(parent) || qobject_cast<const QFrame*>(parent))
        return parent->height() - parent->contentsMargins().bottom();
    return parent->height();
}

// Nothing that was clear of the control comes to lie under it.
bool clearOfSiblings(const QWidget* w, const QRect& wanted)
{
    const QWidget* parent = w->parentWidget();
    for (QObject* o : parent->children()) {
        auto* s = qobject_cast<QWidget*>(o);
        if (!s || s == w || s->isWindow())
            continue;
        const QRect g = s->geometry();
        if (g.intersected(wanted) != g.intersected(w->geometry()))
            return false;
    }
    return true;
}

// A root of fixed size keeps a fixed size, the new one.
void resizeRoot(QWidget* root, const QSize& size)
{
    if (root->minimumSize() == root->maximumSize())
        root->setFixedSize(size);
    else
        root->resize(size);
}

bool growWidth(QWidget* w, int width, QWidget* root, bool rootMayGrow, int depth)
{
    if (width <= w->width())
        return true;
    if (w == root) {
        if (!rootMayGrow)
            return false;
        resizeRoot(root, QSize(width, root->height()));
        return true;
    }
    if (depth > kMaxDepth || placedByLayout(w))
        return false;
    QWidget* parent = w->parentWidget();
    QRect wanted = w->geometry();
    if (growsLeft(w) && wanted.right() + 1 - width >= 0)
        wanted.setLeft(wanted.right() + 1 - width);
    else
        wanted.setWidth(width);
    if (!clearOfSiblings(w, wanted))
        return false;
    const int beyond = wanted.right() + 1 - innerRight(parent);
    if (beyond > 0 && !growWidth(parent, parent->width() + beyond, root, rootMayGrow, depth + 1))
        return false;
    w->setGeometry(wanted);
    return true;
}

// As growWidth, downwards: a control that needs more height takes free room below it, growing
// the frames that hold it (and the root) when they have none.
bool growHeight(QWidget* w, int height, QWidget* root, bool rootMayGrow, int depth)
{
    if (height <= w->height())
        return true;
    if (w == root) {
        if (!rootMayGrow)
            return false;
        resizeRoot(root, QSize(root->width(), height));
        return true;
    }
    if (depth > kMaxDepth || placedByLayout(w))
        return false;
    QWidget* parent = w->parentWidget();
    QRect wanted = w->geometry();
    wanted.setHeight(height);
    if (!clearOfSiblings(w, wanted))
        return false;
    const int beyond = wanted.bottom() + 1 - innerBottom(parent);
    if (beyond > 0 && !growHeight(parent, parent->height() + beyond, root, rootMayGrow, depth + 1))
        return false;
    w->setGeometry(wanted);
    return true;
}

// Widens everything under parent by scale: containers and text controls take the scaled width,
// other controls (boxes, lamps, pictures) keep theirs and move with their centre.
void scaleChildren(QWidget* parent, double scale)
{
    for (QWidget* w : handPlacedChildren(parent)) {
        const QRect g = w->geometry();
        const bool stretch = need(w).isValid() || !handPlacedChildren(w).isEmpty();
        if (stretch) {
            const int left = int(std::lround(g.left() * scale));
            const int right = int(std::lround((g.right() + 1) * scale));
            w->setGeometry(left, g.top(), right - left, g.height());
            scaleChildren(w, scale);
        } else {
            const double centre = (g.left() + g.width() / 2.0) * scale;
            w->move(int(std::lround(centre - g.width() / 2.0)), g.top());
        }
    }
}

} // namespace

QSize TextFit::shortfall(const QWidget* control)
{
    const QSize n = need(control);
    if (!n.isValid())
        return QSize(0, 0);
    return QSize(std::max(0, n.width() - control->width()), std::max(0, n.height() - control->height()));
}

bool TextFit::fit(QWidget* root, bool rootMayGrow)
{
    bool changed = false;
    for (int round = 0; round < 4; ++round) {
        double scale = 1.0;
        for (QWidget* w : handPlacedUnder(root)) {
            const QSize n = need(w);
            if (!n.isValid())
                continue;
            if (n.height() > w->height() && growHeight(w, n.height(), root, rootMayGrow, 0))
                changed = true;
            if (n.width() <= w->width())
                continue;
            if (growWidth(w, n.width() + kSlack, root, rootMayGrow, 0)) {
                changed = true;
                continue;
            }
            if (w->width() > 0)
                scale = std::max(scale, double(n.width() + kSlack) / w->width());
        }
        if (scale <= 1.0)
            break;
        scale = std::min(scale, kMaxScale);
        scaleChildren(root, scale);
        // Rounded as the children's right edges are, so a frame that filled the root still does.
        if (rootMayGrow)
            resizeRoot(root, QSize(int(std::lround(root->width() * scale)), root->height()));
        changed = true;
    }
    return changed;
}

} // namespace platform
