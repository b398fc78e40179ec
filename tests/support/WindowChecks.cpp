#include "tests/support/WindowChecks.h"

#include "library/panels/TabOrder.h"
#include "utility/shell/CommandDispatcher.h"
#include "utility/shell/Form.h"
#include "utility/shell/MainMenu.h"
#include "utility/shell/frmMain.h"

#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOption>
#include <QTabWidget>

#include <algorithm>

namespace WindowChecks {

namespace {

// Every key the menus and the toolbar hand to the dispatcher, in menu order.
QStringList menuKeys(frmMain* main)
{
    QStringList keys;
    const MainMenu* menus = main->Menus();
    for (int a = 0; a < MainMenu::ArrayCount; ++a) {
        const auto array = MainMenu::Array(a);
        for (int i = 0; i < MainMenu::keyTableSize(array); ++i) {
            const QString key = menus->key(array, i);
            if (!key.isEmpty())
                keys << key;
        }
    }
    for (const QAction* button : menus->toolbarButtons())
        keys << button->data().toString();
    return keys;
}

QString describe(const QWidget* w)
{
    const QString name = w->objectName().isEmpty() ? QStringLiteral("(unnamed)") : w->objectName();
    return name + QLatin1Char(' ') + QLatin1String(w->metaObject()->className());
}

// The text as shown: "&&" is one ampersand, a single "&" marks the mnemonic and takes no room.
QString shownText(const QString& text)
{
    QString shown;
    for (int i = 0; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('&') && i + 1 < text.size()) {
            ++i;
        }
        shown += text.at(i);
    }
    return shown;
}

int widestLine(const QFontMetrics& fm, const QString& text)
{
    int widest = 0;
    for (const QString& line : text.split(QLatin1Char('\n')))
        widest = std::max(widest, fm.horizontalAdvance(line));
    return widest;
}

// Widgets whose children are their own business (a list's edit line, a scroll area's viewport).
bool isComposite(const QWidget* w)
{
    return qobject_cast<const QComboBox*>(w) || qobject_cast<const QAbstractSpinBox*>(w)
        || qobject_cast<const QAbstractScrollArea*>(w) || qobject_cast<const QLineEdit*>(w);
}

bool shown(const QWidget* w, const QWidget* window)
{
    return !w->isHidden() && w->isVisibleTo(const_cast<QWidget*>(window));
}

// The controls of the window, with those inside composite widgets left out.
QList<QWidget*> controls(QWidget* root)
{
    QList<QWidget*> found;
    QList<QWidget*> pending{root};
    while (!pending.isEmpty()) {
        QWidget* w = pending.takeFirst();
        if (w != root)
            found << w;
        if (isComposite(w))
            continue;
        for (QObject* child : w->children()) {
            auto* cw = qobject_cast<QWidget*>(child);
            if (cw && !cw->isWindow() && shown(cw, root))
                pending << cw;
        }
    }
    return found;
}

QString tooWide(const QString& window, const QWidget* w, const QString& text, int need, int room)
{
    return QStringLiteral("%1: %2 \"%3\" needs %4 px, has %5").arg(window, describe(w), text).arg(need).arg(room);
}

void checkLabel(const QString& window, QLabel* label, QStringList& out)
{
    const QString text = label->buddy() ? shownText(label->text()) : label->text();
    if (text.isEmpty() || label->textFormat() == Qt::RichText || Qt::mightBeRichText(text))
        return;
    const QFontMetrics fm(label->font());
    QRect room = label->contentsRect();
    const int m = label->margin();
    room.adjust(m, m, -m, -m);
    int indent = label->indent();
    if (indent < 0 && label->frameWidth() > 0)
        indent = fm.horizontalAdvance(QLatin1Char('x')) / 2;
    if (indent > 0 && (label->alignment() & (Qt::AlignLeft | Qt::AlignRight)))
        room.setWidth(room.width() - indent);
    if (label->wordWrap()) {
        const QRect needed = fm.boundingRect(QRect(0, 0, room.width(), 100000), Qt::TextWordWrap, text);
        if (needed.height() > room.height())
            out << QStringLiteral("%1: %2 \"%3\" needs %4 px of height, has %5")
                       .arg(window, describe(label), text)
                       .arg(needed.height())
                       .arg(room.height());
        return;
    }
    const int need = widestLine(fm, text);
    if (need > room.width())
        out << tooWide(window, label, text, need, room.width());
    const int lines = int(text.count(QLatin1Char('\n'))) + 1;
    if (fm.height() * lines > room.height() + 1)
        out << QStringLiteral("%1: %2 \"%3\" needs %4 px of height, has %5")
                   .arg(window, describe(label), text)
                   .arg(fm.height() * lines)
                   .arg(room.height());
}

void checkButton(const QString& window, QAbstractButton* button, QStringList& out)
{
    const QString text = shownText(button->text());
    if (text.isEmpty())
        return;
    QStyle::SubElement element;
    if (qobject_cast<QCheckBox*>(button))
        element = QStyle::SE_CheckBoxContents;
    else if (qobject_cast<QRadioButton*>(button))
        element = QStyle::SE_RadioButtonContents;
    else if (qobject_cast<QPushButton*>(button))
        element = QStyle::SE_PushButtonContents;
    else
        return;
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    option.icon = button->icon();
    option.iconSize = button->iconSize();
    const QRect room = button->style()->subElementRect(element, &option, button);
    const QFontMetrics fm(button->font());
    int need = widestLine(fm, text);
    if (!button->icon().isNull())
        need += button->iconSize().width() + 4;
    if (need > room.width())
        out << tooWide(window, button, text, need, room.width());
    if (fm.height() > room.height() + 1)
        out << QStringLiteral("%1: %2 \"%3\" needs %4 px of height, has %5")
                   .arg(window, describe(button), text)
                   .arg(fm.height())
                   .arg(room.height());
}

void checkFrame(const QString& window, QGroupBox* box, QStringList& out)
{
    const QString text = shownText(box->title());
    if (text.isEmpty())
        return;
    QStyleOptionGroupBox option;
    option.initFrom(box);
    option.text = box->title();
    option.lineWidth = 1;
    option.midLineWidth = 0;
    option.textAlignment = Qt::Alignment(box->alignment());
    option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    if (box->isFlat())
        option.features |= QStyleOptionFrame::Flat;
    const QRect label = box->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, box);
    const int need = QFontMetrics(box->font()).horizontalAdvance(text);
    const int room = box->width() - std::max(0, label.left());
    if (label.left() < 0 || label.right() >= box->width() || need > room)
        out << tooWide(window, box, text, need, room);
}

void checkList(const QString& window, QComboBox* list, QStringList& out)
{
    QStyleOptionComboBox option;
    option.initFrom(list);
    option.editable = list->isEditable();
    option.frame = list->hasFrame();
    const QRect field = list->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, list);
    const QFontMetrics fm(list->font());
    // The list's own text box and the label it draws keep a little room on either side.
    const int room = field.width() - 4;
    for (int i = 0; i < list->count(); ++i) {
        const QString item = list->itemText(i);
        const int need = fm.horizontalAdvance(item);
        if (need > room) {
            out << tooWide(window, list, item, need, room);
            break;
        }
    }
    const int wanted = list->minimumSizeHint().height();
    if (list->height() < wanted)
        out << QStringLiteral("%1: %2 is %3 px high, its items want %4").arg(window, describe(list)).arg(list->height()).arg(wanted);
}

} // namespace

QStringList openableWindows(frmMain* main)
{
    QStringList names;
    for (const QString& key : menuKeys(main)) {
        const QString name = CommandDispatcher::windowOfKey(key);
        if (!name.isEmpty() && !names.contains(name))
            names << name;
    }
    for (const QString& name : CommandDispatcher::windowNames()) {
        if (!names.contains(name))
            names << name;
    }
    QStringList available;
    for (const QString& name : names) {
        if (CommandDispatcher::window(name))
            available << name;
    }
    return available;
}

Form* open(frmMain* main, const QString& name)
{
    for (const QString& key : menuKeys(main)) {
        if (CommandDispatcher::windowOfKey(key) == name) {
            main->MenuDispatch(key);
            break;
        }
    }
    // A command may refuse on this link (firmware over USB): the window is looked at all the same.
    Form* form = Form::loadedForm(name);
    if (!form || !form->Visible()) {
        if (Form* byName = CommandDispatcher::window(name))
            byName->Show();
        form = Form::loadedForm(name);
    }
    return form && form->Visible() ? form : nullptr;
}

QStringList textsThatDoNotFit(QWidget* window, const QString& windowName)
{
    QStringList out;
    for (QWidget* w : controls(window)) {
        if (auto* label = qobject_cast<QLabel*>(w))
            checkLabel(windowName, label, out);
        else if (auto* button = qobject_cast<QAbstractButton*>(w))
            checkButton(windowName, button, out);
        else if (auto* list = qobject_cast<QComboBox*>(w))
            checkList(windowName, list, out);
        if (auto* box = qobject_cast<QGroupBox*>(w))
            checkFrame(windowName, box, out);
    }
    return out;
}

QStringList overlappingControls(QWidget* window, const QString& windowName)
{
    QStringList out;
    const QList<QWidget*> all = controls(window);
    QList<QWidget*> containers{window};
    containers += all;
    for (QWidget* parent : containers) {
        if (isComposite(parent))
            continue;
        QList<QWidget*> kids;
        for (QObject* child : parent->children()) {
            auto* cw = qobject_cast<QWidget*>(child);
            if (cw && !cw->isWindow() && shown(cw, window))
                kids << cw;
        }
        for (int i = 0; i < kids.size(); ++i) {
            const QRect a = kids.at(i)->geometry();
            if (!parent->rect().contains(a))
                out << QStringLiteral("%1: %2 reaches outside %3").arg(windowName, describe(kids.at(i)), describe(parent));
            for (int j = i + 1; j < kids.size(); ++j) {
                const QRect b = kids.at(j)->geometry();
                // The twips layouts round to whole pixels: a one-pixel seam is no overlap.
                const QRect common = a.intersected(b);
                if (common.width() > 1 && common.height() > 1 && !a.contains(b) && !b.contains(a))
                    out << QStringLiteral("%1: %2 overlaps %3").arg(windowName, describe(kids.at(i)), describe(kids.at(j)));
            }
        }
    }
    return out;
}

QStringList outsideArea(Form* form, QMdiArea* area)
{
    const QRect place = form->frame()->geometry();
    if (form->MDIChild() && area) {
        const QRect view = area->viewport()->rect();
        if (!view.contains(place))
            return {QStringLiteral("%1: frame at %2,%3 %4x%5 lies outside the area's visible %6x%7")
                        .arg(form->Name())
                        .arg(place.x())
                        .arg(place.y())
                        .arg(place.width())
                        .arg(place.height())
                        .arg(view.width())
                        .arg(view.height())};
    }
    return {};
}

QStringList smallerThan(Form* form, const QSize& size)
{
    const QSize now = form->frame()->size();
    if (now.width() < size.width() || now.height() < size.height())
        return {QStringLiteral("%1: %2x%3 is smaller than its designed %4x%5")
                    .arg(form->Name())
                    .arg(now.width())
                    .arg(now.height())
                    .arg(size.width())
                    .arg(size.height())};
    return {};
}

namespace {

// The controls Tab reaches on the page in front, in the order it reaches them.
QList<QWidget*> tabChain(QWidget* window)
{
    QList<QWidget*> chain;
    for (QWidget* w : TabOrder::controlsInside(window)) {
        if (w->isVisibleTo(window) && w->isEnabled())
            chain << w;
    }
    return chain;
}

bool shareSpan(int a1, int a2, int b1, int b2)
{
    return std::min(a2, b2) > std::max(a1, b1);
}

void checkTabOrder(QWidget* window, const QString& windowName, const QString& page, QStringList& out)
{
    const QList<QWidget*> chain = tabChain(window);
    QList<QRect> places;
    for (QWidget* w : chain)
        places << QRect(w->mapTo(window, QPoint(0, 0)), w->size());
    for (int j = 1; j < chain.size(); ++j) {
        const QRect& later = places.at(j);
        for (int i = 0; i < j; ++i) {
            const QRect& earlier = places.at(i);
            const bool column = shareSpan(earlier.left(), earlier.right(), later.left(), later.right());
            const bool row = shareSpan(earlier.top(), earlier.bottom(), later.top(), later.bottom());
            QString where;
            if (column && later.bottom() < earlier.top())
                where = QStringLiteral("below");
            else if (row && later.right() < earlier.left())
                where = QStringLiteral("right of");
            if (where.isEmpty())
                continue;
            out << QStringLiteral("%1%2: Tab reaches %3 after %4, which stands %5 it")
                       .arg(windowName, page, describe(chain.at(j)), describe(chain.at(i)), where);
            break;
        }
    }
}

} // namespace

QStringList tabOrderAgainstTheEye(QWidget* window, const QString& windowName)
{
    QStringList out;
    checkTabOrder(window, windowName, QString(), out);
    for (QTabWidget* tabs : window->findChildren<QTabWidget*>()) {
        if (!tabs->isVisibleTo(window))
            continue;
        const int current = tabs->currentIndex();
        for (int i = 0; i < tabs->count(); ++i) {
            if (i == current)
                continue;
            tabs->setCurrentIndex(i);
            checkTabOrder(window, windowName, QStringLiteral(" [") + tabs->tabText(i) + QLatin1Char(']'), out);
        }
        tabs->setCurrentIndex(current);
    }
    return out;
}

QStringList allProblems(Form* form, QMdiArea* area)
{
    return textsThatDoNotFit(form, form->Name()) + overlappingControls(form, form->Name()) + outsideArea(form, area);
}

} // namespace WindowChecks
