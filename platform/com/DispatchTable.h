#pragma once

#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QVector>
#include <QPair>
#include <functional>
#include <type_traits>

class QObject;

namespace platform {

// What a dispatch member is: a method, a property get or a property set. A property's get and set
// share one dispatch identifier and are told apart by kind.
enum class MemberKind { Method, PropertyGet, PropertyPut };

// Calls one member on an object. Arguments come in order; an argument passed by reference is
// written back into args by the invoker. The result is empty for members without one.
using Invoker = std::function<QVariant(QObject* self, QVariantList& args)>;

struct DispatchMember {
    QString name;
    int dispid = 0;
    MemberKind kind = MemberKind::Method;
    Invoker invoke;
};

// One public class's interface: its members in slot order, each callable by dispatch identifier.
class DispatchTable {
public:
    DispatchTable() = default;
    explicit DispatchTable(QString interfaceName);

    const QString& interfaceName() const { return m_interface; }

    // Adds the next slot.
    DispatchTable& add(const QString& name, int dispid, MemberKind kind, Invoker invoke);

    // Typed helpers: T is the class the members belong to; f is called as f(T&, QVariantList&) and
    // returns the result (QVariant, anything QVariant holds, or void for no result). An object that
    // is not a T raises 438.
    template <class T, class F>
    DispatchTable& method(const QString& name, int dispid, F f)
    {
        return add(name, dispid, MemberKind::Method, wrap<T>(f));
    }
    template <class T, class F>
    DispatchTable& get(const QString& name, int dispid, F f)
    {
        return add(name, dispid, MemberKind::PropertyGet, wrap<T>(f));
    }
    template <class T, class F>
    DispatchTable& put(const QString& name, int dispid, F f)
    {
        return add(name, dispid, MemberKind::PropertyPut, wrap<T>(f));
    }

    const QVector<DispatchMember>& members() const { return m_members; }
    const DispatchMember* find(int dispid, MemberKind kind) const;
    const DispatchMember* findByName(const QString& name, MemberKind kind) const;
    // The identifier of a name, or -1 (the names-to-identifiers look-up of a late-bound caller).
    // Names compare without regard to case, as the original's late binding does.
    int dispidOf(const QString& name) const;

    // Raises RuntimeError 438 "Object doesn't support this property or method".
    [[noreturn]] static void throwNotSupported();

private:
    template <class T, class F>
    static Invoker wrap(F f)
    {
        return [f](QObject* self, QVariantList& args) -> QVariant {
            T* target = dynamic_cast<T*>(self);
            if (!target)
                throwNotSupported();
            using R = std::invoke_result_t<F&, T&, QVariantList&>;
            if constexpr (std::is_void_v<R>) {
                f(*target, args);
                return QVariant();
            } else if constexpr (std::is_same_v<std::decay_t<R>, QVariant>) {
                return f(*target, args);
            } else {
                return QVariant::fromValue(f(*target, args));
            }
        };
    }

    QString m_interface;
    QVector<DispatchMember> m_members;
};

// An object that can be called late-bound. A class may answer for several interfaces (a control
// and IMotion on one object): interfaceName selects one; empty means the default interface.
class Dispatchable {
public:
    virtual ~Dispatchable() = default;
    virtual const DispatchTable* dispatchTable(const QString& interfaceName = QString()) const = 0;
    // Events, by identifier and name, in the order of the event interface.
    virtual QVector<QPair<int, QString>> eventTable() const { return {}; }
};

// Calls a member by dispatch identifier on an object that implements Dispatchable. Raises
// RuntimeError 438 ("Object doesn't support this property or method") when there is no such member
// (or the object is not Dispatchable), and 91 for a null object. A method call finds a property get
// of the identifier and a property get finds a method, as a late-bound caller's call does; a
// property put finds only a put. Errors the member raises pass through unchanged.
QVariant invoke(QObject* object, int dispid, MemberKind kind, QVariantList& args,
                const QString& interfaceName = QString());
QVariant invoke(QObject* object, int dispid, MemberKind kind, QVariantList&& args = {},
                const QString& interfaceName = QString());
// The same by member name (names-to-identifiers look-up, then the call).
QVariant invokeByName(QObject* object, const QString& name, MemberKind kind, QVariantList& args,
                      const QString& interfaceName = QString());

} // namespace platform
