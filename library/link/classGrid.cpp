#include "library/link/classGrid.h"

#include "library/link/NumberText.h"
#include "platform/com/ClassRegistry.h"

#include <QWidget>

namespace {

const bool registered = platform::registerClass(QStringLiteral("KVL410ActiveX.classGrid"),
                                                [](QWidget* parent) -> QObject* { return new classGrid(parent); });

using Args = QVariantList;

#define KVL_GRID_I16(Name, dispid)                                                                     \
    t.put<classGrid>(QStringLiteral(#Name), dispid, [](classGrid& g, Args& a) {                        \
        g.set##Name(NumberText::argI16(a.value(0)));                                                   \
        return QVariant();                                                                             \
    });                                                                                                \
    t.get<classGrid>(QStringLiteral(#Name), dispid, [](classGrid& g, Args&) { return QVariant::fromValue(g.Name()); });

platform::DispatchTable buildTable()
{
    platform::DispatchTable t(QStringLiteral("_classGrid"));
    KVL_GRID_I16(SpinMax, 0x68030007)
    KVL_GRID_I16(SpinMin, 0x68030006)
    KVL_GRID_I16(SpinInc, 0x68030005)
    t.put<classGrid>(QStringLiteral("propText"), 0x68030004, [](classGrid& g, Args& a) {
        g.setPropText(a.value(0).toString());
        return QVariant();
    });
    t.get<classGrid>(QStringLiteral("propText"), 0x68030004, [](classGrid& g, Args&) { return QVariant(g.propText()); });
    KVL_GRID_I16(CellType, 0x68030003)
    t.put<classGrid>(QStringLiteral("cellList"), 0x68030002, [](classGrid& g, Args& a) {
        g.setCellList(a.value(0).toString());
        return QVariant();
    });
    t.get<classGrid>(QStringLiteral("cellList"), 0x68030002, [](classGrid& g, Args&) { return QVariant(g.cellList()); });
    KVL_GRID_I16(Value, 0x68030001)
    t.put<classGrid>(QStringLiteral("ItemData"), 0x68030000, [](classGrid& g, Args& a) {
        g.setItemData(a.value(0).toString());
        return QVariant();
    });
    t.get<classGrid>(QStringLiteral("ItemData"), 0x68030000, [](classGrid& g, Args&) { return QVariant(g.ItemData()); });
    return t;
}

} // namespace

classGrid::classGrid(QObject* parent)
    : QObject(parent)
{
    Q_UNUSED(registered);
}

const platform::DispatchTable* classGrid::dispatchTable(const QString& interfaceName) const
{
    static const platform::DispatchTable table = buildTable();
    if (!interfaceName.isEmpty() && interfaceName != table.interfaceName())
        return nullptr;
    return &table;
}
