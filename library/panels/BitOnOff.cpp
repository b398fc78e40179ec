#include "library/panels/BitOnOff.h"

#include "library/link/NumberText.h"
#include "library/panels/CircleShape.h"
#include "platform/com/ClassRegistry.h"

#include <QMouseEvent>

namespace {

const bool registered = platform::registerClass(QStringLiteral("KVL410ActiveX.BitOnOff"),
                                                [](QWidget* parent) -> QObject* { return new BitOnOff(parent); });

const QString kEnabled = QStringLiteral("Enabled");
const QString kValue = QStringLiteral("Value");
const QString kOnColor = QStringLiteral("OnColor");
const QString kOffColor = QStringLiteral("OffColor");

platform::DispatchTable buildTable()
{
    using T = BitOnOff;
    using Args = QVariantList;
    platform::DispatchTable t(QStringLiteral("_BitOnOff"));
    // The colour setters take their argument by reference; it comes back unchanged.
    t.put<T>(kOnColor, 0x68030003, [](T& b, Args& a) { b.setOnColor(NumberText::argI32(a.value(0))); });
    t.get<T>(kOnColor, 0x68030003, [](T& b, Args&) { return b.OnColor(); });
    t.get<T>(kEnabled, 0x68030002, [](T& b, Args&) { return b.Enabled(); });
    t.get<T>(kOffColor, 0x68030001, [](T& b, Args&) { return b.OffColor(); });
    t.put<T>(kOffColor, 0x68030001, [](T& b, Args& a) { b.setOffColor(NumberText::argI32(a.value(0))); });
    t.put<T>(kEnabled, 0x68030002, [](T& b, Args& a) { b.setEnabled(a.value(0).toBool()); });
    t.method<T>(QStringLiteral("Refresh"), 0x60030005, [](T& b, Args&) { b.Refresh(); });
    t.get<T>(kValue, 0x68030000, [](T& b, Args&) { return b.Value(); });
    t.put<T>(kValue, 0x68030000, [](T& b, Args& a) { b.setValue(a.value(0).toBool()); });
    return t;
}

} // namespace

BitOnOff::BitOnOff(QWidget* parent)
    : platform::Control(parent)
{
    Q_UNUSED(registered);
    setObjectName(QStringLiteral("BitOnOff"));
    Shape1 = new CircleShape(this);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setFillColor(0);
    resize(33, 25);
}

void BitOnOff::setOnColor(qint32 NewColor)
{
    m_OnColor = NewColor;
    emit PropertyChanged(kOnColor);
}

void BitOnOff::setEnabled(bool New_Enabled)
{
    m_Enabled = New_Enabled;
    emit PropertyChanged(kEnabled);
}

void BitOnOff::setOffColor(qint32 NewColor)
{
    m_OffColor = NewColor;
    if (!m_Value)
        Shape1->setFillColor(m_OffColor);
    emit PropertyChanged(kOffColor);
}

void BitOnOff::Refresh()
{
}

void BitOnOff::setValue(bool New_Value)
{
    m_Value = New_Value;
    Shape1->setFillColor(m_Value ? m_OnColor : m_OffColor);
    emit PropertyChanged(kValue);
}

qint32 BitOnOff::fillColor() const
{
    return Shape1->FillColor();
}

void BitOnOff::UserControl_Click()
{
    if (!m_Enabled)
        return;
    m_Value = !m_Value;
    Shape1->setFillColor(m_Value ? m_OnColor : m_OffColor);
    emit PropertyChanged(kValue);
    emit Click();
}

void BitOnOff::mousePressEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton)
        m_pressed = true;
    platform::Control::mousePressEvent(e);
}

void BitOnOff::mouseReleaseEvent(QMouseEvent* e)
{
    const bool click = m_pressed && e->button() == Qt::LeftButton && rect().contains(e->position().toPoint());
    if (e->button() == Qt::LeftButton)
        m_pressed = false;
    platform::Control::mouseReleaseEvent(e);
    if (click)
        UserControl_Click();
}

void BitOnOff::resizeEvent(QResizeEvent* e)
{
    platform::Control::resizeEvent(e);
    Shape1->setGeometry(rect());
}

void BitOnOff::InitProperties()
{
    // The circle keeps the fill it was created with.
    m_Enabled = false;
    m_Value = false;
    m_OnColor = DefaultOnColor;
    m_OffColor = DefaultOffColor;
}

void BitOnOff::ReadProperties(const platform::PropertyBag& bag)
{
    m_Enabled = bag.ReadProperty(kEnabled, false).toBool();
    m_Value = bag.ReadProperty(kValue, false).toBool();
    m_OnColor = bag.ReadProperty(kOnColor, DefaultOnColor).toInt();
    m_OffColor = bag.ReadProperty(kOffColor, DefaultOffColor).toInt();
    // A loaded bit shows its off colour until its value is next set, whatever value was stored.
    Shape1->setFillColor(m_OffColor);
}

void BitOnOff::WriteProperties(platform::PropertyBag& bag) const
{
    bag.WriteProperty(kEnabled, m_Enabled, false);
    bag.WriteProperty(kValue, m_Value, false);
    bag.WriteProperty(kOnColor, m_OnColor, DefaultOnColor);
    bag.WriteProperty(kOffColor, m_OffColor, DefaultOffColor);
}

const platform::DispatchTable* BitOnOff::dispatchTable(const QString& interfaceName) const
{
    static const platform::DispatchTable table = buildTable();
    if (!interfaceName.isEmpty() && interfaceName != table.interfaceName())
        return nullptr;
    return &table;
}

QVector<QPair<int, QString>> BitOnOff::eventTable() const
{
    // Only Click is ever raised; the others are declared for hosts that bind to them.
    return {{1, QStringLiteral("Click")},     {2, QStringLiteral("InitProperties")},
            {3, QStringLiteral("MouseDown")}, {4, QStringLiteral("MouseMove")},
            {5, QStringLiteral("MouseUp")},   {6, QStringLiteral("OnColor")}};
}
