#include "platform/RuntimeError.h"
#include "platform/com/ClassRegistry.h"
#include "platform/com/Control.h"
#include "platform/com/DispatchTable.h"
#include "platform/com/PropertyBag.h"

#include <QColor>
#include <QObject>
#include <QWidget>

#include <gtest/gtest.h>

using namespace platform;

namespace {

// A small public class: a method with a by-reference argument, a property whose get and put share
// one identifier, a method without a result, a member that raises, and a second interface.
class Counter : public QObject, public Dispatchable {
public:
    int speed = 5;
    int resets = 0;

    const DispatchTable* dispatchTable(const QString& interfaceName) const override
    {
        if (interfaceName.isEmpty())
            return &defaultTable();
        if (interfaceName == QLatin1String("IMotion"))
            return &motionTable();
        return nullptr;
    }

    static const DispatchTable& defaultTable()
    {
        static const DispatchTable table = [] {
            DispatchTable t(QStringLiteral("_Counter"));
            // Doubles its by-reference argument and returns the old value.
            t.method<Counter>(QStringLiteral("Twice"), 1, [](Counter&, QVariantList& args) {
                const int old = args.value(0).toInt();
                args[0] = old * 2;
                return old;
            });
            t.get<Counter>(QStringLiteral("Speed"), 2, [](Counter& c, QVariantList&) { return c.speed; });
            t.put<Counter>(QStringLiteral("Speed"), 2, [](Counter& c, QVariantList& args) {
                c.speed = args.value(0).toInt();
            });
            t.method<Counter>(QStringLiteral("Reset"), 3, [](Counter& c, QVariantList&) { ++c.resets; });
            t.method<Counter>(QStringLiteral("Fail"), 4, [](Counter&, QVariantList&) -> QVariant {
                throw RuntimeError::standard(RuntimeError::Overflow);
            });
            t.get<Counter>(QStringLiteral("Name"), 5,
                           [](Counter&, QVariantList&) { return QStringLiteral("counter"); });
            return t;
        }();
        return table;
    }

    static const DispatchTable& motionTable()
    {
        static const DispatchTable table = [] {
            DispatchTable t(QStringLiteral("IMotion"));
            t.method<Counter>(QStringLiteral("MoveRelative"), 1, [](Counter& c, QVariantList& args) {
                c.speed += args.value(0).toInt();
                return QVariant(-1);
            });
            return t;
        }();
        return table;
    }
};

// Another dispatchable class that (wrongly) answers with Counter's table.
class Impostor : public QObject, public Dispatchable {
public:
    const DispatchTable* dispatchTable(const QString&) const override { return &Counter::defaultTable(); }
};

void expect438(const std::function<void()>& call)
{
    try {
        call();
        ADD_FAILURE() << "no error raised";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.Number, 438);
        EXPECT_EQ(e.Description, QStringLiteral("Object doesn't support this property or method"));
    }
}

} // namespace

TEST(DispatchTable, MembersKeepSlotOrderAndAreFoundByIdentifierKindAndName)
{
    const DispatchTable& t = Counter::defaultTable();
    EXPECT_EQ(t.interfaceName(), QStringLiteral("_Counter"));
    QStringList names;
    for (const DispatchMember& m : t.members())
        names << m.name;
    EXPECT_EQ(names, (QStringList{"Twice", "Speed", "Speed", "Reset", "Fail", "Name"}));

    ASSERT_NE(t.find(2, MemberKind::PropertyGet), nullptr);
    ASSERT_NE(t.find(2, MemberKind::PropertyPut), nullptr);
    EXPECT_NE(t.find(2, MemberKind::PropertyGet), t.find(2, MemberKind::PropertyPut));
    EXPECT_EQ(t.find(2, MemberKind::Method), nullptr);
    EXPECT_EQ(t.find(99, MemberKind::Method), nullptr);
    EXPECT_EQ(t.findByName(QStringLiteral("speed"), MemberKind::PropertyPut), t.find(2, MemberKind::PropertyPut));
    EXPECT_EQ(t.findByName(QStringLiteral("Speed"), MemberKind::Method), nullptr);
    EXPECT_EQ(t.dispidOf(QStringLiteral("TWICE")), 1);
    EXPECT_EQ(t.dispidOf(QStringLiteral("Nothing")), -1);
}

TEST(DispatchTable, InvokeCallsMembersAndWritesBackByReferenceArguments)
{
    Counter c;

    QVariantList args{21};
    EXPECT_EQ(invoke(&c, 1, MemberKind::Method, args).toInt(), 21);
    EXPECT_EQ(args.value(0).toInt(), 42); // written back

    // A property's get and put share identifier 2.
    invoke(&c, 2, MemberKind::PropertyPut, {17});
    EXPECT_EQ(c.speed, 17);
    EXPECT_EQ(invoke(&c, 2, MemberKind::PropertyGet).toInt(), 17);
    // A late-bound call of a property without arguments reads it; a get finds a method too.
    EXPECT_EQ(invoke(&c, 2, MemberKind::Method).toInt(), 17);
    EXPECT_EQ(invoke(&c, 5, MemberKind::PropertyGet).toString(), QStringLiteral("counter"));

    // A member without a result gives an empty result.
    EXPECT_FALSE(invoke(&c, 3, MemberKind::Method).isValid());
    EXPECT_EQ(c.resets, 1);

    // By name, and on the second interface of the same object.
    QVariantList byName{3};
    EXPECT_EQ(invokeByName(&c, QStringLiteral("twice"), MemberKind::Method, byName).toInt(), 3);
    EXPECT_EQ(byName.value(0).toInt(), 6);
    EXPECT_EQ(invoke(&c, 1, MemberKind::Method, {3}, QStringLiteral("IMotion")).toInt(), -1);
    EXPECT_EQ(c.speed, 20);

    // An error the member raises passes through unchanged.
    try {
        invoke(&c, 4, MemberKind::Method);
        ADD_FAILURE() << "no error raised";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.Number, 6);
    }
}

TEST(DispatchTable, MissingMembersRaise438)
{
    Counter c;
    expect438([&] { invoke(&c, 99, MemberKind::Method); });
    expect438([&] { invoke(&c, 1, MemberKind::PropertyPut, {1}); }); // a method cannot be assigned
    expect438([&] { invoke(&c, 5, MemberKind::PropertyPut, {1}); }); // a read-only property
    expect438([&] { invoke(&c, 1, MemberKind::Method, {1}, QStringLiteral("INothing")); });
    QVariantList none;
    expect438([&] { invokeByName(&c, QStringLiteral("Missing"), MemberKind::Method, none); });
    expect438([] { DispatchTable::throwNotSupported(); });

    QObject plain; // not dispatchable
    expect438([&] { invoke(&plain, 1, MemberKind::Method); });
    Impostor impostor; // a table of another class
    expect438([&] { invoke(&impostor, 2, MemberKind::PropertyGet); });

    try {
        invoke(nullptr, 1, MemberKind::Method);
        ADD_FAILURE() << "no error raised";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.Number, 91);
    }
}

namespace {

class TestControl : public Control {
public:
    using Control::Control;
    int value = 0;
    QColor color = Qt::red;

    const DispatchTable* dispatchTable(const QString& interfaceName) const override
    {
        static const DispatchTable table = [] {
            DispatchTable t(QStringLiteral("_TestControl"));
            t.get<TestControl>(QStringLiteral("Value"), 0, [](TestControl& c, QVariantList&) { return c.value; });
            t.put<TestControl>(QStringLiteral("Value"), 0, [](TestControl& c, QVariantList& args) {
                c.value = args.value(0).toInt();
                emit c.PropertyChanged(QStringLiteral("Value"));
            });
            return t;
        }();
        return interfaceName.isEmpty() ? &table : nullptr;
    }
    void InitProperties() override { value = 0; }
    void ReadProperties(const PropertyBag& bag) override
    {
        value = bag.ReadProperty(QStringLiteral("Value"), 0).toInt();
        color = bag.ReadProperty(QStringLiteral("OnColor"), QColor(Qt::red)).value<QColor>();
    }
    void WriteProperties(PropertyBag& bag) const override
    {
        bag.WriteProperty(QStringLiteral("Value"), value, 0);
        bag.WriteProperty(QStringLiteral("OnColor"), color, QColor(Qt::red));
    }
};

const bool g_registered = registerClass(QStringLiteral("KVLTest.TestControl"),
                                        [](QWidget* parent) { return new TestControl(parent); });

} // namespace

TEST(ClassRegistry, CreatesRegisteredClassesByProgramIdentifier)
{
    EXPECT_TRUE(g_registered);
    EXPECT_TRUE(isRegistered(QStringLiteral("KVLTest.TestControl")));
    EXPECT_TRUE(isRegistered(QStringLiteral("kvltest.testcontrol")));
    EXPECT_TRUE(registeredClasses().contains(QStringLiteral("KVLTest.TestControl")));
    EXPECT_FALSE(isRegistered(QStringLiteral("KVLTest.Nothing")));
    EXPECT_EQ(createObject(QStringLiteral("KVLTest.Nothing")), nullptr);

    QWidget host;
    QObject* object = createObject(QStringLiteral("KVLTest.TestControl"), &host);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->parent(), &host);
    auto* control = dynamic_cast<TestControl*>(object);
    ASSERT_NE(control, nullptr);

    // The created control is callable late-bound and tells the host of property changes.
    QStringList changed;
    QObject::connect(control, &Control::PropertyChanged, [&](const QString& name) { changed << name; });
    invoke(object, 0, MemberKind::PropertyPut, {7});
    EXPECT_EQ(invoke(object, 0, MemberKind::PropertyGet).toInt(), 7);
    EXPECT_EQ(changed, QStringList{QStringLiteral("Value")});

    // Re-registering a name replaces its factory.
    registerClass(QStringLiteral("KVLTest.Other"), [](QWidget*) { return new QObject; });
    registerClass(QStringLiteral("KVLTest.Other"), [](QWidget*) { return nullptr; });
    EXPECT_EQ(createObject(QStringLiteral("KVLTest.Other")), nullptr);
}

TEST(PropertyBag, StoresOnlyValuesThatDifferFromTheirDefault)
{
    PropertyBag bag;
    bag.WriteProperty(QStringLiteral("BusType"), 3, 0);
    bag.WriteProperty(QStringLiteral("DeviceID"), 0, 0);
    EXPECT_TRUE(bag.contains(QStringLiteral("BusType")));
    EXPECT_FALSE(bag.contains(QStringLiteral("DeviceID")));
    EXPECT_EQ(bag.ReadProperty(QStringLiteral("BusType"), 0).toInt(), 3);
    EXPECT_EQ(bag.ReadProperty(QStringLiteral("DeviceID"), 4).toInt(), 4);
    EXPECT_FALSE(bag.ReadProperty(QStringLiteral("Missing")).isValid());

    // Writing the default again removes the stored value.
    bag.WriteProperty(QStringLiteral("BusType"), 0, 0);
    EXPECT_FALSE(bag.contains(QStringLiteral("BusType")));
    EXPECT_TRUE(bag.values().isEmpty());

    // A value stored as text (a bag read back from a file) reads as the default's type.
    bag.WriteProperty(QStringLiteral("CommPort"), QStringLiteral("2"), 1);
    const QVariant port = bag.ReadProperty(QStringLiteral("CommPort"), 1);
    EXPECT_EQ(port.metaType(), QMetaType::fromType<int>());
    EXPECT_EQ(port.toInt(), 2);

    // A control's properties round-trip through the bag.
    TestControl saved;
    saved.value = 9;
    saved.color = Qt::green;
    PropertyBag store;
    saved.WriteProperties(store);
    EXPECT_EQ(store.values().size(), 2);
    TestControl loaded;
    loaded.ReadProperties(store);
    EXPECT_EQ(loaded.value, 9);
    EXPECT_EQ(loaded.color, QColor(Qt::green));
    TestControl plain;
    PropertyBag empty;
    plain.WriteProperties(empty);
    EXPECT_TRUE(empty.values().isEmpty());
}

TEST(RuntimeError, CarriesNumberDescriptionAndSource)
{
    const RuntimeError e = RuntimeError::standard(RuntimeError::InvalidPort, QStringLiteral("KVLComm"));
    EXPECT_EQ(e.Number, 8002);
    EXPECT_EQ(e.Description, QStringLiteral("Invalid Port Number"));
    EXPECT_EQ(e.Source, QStringLiteral("KVLComm"));
    EXPECT_TRUE(e.isSet());
    EXPECT_STREQ(e.what(), "Error 8002 Invalid Port Number KVLComm");
    EXPECT_EQ(RuntimeError::standard(438).Description,
              QStringLiteral("Object doesn't support this property or method"));
    EXPECT_EQ(RuntimeError::standardDescription(1001),
              QStringLiteral("Application-defined or object-defined error"));

    RuntimeError copy = e;
    copy.Clear();
    EXPECT_FALSE(copy.isSet());
    EXPECT_TRUE(copy.Description.isEmpty());
    EXPECT_TRUE(copy.Source.isEmpty());
    EXPECT_FALSE(RuntimeError().isSet());
}
