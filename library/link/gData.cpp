#include "library/link/gData.h"

#include "library/link/NumberText.h"
#include "platform/com/ClassRegistry.h"

#include <QWidget>

namespace {

const bool registered = platform::registerClass(QStringLiteral("KVL410ActiveX.gData"),
                                                [](QWidget* parent) -> QObject* { return new gData(parent); });

using Args = QVariantList;

// The sets take their argument by reference and leave the caller's variable as it was.
platform::DispatchTable buildTable()
{
    platform::DispatchTable t(QStringLiteral("_gData"));
    t.get<gData>(QStringLiteral("PropertyText"), 0x68030002, [](gData& d, Args&) { return QVariant(d.PropertyText()); });
    t.put<gData>(QStringLiteral("PropertyText"), 0x68030002, [](gData& d, Args& a) {
        d.setPropertyText(a.value(0).toString());
        return QVariant();
    });
    t.get<gData>(QStringLiteral("CellType"), 0x68030001, [](gData& d, Args&) { return QVariant::fromValue(d.CellType()); });
    t.put<gData>(QStringLiteral("CellType"), 0x68030001, [](gData& d, Args& a) {
        d.setCellType(NumberText::argI16(a.value(0)));
        return QVariant();
    });
    t.get<gData>(QStringLiteral("cellList"), 0x68030000, [](gData& d, Args&) { return QVariant(d.cellList()); });
    t.put<gData>(QStringLiteral("cellList"), 0x68030000, [](gData& d, Args& a) {
        d.setCellList(a.value(0).toString());
        return QVariant();
    });
    return t;
}

} // namespace

gData::gData(QObject* parent)
    : QObject(parent)
{
    Q_UNUSED(registered);
}

const platform::DispatchTable* gData::dispatchTable(const QString& interfaceName) const
{
    static const platform::DispatchTable table = buildTable();
    if (!interfaceName.isEmpty() && interfaceName != table.interfaceName())
        return nullptr;
    return &table;
}
