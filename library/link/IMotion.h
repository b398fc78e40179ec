#pragma once

#include "platform/com/DispatchTable.h"

#include <QObject>
#include <QString>

// The property operations of IMotion in slot order, in the four runs that the methods separate:
// X(order, name, CAxisType property, type, dispatch identifier, name of the set's value, scope).
// order: SetGet (set in the first slot), GetSet (get first), SetOnly, GetOnly.
// scope: PerAxis (one value per axis), Controller (one value for the whole controller, kept in
// axis 1's record whatever axis is given).
#define KVL_IMOTION_PROPERTIES_RUN1(X)                                                        \
    X(SetGet, FollowingErrorConfig, FollowError, int, 0x68030036, FollowError, PerAxis)        \
    X(SetGet, HardLimitConfig, HardLimit, int, 0x68030035, HardLimit, PerAxis)                 \
    X(SetGet, SoftLimitConfig, SoftLimit, int, 0x68030034, SoftLimit, PerAxis)                 \
    X(SetGet, AmpIOConfig, AmpIO, int, 0x68030033, AmpIO, PerAxis)                             \
    X(SetGet, FeedbackConfig, Feedback, int, 0x68030032, Feedback, PerAxis)                    \
    X(SetGet, EStopConfig, Estop, int, 0x68030031, Estop, PerAxis)                             \
    X(SetGet, MotorType, MotorType, int, 0x68030030, MotorType, PerAxis)                       \
    X(SetGet, PosTravelLimit, PosLimit, double, 0x6803002F, PosLimit, PerAxis)                 \
    X(SetGet, NegTravelLimit, NegLimit, double, 0x6803002E, NegLimit, PerAxis)                 \
    X(SetGet, Microstep, Microstep, int, 0x6803002D, Microstep, PerAxis)                       \
    X(SetGet, Stepsize, Stepsize, float, 0x6803002C, Stepsize, PerAxis)

#define KVL_IMOTION_PROPERTIES_RUN2(X)                                                        \
    X(SetGet, DisplacementUnits, DisplacementUnits, short, 0x6803002B, DisplaceUnits, PerAxis) \
    X(SetGet, EncoderResolution, EncoderResolution, float, 0x6803002A, EncoderRes, PerAxis)

#define KVL_IMOTION_PROPERTIES_RUN3(X)                                                                   \
    X(SetGet, SystemConfiguration, SystemConfiguration, int, 0x68030029, ZZ, PerAxis)                     \
    X(SetOnly, DesiredPosition, DesiredPosition, float, 0x68030028, DP, PerAxis)                          \
    X(GetOnly, DesiredPositon, DesiredPosition, float, 0x68030027, , PerAxis)                             \
    X(SetGet, DesiredVelocity, DesiredVelocity, float, 0x68030026, DV, PerAxis)                           \
    X(SetGet, ActualPosition, ActualPosition, float, 0x68030025, TP, PerAxis)                             \
    X(SetGet, ActualVelocity, ActualVelocity, float, 0x68030024, TV, PerAxis)                             \
    X(SetGet, EncoderFullStep, EncoderFullStep, float, 0x68030023, FR, PerAxis)                           \
    X(SetGet, GearConstant, GearConstant, float, 0x68030022, QG, PerAxis)                                 \
    X(SetGet, MaxMotorCurrent, MaxMotorCurrent, float, 0x68030021, QI, PerAxis)                           \
    X(SetGet, ReduceMotorTorque, ReduceMotorTorque, float, 0x68030020, QR, PerAxis)                       \
    X(SetGet, TachGain, TachGain, float, 0x6803001F, QT, PerAxis)                                         \
    X(SetGet, AverageMotorVoltage, AverageMotorVoltage, float, 0x6803001E, QV, PerAxis)                   \
    X(SetGet, EStopDecel, EStopDecel, float, 0x6803001D, AE, PerAxis)                                     \
    X(SetGet, BacklashComp, BacklashComp, float, 0x6803001C, BA, PerAxis)                                 \
    X(SetGet, LinearComp, LinearComp, float, 0x6803001B, CO, PerAxis)                                     \
    X(SetGet, JogHighSpeed, JogHighSpeed, float, 0x6803001A, JH, PerAxis)                                 \
    X(SetGet, JogLowSpeed, JogLowSpeed, float, 0x68030019, JW, PerAxis)                                   \
    X(SetGet, HomeSearchMode, HomeSearchMode, short, 0x68030018, OM, PerAxis)                             \
    X(SetGet, HomePresetPos, HomePresetPos, float, 0x68030017, SH, PerAxis)                               \
    X(SetGet, AnalogInputMode, AnalogInputMode, short, 0x68030016, AM, Controller)                        \
    X(SetGet, DIOPortDirection, DIOPortDirection, short, 0x68030015, BO, Controller)                      \
    X(SetGet, DIOPortStatusBits, DIOPortStatusBits, short, 0x68030014, SB, Controller)                    \
    X(SetGet, ClosedLoopUpdateInterval, ClosedLoopUpdateInterval, short, 0x68030013, CL, PerAxis)         \
    X(SetGet, PositionDeadband, PositionDeadband, short, 0x68030012, DB, PerAxis)                         \
    X(GetSet, TrajectoryMode, TrajectoryMode, short, 0x68030011, TJ, PerAxis)

#define KVL_IMOTION_PROPERTIES_RUN4(X)                                                        \
    X(GetSet, Velocity, Velocity, float, 0x68030010, VA, PerAxis)                              \
    X(GetSet, Acceleration, Acceleration, float, 0x6803000F, AC, PerAxis)                      \
    X(GetSet, Deceleration, Deceleration, float, 0x6803000E, AG, PerAxis)                      \
    X(GetSet, JerkRate, JerkRate, float, 0x6803000D, JK, PerAxis)                              \
    X(GetSet, MoveGroup, MoveGroup, float, 0x6803000C, HC, PerAxis)                            \
    X(GetSet, MaxVelocity, MaxVelocity, float, 0x6803000B, VU, PerAxis)                        \
    X(GetSet, MaxAccelDecel, MaxAccelDecel, float, 0x6803000A, AU, PerAxis)                    \
    X(GetSet, StepMotorVelocity, StepMotorVelocity, float, 0x68030009, VB, PerAxis)            \
    X(GetSet, ProportionalGain, ProportionalGain, float, 0x68030008, KP, PerAxis)              \
    X(GetSet, IntegralGain, IntegralGain, float, 0x68030007, KI, PerAxis)                      \
    X(GetSet, DerivativeGain, DerivativeGain, float, 0x68030006, KD, PerAxis)                  \
    X(GetSet, IntegralLimit, IntegralLimit, float, 0x68030005, KS, PerAxis)                    \
    X(GetSet, VelocityGain, VelocityGain, float, 0x68030004, VF, PerAxis)                      \
    X(GetSet, AccelerationGain, AccelerationGain, float, 0x68030003, AF, PerAxis)              \
    X(GetSet, MaxFollowError, MaxFollowError, float, 0x68030002, FE, PerAxis)                  \
    X(GetSet, DefineHome, DefineHome, float, 0x68030001, DH, PerAxis)                          \
    X(GetSet, DacOffset, DacOffset, float, 0x68030000, pDO, PerAxis)

#define KVL_IMOTION_PROPERTIES(X) \
    KVL_IMOTION_PROPERTIES_RUN1(X) KVL_IMOTION_PROPERTIES_RUN2(X) \
    KVL_IMOTION_PROPERTIES_RUN3(X) KVL_IMOTION_PROPERTIES_RUN4(X)

// Declarations of the property operations of one row, in the row's slot order. V is "= 0" for
// the interface and "override" for an implementation.
#define KVL_IMOTION_DECLARE_GET(Name, Type, V) virtual Type Name(short Axis) V;
#define KVL_IMOTION_DECLARE_SET(Name, Type, Param, V) virtual void set##Name(short Axis, Type Param) V;
#define KVL_IMOTION_DECLARE_SetGet(Name, Type, Param, V) \
    KVL_IMOTION_DECLARE_SET(Name, Type, Param, V) KVL_IMOTION_DECLARE_GET(Name, Type, V)
#define KVL_IMOTION_DECLARE_GetSet(Name, Type, Param, V) \
    KVL_IMOTION_DECLARE_GET(Name, Type, V) KVL_IMOTION_DECLARE_SET(Name, Type, Param, V)
#define KVL_IMOTION_DECLARE_SetOnly(Name, Type, Param, V) KVL_IMOTION_DECLARE_SET(Name, Type, Param, V)
#define KVL_IMOTION_DECLARE_GetOnly(Name, Type, Param, V) KVL_IMOTION_DECLARE_GET(Name, Type, V)
#define KVL_IMOTION_PURE(order, Name, Field, Type, dispid, Param, scope) \
    KVL_IMOTION_DECLARE_##order(Name, Type, Param, = 0)
#define KVL_IMOTION_OVERRIDE(order, Name, Field, Type, dispid, Param, scope) \
    KVL_IMOTION_DECLARE_##order(Name, Type, Param, override)

// The eleven methods, in slot order, with the same V.
#define KVL_IMOTION_DECLARE_METHODS_22(V)        \
    virtual void WriteAllConfig(short Axis) V;  \
    virtual void GetConfigs(short Axis) V;      \
    virtual short MtrType(short Axis) V;
#define KVL_IMOTION_DECLARE_METHODS_29(V)                                \
    virtual void GetUnitsConfigs(const short& Axis) V;                   \
    virtual void SetUnitsConfigs(const short& Axis) V;                   \
    virtual void GetDisplacementEncoderConfigs(const short& Axis) V;     \
    virtual void SetDisplacementEncoderConfigs(const short& Axis) V;     \
    virtual short ReadAllMotionParams(const short& Axis) V;              \
    virtual short UpdateAxorn(short Axis) V;
#define KVL_IMOTION_DECLARE_METHODS_83(V)          \
    virtual void ConvertHexString(QString& ChkStr) V; \
    virtual QString ConvertLongString(int LngNum) V;

// The motion-parameter interface: per-axis parameters (Axis 1 to 12) and the transfers between
// them and the controller. KVLComm implements it on the same object as its own interface.
// Members fail by throwing platform::RuntimeError.
// MtrType asks the controller for an axis's motor type: 0 is no motor, -1 a type that could not
// be read (no answer, no number, none a motor type can be); demo mode gives 0.
class IMotion {
public:
    virtual ~IMotion() = default;

    KVL_IMOTION_PROPERTIES_RUN1(KVL_IMOTION_PURE)
    KVL_IMOTION_DECLARE_METHODS_22(= 0)
    KVL_IMOTION_PROPERTIES_RUN2(KVL_IMOTION_PURE)
    KVL_IMOTION_DECLARE_METHODS_29(= 0)
    KVL_IMOTION_PROPERTIES_RUN3(KVL_IMOTION_PURE)
    KVL_IMOTION_DECLARE_METHODS_83(= 0)
    KVL_IMOTION_PROPERTIES_RUN4(KVL_IMOTION_PURE)

    // The late-bound interface "IMotion" of any QObject that implements IMotion, its 119 members
    // in slot order with their dispatch identifiers.
    static const platform::DispatchTable& motionDispatchTable();
};

// The creatable class of the interface ("KVL410ActiveX.IMotion"). It has no behaviour: sets are
// ignored, gets and methods with a result give zero of their type, the rest do nothing.
class IMotionObject : public QObject, public platform::Dispatchable, public IMotion {
    Q_OBJECT
public:
    explicit IMotionObject(QObject* parent = nullptr);

    KVL_IMOTION_PROPERTIES_RUN1(KVL_IMOTION_OVERRIDE)
    KVL_IMOTION_DECLARE_METHODS_22(override)
    KVL_IMOTION_PROPERTIES_RUN2(KVL_IMOTION_OVERRIDE)
    KVL_IMOTION_DECLARE_METHODS_29(override)
    KVL_IMOTION_PROPERTIES_RUN3(KVL_IMOTION_OVERRIDE)
    KVL_IMOTION_DECLARE_METHODS_83(override)
    KVL_IMOTION_PROPERTIES_RUN4(KVL_IMOTION_OVERRIDE)

    const platform::DispatchTable* dispatchTable(const QString& interfaceName = QString()) const override;
};
