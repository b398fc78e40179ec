#include "library/link/MotionParameterCache.h"

#include "library/link/CAxisType.h"
#include "library/link/CGuiState.h"
#include "library/link/NumberText.h"
#include "platform/RuntimeError.h"
#include "platform/kernel/Clock.h"

#include <optional>

namespace {

const QLatin1Char carriageReturn('\r');

[[noreturn]] void subscriptOutOfRange()
{
    throw platform::RuntimeError::standard(platform::RuntimeError::SubscriptOutOfRange);
}

// Value texts of a setting, read from the record.
template <int (CAxisType::*Get)() const>
QString hexText(const CAxisType& r)
{
    return NumberText::hexWord((r.*Get)());
}

template <class T, T (CAxisType::*Get)() const>
QString integerText(const CAxisType& r)
{
    return NumberText::integerText((r.*Get)());
}

// Floating values go out with the period whatever the locale: replies are read with the period
// only, so a value must survive the round trip.
QString decimalText(float value) { return NumberText::singleText(value); }
QString decimalText(double value) { return NumberText::doubleText(value); }

template <class T, T (CAxisType::*Get)() const>
QString decimalText(const CAxisType& r)
{
    return decimalText((r.*Get)());
}

// What a field of each type can hold.
template <class T>
constexpr NumberText::Target targetOf();
template <>
constexpr NumberText::Target targetOf<short>() { return NumberText::Target::I16; }
template <>
constexpr NumberText::Target targetOf<int>() { return NumberText::Target::I32; }
template <>
constexpr NumberText::Target targetOf<float>() { return NumberText::Target::Single; }
template <>
constexpr NumberText::Target targetOf<double>() { return NumberText::Target::Double; }

// Puts a value that the field's type holds (NumberText::fit) into the field.
template <class T, void (CAxisType::*Set)(T)>
void assign(CAxisType& r, double value)
{
    (r.*Set)(static_cast<T>(value));
}

} // namespace

struct MotionParameterCache::Setting {
    const char* mnemonic;
    Field field;
    QString (*valueText)(const CAxisType&);
};

struct MotionParameterCache::Query {
    const char* mnemonic;
    bool hex;
    Field field;
    NumberText::Target target;
    void (*assign)(CAxisType&, double value);
};

// The transfers' command tables ---------------------------------------------------------------

#define KVL_HEX_SETTING(mn, F) { mn, MotionParameterCache::Field::F, &hexText<&CAxisType::F> }
#define KVL_INT_SETTING(mn, T, F) { mn, MotionParameterCache::Field::F, &integerText<T, &CAxisType::F> }
#define KVL_DEC_SETTING(mn, T, F) { mn, MotionParameterCache::Field::F, &decimalText<T, &CAxisType::F> }
#define KVL_QUERY(mn, hex, T, F) \
    { mn, hex, MotionParameterCache::Field::F, targetOf<T>(), &assign<T, &CAxisType::set##F> }

namespace {
constexpr bool Hex = true;
constexpr bool Decimal = false;
} // namespace

MotionParameterCache::MotionParameterCache() = default;
MotionParameterCache::~MotionParameterCache() = default;

// Record access -------------------------------------------------------------------------------

CAxisType& MotionParameterCache::record(short Axis)
{
    // In 32 bits, so -32768 is simply out of range.
    const int index = int(Axis) - 1;
    if (index < 0 || index >= CachedAxes)
        subscriptOutOfRange();
    std::unique_ptr<CAxisType>& slot = m_current[index];
    if (!slot)
        slot = std::make_unique<CAxisType>();
    return *slot;
}

const CAxisType* MotionParameterCache::cachedRecord(short Axis) const
{
    const int index = int(Axis) - 1;
    if (index < 0 || index >= CachedAxes)
        return nullptr;
    return m_current[index].get();
}

// The 108 property operations, from the interface's table.
#define KVL_CACHE_RECORD_PerAxis(Axis) record(Axis)
#define KVL_CACHE_RECORD_Controller(Axis) ((void)(Axis), record(1))
#define KVL_CACHE_GET(Name, Field, Type, scope) \
    Type MotionParameterCache::Name(short Axis) { return KVL_CACHE_RECORD_##scope(Axis).Field(); }
#define KVL_CACHE_CONTROLLER_WIDE_PerAxis false
#define KVL_CACHE_CONTROLLER_WIDE_Controller true
// A value the host sets is its own to give the controller: it counts as known.
#define KVL_CACHE_SET(Name, F, Type, scope)                                            \
    void MotionParameterCache::set##Name(short Axis, Type value)                     \
    {                                                                                  \
        KVL_CACHE_RECORD_##scope(Axis).set##F(value);                                  \
        markSet(recordAxisOf(Axis, KVL_CACHE_CONTROLLER_WIDE_##scope), Field::F);     \
    }
#define KVL_CACHE_SetGet(Name, Field, Type, scope) \
    KVL_CACHE_SET(Name, Field, Type, scope) KVL_CACHE_GET(Name, Field, Type, scope)
#define KVL_CACHE_GetSet(Name, Field, Type, scope) KVL_CACHE_SetGet(Name, Field, Type, scope)
#define KVL_CACHE_SetOnly(Name, Field, Type, scope) KVL_CACHE_SET(Name, Field, Type, scope)
#define KVL_CACHE_GetOnly(Name, Field, Type, scope) KVL_CACHE_GET(Name, Field, Type, scope)
#define KVL_CACHE_PROPERTY(order, Name, Field, Type, dispid, Param, scope) \
    KVL_CACHE_##order(Name, Field, Type, scope)
KVL_IMOTION_PROPERTIES(KVL_CACHE_PROPERTY)

// Holds the busy flag for one transfer; refused() when another one is running already. A transfer
// that runs starts its list of skipped values afresh.
class MotionParameterCache::TransferFrame {
public:
    explicit TransferFrame(MotionParameterCache& cache) : m_flag(cache.m_transferring), m_refused(m_flag)
    {
        m_flag = true;
        if (!m_refused)
            cache.m_skipped.clear();
    }
    ~TransferFrame()
    {
        if (!m_refused)
            m_flag = false;
    }
    TransferFrame(const TransferFrame&) = delete;
    TransferFrame& operator=(const TransferFrame&) = delete;
    bool refused() const { return m_refused; }

private:
    bool& m_flag;
    bool m_refused;
};

// What is known -------------------------------------------------------------------------------

namespace {

// Property names by field: the IMotion property where there is one, the record's own name where
// there is none (HomeHighSpeed). Both names of the desired position are taken.
struct NamedField {
    const char* name;
    MotionParameterCache::Field field;
    bool controllerWide;
};

#define KVL_NAMED_PerAxis false
#define KVL_NAMED_Controller true
#define KVL_NAMED_FIELD(order, Name, F, Type, dispid, Param, scope) \
    {#Name, MotionParameterCache::Field::F, KVL_NAMED_##scope},
const NamedField kNamedFields[] = {
    KVL_IMOTION_PROPERTIES(KVL_NAMED_FIELD)
    {"HomeHighSpeed", MotionParameterCache::Field::HomeHighSpeed, false},
};
#undef KVL_NAMED_FIELD

} // namespace

QString MotionParameterCache::fieldName(Field field)
{
    for (const NamedField& f : kNamedFields) {
        if (f.field == field)
            return QLatin1String(f.name);
    }
    return QString();
}

bool MotionParameterCache::isKnown(short Axis, Field field) const
{
    return m_marks.isKnown(Axis, int(field));
}

bool MotionParameterCache::ParameterKnown(short Axis, const QString& Property) const
{
    for (const NamedField& f : kNamedFields) {
        if (Property == QLatin1String(f.name))
            return Axis >= 1 && Axis <= CachedAxes && isKnown(recordAxisOf(Axis, f.controllerWide), f.field);
    }
    return false;
}

// Snapshot ------------------------------------------------------------------------------------

// The marks travel with the values: an undo gives back what was known with what was held, so a
// value restored from a guess is no more written than before.
void MotionParameterCache::copyAxes(Records& from, const ReadMarks& fromMarks, Records& to, ReadMarks& toMarks,
                                    int count)
{
    for (int axis = 1; axis <= count; ++axis) {
        const int index = axis - 1;
        if (index >= CachedAxes)
            subscriptOutOfRange();
        if (!from[index])
            from[index] = std::make_unique<CAxisType>();
        // A clone leaves the DAC offset out; the undo must give it back as well, or a Cancel would
        // zero a value the user never touched.
        std::unique_ptr<CAxisType> copy = from[index]->Clone();
        copy->setDacOffset(from[index]->DacOffset());
        to[index] = std::move(copy);
        toMarks.copyAxis(fromMarks, axis);
    }
}

void MotionParameterCache::StoreCurrentAxisState()
{
    TransferFrame busy(*this);
    if (busy.refused())
        return;
    copyAxes(m_current, m_marks, m_saved, m_savedMarks, GetGuiStateObject()->MaxFeedbackAxes());
}

void MotionParameterCache::RestoreOldAxisState()
{
    TransferFrame busy(*this);
    if (busy.refused())
        return;
    copyAxes(m_saved, m_savedMarks, m_current, m_marks, GetGuiStateObject()->MaxFeedbackAxes());
}

// Transfers -----------------------------------------------------------------------------------

void MotionParameterCache::runSetting(short recordAxis, const QString& axisText, const Setting& step)
{
    const QString value = step.valueText(record(recordAxis));
    if (!isKnown(recordAxis, step.field)) {
        m_skipped << fieldName(step.field);
        return;
    }
    NumberText::narrowI16(SendAscii(axisText + QLatin1String(step.mnemonic) + value + carriageReturn));
    platform::Clock::pumpOnce();
}

bool MotionParameterCache::runQuery(short recordAxis, const QString& axisText, const Query& step, bool demo)
{
    // Every query starts from an empty reply, so a query left unanswered never stores the reply
    // of the query before it.
    QString reply;
    const short status = NumberText::narrowI16(
        SendReadAscii(axisText + QLatin1String(step.mnemonic) + QLatin1Char('?') + carriageReturn, reply));
    platform::Clock::pumpOnce();
    CAxisType& r = record(recordAxis);
    const int field = int(step.field);
    if (demo) {
        // Demo mode answers every query empty: the field reads 0, a number nobody gave.
        if (step.hex)
            NumberText::markHex(reply);
        bool stored = true;
        if (const std::optional<double> value = NumberText::replyNumber(reply, step.target))
            step.assign(r, *value);
        else if (NumberText::holdsNumber(reply))
            stored = false;
        else
            step.assign(r, 0);
        m_marks.forget(recordAxis, field);
        m_skipped << fieldName(step.field);
        return status == 0 && stored;
    }
    double value = 0;
    if (ReadMarks::replyValue(status, reply, step.hex ? ReadMarks::Reply::MarkedHex : ReadMarks::Reply::Decimal,
                              step.target, value)) {
        step.assign(r, value);
        m_marks.markRead(recordAxis, field);
        return true;
    }
    // No number from the controller: the field keeps what it held, but that is no longer known
    // to be the controller's value.
    m_marks.forget(recordAxis, field);
    m_skipped << fieldName(step.field);
    return false;
}

namespace {

const QString noAxis;

} // namespace

void MotionParameterCache::WriteAllConfig(short Axis)
{
    TransferFrame busy(*this);
    if (busy.refused())
        return;
    static const Setting systemWord = KVL_HEX_SETTING("ZZ", SystemConfiguration);
    static const Setting steps[] = {
        KVL_HEX_SETTING("ZF", FollowError),
        KVL_HEX_SETTING("ZH", HardLimit),
        KVL_HEX_SETTING("ZS", SoftLimit),
        KVL_HEX_SETTING("ZA", AmpIO),
        KVL_HEX_SETTING("ZB", Feedback),
        KVL_HEX_SETTING("ZE", Estop),
        KVL_INT_SETTING("QM", int, MotorType),
        KVL_DEC_SETTING("SR", double, PosLimit),
        KVL_DEC_SETTING("SL", double, NegLimit),
        KVL_INT_SETTING("QS", int, Microstep),
        KVL_DEC_SETTING("FR", float, Stepsize),
    };
    // The controller-wide word carries no axis and lives in axis 1's record.
    runSetting(1, noAxis, systemWord);
    const QString axisText = NumberText::integerText(Axis);
    for (const Setting& step : steps)
        runSetting(Axis, axisText, step);
}

void MotionParameterCache::GetConfigs(short Axis)
{
    TransferFrame busy(*this);
    if (busy.refused())
        return;
    const bool demo = linkIsDemo();
    static const Query systemWord = KVL_QUERY("ZZ", Hex, int, SystemConfiguration);
    static const Query steps[] = {
        KVL_QUERY("ZF", Hex, int, FollowError),
        KVL_QUERY("ZH", Hex, int, HardLimit),
        KVL_QUERY("ZS", Hex, int, SoftLimit),
        KVL_QUERY("ZA", Hex, int, AmpIO),
        KVL_QUERY("ZB", Hex, int, Feedback),
        KVL_QUERY("ZE", Hex, int, Estop),
        KVL_QUERY("QM", Hex, int, MotorType),
        KVL_QUERY("SR", Hex, double, PosLimit),
        KVL_QUERY("SL", Hex, double, NegLimit),
        KVL_QUERY("QS", Hex, int, Microstep),
        KVL_QUERY("FR", Hex, float, Stepsize),
    };
    runQuery(1, noAxis, systemWord, demo);
    const QString axisText = NumberText::integerText(Axis);
    for (const Query& step : steps)
        runQuery(Axis, axisText, step, demo);
}

short MotionParameterCache::MtrType(short Axis)
{
    // A probe: nothing is stored and no events run.
    const bool demo = linkIsDemo();
    QString reply;
    const short status =
        NumberText::narrowI16(SendReadAscii(NumberText::integerText(Axis) + QLatin1String("QM?") + carriageReturn, reply));
    if (demo)
        return 0;
    // No motor type is negative: a negative answer is no more a type than no answer.
    double type = 0;
    if (!ReadMarks::replyValue(status, reply, ReadMarks::Reply::MarkedHex, NumberText::Target::I16, type) || type < 0)
        return MotorTypeNotRead;
    return short(type);
}

// The units group, in the order the controller is asked and set.
#define KVL_UNITS_QUERIES                                            \
    KVL_QUERY("SN", Decimal, short, DisplacementUnits),              \
        KVL_QUERY("SU", Decimal, float, EncoderResolution),          \
        KVL_QUERY("FR", Hex, float, Stepsize),                       \
        KVL_QUERY("QS", Hex, int, Microstep),                        \
        KVL_QUERY("ZB", Hex, int, Feedback)
#define KVL_UNITS_SETTINGS                                           \
    KVL_INT_SETTING("SN", short, DisplacementUnits),                 \
        KVL_DEC_SETTING("SU", float, EncoderResolution),             \
        KVL_DEC_SETTING("FR", float, Stepsize),                      \
        KVL_INT_SETTING("QS", int, Microstep),                       \
        KVL_HEX_SETTING("ZB", Feedback)

void MotionParameterCache::GetUnitsConfigs(const short& Axis)
{
    TransferFrame busy(*this);
    if (busy.refused())
        return;
    const bool demo = linkIsDemo();
    static const Query steps[] = {KVL_UNITS_QUERIES};
    // The axis is read once, so events that run between the commands cannot mix two axes.
    const short axis = Axis;
    const QString axisText = NumberText::integerText(axis);
    for (const Query& step : steps)
        runQuery(axis, axisText, step, demo);
}

void MotionParameterCache::SetUnitsConfigs(const short& Axis)
{
    TransferFrame busy(*this);
    if (busy.refused())
        return;
    static const Setting steps[] = {KVL_UNITS_SETTINGS};
    const short axis = Axis;
    const QString axisText = NumberText::integerText(axis);
    for (const Setting& step : steps)
        runSetting(axis, axisText, step);
}

void MotionParameterCache::GetDisplacementEncoderConfigs(const short& Axis)
{
    TransferFrame busy(*this);
    if (busy.refused())
        return;
    const bool demo = linkIsDemo();
    static const Query steps[] = {KVL_UNITS_QUERIES};
    const short axis = Axis;
    const QString axisText = NumberText::integerText(axis);
    for (int i = 0; i < 2; ++i)
        runQuery(axis, axisText, steps[i], demo);
}

void MotionParameterCache::SetDisplacementEncoderConfigs(const short& Axis)
{
    TransferFrame busy(*this);
    if (busy.refused())
        return;
    static const Setting steps[] = {KVL_UNITS_SETTINGS};
    const short axis = Axis;
    const QString axisText = NumberText::integerText(axis);
    for (int i = 0; i < 2; ++i)
        runSetting(axis, axisText, steps[i]);
}

short MotionParameterCache::ReadAllMotionParams(const short& Axis)
{
    TransferFrame busy(*this);
    if (busy.refused())
        return -2;
    const bool demo = linkIsDemo();
    static const Query steps[] = {
        KVL_QUERY("SN", Decimal, short, DisplacementUnits),
        KVL_QUERY("SU", Decimal, float, EncoderResolution),
        KVL_QUERY("VU", Decimal, float, MaxVelocity),
        KVL_QUERY("VA", Decimal, float, Velocity),
        KVL_QUERY("KD", Decimal, float, DerivativeGain),
        KVL_QUERY("KI", Decimal, float, IntegralGain),
        KVL_QUERY("KP", Decimal, float, ProportionalGain),
        KVL_QUERY("KS", Decimal, float, IntegralLimit),
        KVL_QUERY("VF", Decimal, float, VelocityGain),
        KVL_QUERY("AF", Decimal, float, AccelerationGain),
        KVL_QUERY("JK", Decimal, float, JerkRate),
        KVL_QUERY("AU", Decimal, float, MaxAccelDecel),
        KVL_QUERY("AC", Decimal, float, Acceleration),
        KVL_QUERY("AG", Decimal, float, Deceleration),
        KVL_QUERY("FE", Decimal, float, MaxFollowError),
        KVL_QUERY("OH", Decimal, float, HomeHighSpeed),
        KVL_QUERY("TJ", Decimal, short, TrajectoryMode),
        KVL_QUERY("VB", Decimal, float, StepMotorVelocity),
    };
    const short axis = Axis;
    const QString axisText = NumberText::integerText(axis);
    short result = 0;
    for (const Query& step : steps) {
        // Any exchange that did not complete (no reply, link not open, link failure) or whose
        // number its field cannot hold makes the whole read a failure; the other fields are
        // still read.
        if (!runQuery(axis, axisText, step, demo))
            result = -2;
    }
    return result;
}

short MotionParameterCache::UpdateAxorn(short Axis)
{
    const short status =
        NumberText::narrowI16(SendAscii(NumberText::integerText(Axis) + QLatin1String("QD") + carriageReturn));
    platform::Clock::pumpOnce();
    return status;
}

void MotionParameterCache::ConvertHexString(QString& ChkStr)
{
    NumberText::markHex(ChkStr);
}

QString MotionParameterCache::ConvertLongString(int LngNum)
{
    return NumberText::hexWord(LngNum);
}
