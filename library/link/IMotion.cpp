#include "library/link/IMotion.h"

#include "library/link/NumberText.h"
#include "platform/RuntimeError.h"
#include "platform/com/ClassRegistry.h"

#include <QWidget>

namespace {

const bool registered = platform::registerClass(QStringLiteral("KVL410ActiveX.IMotion"),
                                                [](QWidget* parent) -> QObject* { return new IMotionObject(parent); });

// Late-bound values of each property type.
short fromArg(const QVariant& v, short*) { return NumberText::argI16(v); }
int fromArg(const QVariant& v, int*) { return NumberText::argI32(v); }
float fromArg(const QVariant& v, float*) { return NumberText::argSingle(v); }
double fromArg(const QVariant& v, double*) { return NumberText::argDouble(v); }

template <class Type>
Type argument(const QVariantList& args, int index)
{
    return fromArg(args.value(index), static_cast<Type*>(nullptr));
}

short axisArg(const QVariantList& args)
{
    return NumberText::argI16(args.value(0));
}

using Args = QVariantList;

#define KVL_IMOTION_DISPATCH_GET(Name, Type, dispid)                                         \
    t.get<IMotion>(QStringLiteral(#Name), dispid,                                              \
                   [](IMotion& m, Args& a) { return QVariant::fromValue(m.Name(axisArg(a))); });
#define KVL_IMOTION_DISPATCH_PUT(Name, Type, dispid)                         \
    t.put<IMotion>(QStringLiteral(#Name), dispid, [](IMotion& m, Args& a) { \
        m.set##Name(axisArg(a), argument<Type>(a, 1));                        \
        return QVariant();                                                    \
    });
#define KVL_IMOTION_DISPATCH_SetGet(Name, Type, dispid) \
    KVL_IMOTION_DISPATCH_PUT(Name, Type, dispid) KVL_IMOTION_DISPATCH_GET(Name, Type, dispid)
#define KVL_IMOTION_DISPATCH_GetSet(Name, Type, dispid) \
    KVL_IMOTION_DISPATCH_GET(Name, Type, dispid) KVL_IMOTION_DISPATCH_PUT(Name, Type, dispid)
#define KVL_IMOTION_DISPATCH_SetOnly(Name, Type, dispid) KVL_IMOTION_DISPATCH_PUT(Name, Type, dispid)
#define KVL_IMOTION_DISPATCH_GetOnly(Name, Type, dispid) KVL_IMOTION_DISPATCH_GET(Name, Type, dispid)
#define KVL_IMOTION_DISPATCH(order, Name, Field, Type, dispid, Param, scope) \
    KVL_IMOTION_DISPATCH_##order(Name, Type, dispid)

// A transfer whose axis is passed by reference; it never changes the caller's variable.
template <class F>
platform::Invoker byRefAxis(F call)
{
    return [call](QObject* self, Args& a) -> QVariant {
        IMotion* m = dynamic_cast<IMotion*>(self);
        if (!m)
            throw platform::RuntimeError::standard(platform::RuntimeError::NotSupported);
        const short axis = axisArg(a);
        return call(*m, axis);
    };
}

platform::DispatchTable buildTable()
{
    using platform::MemberKind;
    platform::DispatchTable t(QStringLiteral("_IMotion"));
    KVL_IMOTION_PROPERTIES_RUN1(KVL_IMOTION_DISPATCH)
    t.method<IMotion>(QStringLiteral("WriteAllConfig"), 0x60030037, [](IMotion& m, Args& a) {
        m.WriteAllConfig(axisArg(a));
        return QVariant();
    });
    t.method<IMotion>(QStringLiteral("GetConfigs"), 0x60030038, [](IMotion& m, Args& a) {
        m.GetConfigs(axisArg(a));
        return QVariant();
    });
    t.method<IMotion>(QStringLiteral("MtrType"), 0x60030039,
                      [](IMotion& m, Args& a) { return QVariant::fromValue(m.MtrType(axisArg(a))); });
    KVL_IMOTION_PROPERTIES_RUN2(KVL_IMOTION_DISPATCH)
    t.add(QStringLiteral("GetUnitsConfigs"), 0x6003003A, MemberKind::Method,
          byRefAxis([](IMotion& m, const short& axis) {
              m.GetUnitsConfigs(axis);
              return QVariant();
          }));
    t.add(QStringLiteral("SetUnitsConfigs"), 0x6003003B, MemberKind::Method,
          byRefAxis([](IMotion& m, const short& axis) {
              m.SetUnitsConfigs(axis);
              return QVariant();
          }));
    t.add(QStringLiteral("GetDisplacementEncoderConfigs"), 0x6003003C, MemberKind::Method,
          byRefAxis([](IMotion& m, const short& axis) {
              m.GetDisplacementEncoderConfigs(axis);
              return QVariant();
          }));
    t.add(QStringLiteral("SetDisplacementEncoderConfigs"), 0x6003003D, MemberKind::Method,
          byRefAxis([](IMotion& m, const short& axis) {
              m.SetDisplacementEncoderConfigs(axis);
              return QVariant();
          }));
    t.add(QStringLiteral("ReadAllMotionParams"), 0x6003003E, MemberKind::Method,
          byRefAxis([](IMotion& m, const short& axis) { return QVariant::fromValue(m.ReadAllMotionParams(axis)); }));
    t.method<IMotion>(QStringLiteral("UpdateAxorn"), 0x6003003F,
                      [](IMotion& m, Args& a) { return QVariant::fromValue(m.UpdateAxorn(axisArg(a))); });
    KVL_IMOTION_PROPERTIES_RUN3(KVL_IMOTION_DISPATCH)
    t.method<IMotion>(QStringLiteral("ConvertHexString"), 0x60030040, [](IMotion& m, Args& a) {
        QString text = a.value(0).toString();
        m.ConvertHexString(text);
        if (a.isEmpty())
            a.append(text);
        else
            a[0] = text;
        return QVariant();
    });
    t.method<IMotion>(QStringLiteral("ConvertLongString"), 0x60030041, [](IMotion& m, Args& a) {
        return QVariant(m.ConvertLongString(NumberText::argI32(a.value(0))));
    });
    KVL_IMOTION_PROPERTIES_RUN4(KVL_IMOTION_DISPATCH)
    return t;
}

} // namespace

const platform::DispatchTable& IMotion::motionDispatchTable()
{
    static const platform::DispatchTable table = buildTable();
    return table;
}

// The behaviourless class ---------------------------------------------------------------------

IMotionObject::IMotionObject(QObject* parent)
    : QObject(parent)
{
    Q_UNUSED(registered);
}

#define KVL_NULL_GET(Name, Type) \
    Type IMotionObject::Name(short) { return Type(); }
#define KVL_NULL_SET(Name, Type) \
    void IMotionObject::set##Name(short, Type) {}
#define KVL_NULL_SetGet(Name, Type) KVL_NULL_SET(Name, Type) KVL_NULL_GET(Name, Type)
#define KVL_NULL_GetSet(Name, Type) KVL_NULL_GET(Name, Type) KVL_NULL_SET(Name, Type)
#define KVL_NULL_SetOnly(Name, Type) KVL_NULL_SET(Name, Type)
#define KVL_NULL_GetOnly(Name, Type) KVL_NULL_GET(Name, Type)
#define KVL_NULL_PROPERTY(order, Name, Field, Type, dispid, Param, scope) KVL_NULL_##order(Name, Type)
KVL_IMOTION_PROPERTIES(KVL_NULL_PROPERTY)

void IMotionObject::WriteAllConfig(short) {}
void IMotionObject::GetConfigs(short) {}
short IMotionObject::MtrType(short) { return 0; }
void IMotionObject::GetUnitsConfigs(const short&) {}
void IMotionObject::SetUnitsConfigs(const short&) {}
void IMotionObject::GetDisplacementEncoderConfigs(const short&) {}
void IMotionObject::SetDisplacementEncoderConfigs(const short&) {}
short IMotionObject::ReadAllMotionParams(const short&) { return 0; }
short IMotionObject::UpdateAxorn(short) { return 0; }
void IMotionObject::ConvertHexString(QString&) {}
QString IMotionObject::ConvertLongString(int) { return QString(); }

const platform::DispatchTable* IMotionObject::dispatchTable(const QString& interfaceName) const
{
    if (!interfaceName.isEmpty() && interfaceName != QLatin1String("IMotion") && interfaceName != QLatin1String("_IMotion"))
        return nullptr;
    return &motionDispatchTable();
}
