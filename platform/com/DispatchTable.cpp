#include "platform/com/DispatchTable.h"

#include "platform/RuntimeError.h"

#include <QObject>

namespace platform {

DispatchTable::DispatchTable(QString interfaceName)
    : m_interface(std::move(interfaceName))
{
}

DispatchTable& DispatchTable::add(const QString& name, int dispid, MemberKind kind, Invoker invoke)
{
    DispatchMember member;
    member.name = name;
    member.dispid = dispid;
    member.kind = kind;
    member.invoke = std::move(invoke);
    m_members.append(std::move(member));
    return *this;
}

const DispatchMember* DispatchTable::find(int dispid, MemberKind kind) const
{
    for (const DispatchMember& m : m_members) {
        if (m.dispid == dispid && m.kind == kind)
            return &m;
    }
    return nullptr;
}

const DispatchMember* DispatchTable::findByName(const QString& name, MemberKind kind) const
{
    for (const DispatchMember& m : m_members) {
        if (m.kind == kind && m.name.compare(name, Qt::CaseInsensitive) == 0)
            return &m;
    }
    return nullptr;
}

int DispatchTable::dispidOf(const QString& name) const
{
    for (const DispatchMember& m : m_members) {
        if (m.name.compare(name, Qt::CaseInsensitive) == 0)
            return m.dispid;
    }
    return -1;
}

void DispatchTable::throwNotSupported()
{
    throw RuntimeError::standard(RuntimeError::NotSupported);
}

namespace {

const DispatchTable& tableOf(QObject* object, const QString& interfaceName)
{
    if (!object)
        throw RuntimeError::standard(RuntimeError::ObjectNotSet);
    const auto* dispatchable = dynamic_cast<const Dispatchable*>(object);
    if (!dispatchable)
        DispatchTable::throwNotSupported();
    const DispatchTable* table = dispatchable->dispatchTable(interfaceName);
    if (!table)
        DispatchTable::throwNotSupported();
    return *table;
}

const DispatchMember* lookUp(const DispatchTable& table, int dispid, MemberKind kind)
{
    const DispatchMember* member = table.find(dispid, kind);
    if (!member && kind == MemberKind::Method)
        member = table.find(dispid, MemberKind::PropertyGet);
    else if (!member && kind == MemberKind::PropertyGet)
        member = table.find(dispid, MemberKind::Method);
    return member;
}

} // namespace

QVariant invoke(QObject* object, int dispid, MemberKind kind, QVariantList& args,
                const QString& interfaceName)
{
    const DispatchTable& table = tableOf(object, interfaceName);
    const DispatchMember* member = lookUp(table, dispid, kind);
    if (!member || !member->invoke)
        DispatchTable::throwNotSupported();
    // The member may be removed with its object while it runs; keep the invoker.
    const Invoker call = member->invoke;
    return call(object, args);
}

QVariant invoke(QObject* object, int dispid, MemberKind kind, QVariantList&& args,
                const QString& interfaceName)
{
    QVariantList local = std::move(args);
    return invoke(object, dispid, kind, local, interfaceName);
}

QVariant invokeByName(QObject* object, const QString& name, MemberKind kind, QVariantList& args,
                      const QString& interfaceName)
{
    const DispatchTable& table = tableOf(object, interfaceName);
    const int dispid = table.dispidOf(name);
    if (dispid == -1)
        DispatchTable::throwNotSupported();
    return invoke(object, dispid, kind, args, interfaceName);
}

} // namespace platform
