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

// Stores the reply's number into the field. A reply without a number reads 0, as every reply
// does in demo mode; a number the field cannot hold is not stored (the field keeps its value)
// and gives false.
template <class T, void (CAxisType::*Set)(T)>
bool store(CAxisType& r, const QString& reply)
{
    if (const std::optional<double> value = NumberText::replyNumber(reply, targetOf<T>())) {
        (r.*Set)(static_cast<T>(*value));
        return true;
    }
    if (NumberText::holdsNumber(reply))
        return false;
    (r.*Set)(T(0));
    return true;
}

} // namespace

struct MotionParameterCache::Setting {
    const char* mnemonic;
    QString (*valueText)(const CAxisType&);
};

struct MotionParameterCache::Query {
    const char* mnemonic;
    bool hex;
    bool (*store)(CAxisType&, const QString& reply);
};

// The transfers' command tables ---------------------------------------------------------------

#define KVL_HEX_SETTING(mn, Field) { mn, &hexText<&CAxisType::Field> }
#define KVL_INT_SETTING(mn, T, Field) { mn, &integerText<T, &CAxisType::Field> }
#define KVL_DEC_SETTING(mn, T, Field) { mn, &decimalText<T, &CAxisType::Field> }
#define KVL_QUERY(mn, hex, T, Field) { mn, hex, &store<T, &CAxisType::set##Field> }

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
#define KVL_CACHE_SET(Name, Field, Type, scope)                    \
    void MotionParameterCache::set##Name(short Axis, Type value) \
    {                                                              \
        KVL_CACHE_RECORD_##scope(Axis).set##Field(value);          \
    }
#define KVL_CACHE_SetGet(Name, Field, Type, scope) \
    KVL_CACHE_SET(Name, Field, Type, scope) KVL_CACHE_GET(Name, Field, Type, scope)
#define KVL_CACHE_GetSet(Name, Field, Type, scope) KVL_CACHE_SetGet(Name, Field, Type, scope)
#define KVL_CACHE_SetOnly(Name, Field, Type, scope) KVL_CACHE_SET(Name, Field, Type, scope)
#define KVL_CACHE_GetOnly(Name, Field, Type, scope) KVL_CACHE_GET(Name, Field, Type, scope)
#define KVL_CACHE_PROPERTY(order, Name, Field, Type, dispid, Param, scope) \
    KVL_CACHE_##order(Name, Field, Type, scope)
KVL_IMOTION_PROPERTIES(KVL_CACHE_PROPERTY)

// Holds the busy flag for one transfer; refused() when another one is running already.
class MotionParameterCache::TransferFrame {
public:
    explicit TransferFrame(MotionParameterCache& cache) : m_flag(cache.m_transferring), m_refused(m_flag)
    {
        m_flag = true;
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

// Snapshot ------------------------------------------------------------------------------------

void MotionParameterCache::copyAxes(Records& from, Records& to, int count)
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
    }
}

void MotionParameterCache::StoreCurrentAxisState()
{
    TransferFrame busy(*this);
    if (busy.refused())
        return;
    copyAxes(m_current, m_saved, GetGuiStateObject()->MaxFeedbackAxes());
}

void MotionParameterCache::RestoreOldAxisState()
{
    TransferFrame busy(*this);
    if (busy.refused())
        return;
    copyAxes(m_saved, m_current, GetGuiStateObject()->MaxFeedbackAxes());
}

// Transfers -----------------------------------------------------------------------------------

void MotionParameterCache::runSetting(short recordAxis, const QString& axisText, const Setting& step)
{
    const QString value = step.valueText(record(recordAxis));
    NumberText::narrowI16(SendAscii(axisText + QLatin1String(step.mnemonic) + value + carriageReturn));
    platform::Clock::pumpOnce();
}

bool MotionParameterCache::runQuery(short recordAxis, const QString& axisText, const Query& step)
{
    // Every query starts from an empty reply, so a query left unanswered never stores the reply
    // of the query before it.
    QString reply;
    const short status = NumberText::narrowI16(
        SendReadAscii(axisText + QLatin1String(step.mnemonic) + QLatin1Char('?') + carriageReturn, reply));
    platform::Clock::pumpOnce();
    if (step.hex)
        NumberText::markHex(reply);
    const bool stored = step.store(record(recordAxis), reply);
    return status == 0 && stored;
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
    runQuery(1, noAxis, systemWord);
    const QString axisText = NumberText::integerText(Axis);
    for (const Query& step : steps)
        runQuery(Axis, axisText, step);
}

short MotionParameterCache::MtrType(short Axis)
{
    // A probe: nothing is stored and no events run.
    QString reply;
    NumberText::narrowI16(SendReadAscii(NumberText::integerText(Axis) + QLatin1String("QM?") + carriageReturn, reply));
    NumberText::markHex(reply);
    // A motor type no 16-bit code holds reads as no motor.
    return short(NumberText::replyNumber(reply, NumberText::Target::I16).value_or(0));
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
    static const Query steps[] = {KVL_UNITS_QUERIES};
    // The axis is read once, so events that run between the commands cannot mix two axes.
    const short axis = Axis;
    const QString axisText = NumberText::integerText(axis);
    for (const Query& step : steps)
        runQuery(axis, axisText, step);
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
    static const Query steps[] = {KVL_UNITS_QUERIES};
    const short axis = Axis;
    const QString axisText = NumberText::integerText(axis);
    for (int i = 0; i < 2; ++i)
        runQuery(axis, axisText, steps[i]);
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
        if (!runQuery(axis, axisText, step))
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
