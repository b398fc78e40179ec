#include "library/link/CAxisType.h"

#include "library/link/NumberText.h"
#include "platform/com/ClassRegistry.h"

#include <QWidget>

namespace {

const bool registered = platform::registerClass(QStringLiteral("KVL410ActiveX.CAxisType"),
                                                [](QWidget* parent) -> QObject* { return new CAxisType(parent); });

// Late-bound values of each property type.
short fromArg(const QVariant& v, short*) { return NumberText::argI16(v); }
int fromArg(const QVariant& v, int*) { return NumberText::argI32(v); }
float fromArg(const QVariant& v, float*) { return NumberText::argSingle(v); }
double fromArg(const QVariant& v, double*) { return NumberText::argDouble(v); }

template <class Type>
Type argument(const QVariantList& args)
{
    return fromArg(args.value(0), static_cast<Type*>(nullptr));
}

#define KVL_AXIS_DISPATCH_GET(Name, Type, dispid)                                           \
    t.get<CAxisType>(QStringLiteral(#Name), dispid,                                          \
                     [](CAxisType& r, QVariantList&) { return QVariant::fromValue(r.Name()); });
#define KVL_AXIS_DISPATCH_PUT(Name, Type, dispid)                      \
    t.put<CAxisType>(QStringLiteral(#Name), dispid, [](CAxisType& r, QVariantList& a) { \
        r.set##Name(argument<Type>(a));                                 \
        return QVariant();                                              \
    });
#define KVL_AXIS_DISPATCH_GetSet(Name, Type, dispid) \
    KVL_AXIS_DISPATCH_GET(Name, Type, dispid) KVL_AXIS_DISPATCH_PUT(Name, Type, dispid)
#define KVL_AXIS_DISPATCH_SetGet(Name, Type, dispid) \
    KVL_AXIS_DISPATCH_PUT(Name, Type, dispid) KVL_AXIS_DISPATCH_GET(Name, Type, dispid)
#define KVL_AXIS_DISPATCH(order, Name, Type, dispid, Param) KVL_AXIS_DISPATCH_##order(Name, Type, dispid)

platform::DispatchTable buildTable()
{
    platform::DispatchTable t(QStringLiteral("_CAxisType"));
    // The caller owns the copy it is handed.
    t.method<CAxisType>(QStringLiteral("Clone"), 0x60030037, [](CAxisType& r, QVariantList&) {
        return QVariant::fromValue(static_cast<QObject*>(r.Clone().release()));
    });
    KVL_AXIS_RECORD_PROPERTIES(KVL_AXIS_DISPATCH)
    return t;
}

} // namespace

CAxisType::CAxisType(QObject* parent)
    : QObject(parent)
{
    Q_UNUSED(registered);
}

std::unique_ptr<CAxisType> CAxisType::Clone() const
{
    auto copy = std::make_unique<CAxisType>();
#define KVL_AXIS_RECORD_COPY(order, Name, Type, dispid, Param) copy->set##Name(Name());
    KVL_AXIS_RECORD_PROPERTIES(KVL_AXIS_RECORD_COPY)
#undef KVL_AXIS_RECORD_COPY
    // The DAC offset is not part of a copy: it stays at a new record's 0.
    copy->setDacOffset(0);
    return copy;
}

const platform::DispatchTable* CAxisType::dispatchTable(const QString& interfaceName) const
{
    static const platform::DispatchTable table = buildTable();
    if (!interfaceName.isEmpty() && interfaceName != table.interfaceName())
        return nullptr;
    return &table;
}
