#include "library/panels/LEDHL.h"

#include "library/panels/CircleShape.h"
#include "platform/com/ClassRegistry.h"

#include <QLabel>

namespace {

const bool registered = platform::registerClass(QStringLiteral("KVL410ActiveX.LEDHL"),
                                                [](QWidget* parent) -> QObject* { return new LEDHL(parent); });

constexpr qint32 Red = 255;
constexpr qint32 Black = 0;
constexpr qint32 White = 0xFFFFFF;

platform::DispatchTable buildTable()
{
    platform::DispatchTable t(QStringLiteral("_LEDHL"));
    t.method<LEDHL>(QStringLiteral("SwitchOn"), 0x60030000, [](LEDHL& l, QVariantList&) { l.SwitchOn(); });
    t.method<LEDHL>(QStringLiteral("SwitchOff"), 0x60030001, [](LEDHL& l, QVariantList&) { l.SwitchOff(); });
    return t;
}

} // namespace

LEDHL::LEDHL(QWidget* parent)
    : platform::Control(parent)
{
    Q_UNUSED(registered);
    setObjectName(QStringLiteral("LEDHL"));
    Shape1 = new CircleShape(this);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setFillColor(Red);

    Label1 = new QLabel(QStringLiteral("H"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setAttribute(Qt::WA_TransparentForMouseEvents);
    QFont font = Label1->font();
    font.setPointSizeF(9.75);
    font.setBold(true);
    Label1->setFont(font);
    resize(17, 17);
}

void LEDHL::SwitchOn()
{
    setLook(QStringLiteral("H"), Red);
}

void LEDHL::SwitchOff()
{
    setLook(QStringLiteral("L"), Black);
}

void LEDHL::setLook(const QString& caption, qint32 fill)
{
    Label1->setText(caption);
    QPalette palette = Label1->palette();
    palette.setColor(QPalette::WindowText, CircleShape::toQColor(White));
    Label1->setPalette(palette);
    Shape1->setFillColor(fill);
}

void LEDHL::InitProperties()
{
    layoutLamp();
    SwitchOff();
}

void LEDHL::resizeEvent(QResizeEvent* e)
{
    platform::Control::resizeEvent(e);
    layoutLamp();
}

void LEDHL::layoutLamp()
{
    // The letter is centred on the lamp by its alignment; a label sized to its text would reach
    // outside the lamp with a font whose lines are taller than it.
    Label1->setGeometry(rect());
    Shape1->setGeometry(rect());
}

const platform::DispatchTable* LEDHL::dispatchTable(const QString& interfaceName) const
{
    static const platform::DispatchTable table = buildTable();
    if (!interfaceName.isEmpty() && interfaceName != table.interfaceName())
        return nullptr;
    return &table;
}
