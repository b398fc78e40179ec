#pragma once

#include "platform/com/DispatchTable.h"

#include <QObject>
#include <memory>

// The properties of one axis record, one row each in interface order:
// X(order of get and set, name, type, dispatch identifier, name of the set's value).
// Rows with SetGet list the set first in the interface; every other row lists the get first.
#define KVL_AXIS_RECORD_PROPERTIES(X)                                   \
    X(GetSet, FollowError, int, 0x68030036, FolError)                   \
    X(GetSet, HardLimit, int, 0x68030035, HLimit)                       \
    X(GetSet, SoftLimit, int, 0x68030034, SLimit)                       \
    X(GetSet, AmpIO, int, 0x68030033, pAmpIO)                           \
    X(GetSet, Feedback, int, 0x68030032, ZB)                            \
    X(GetSet, Estop, int, 0x68030031, pEstop)                           \
    X(GetSet, MotorType, int, 0x68030030, MType)                        \
    X(GetSet, PosLimit, double, 0x6803002F, PLimit)                     \
    X(GetSet, NegLimit, double, 0x6803002E, NLimit)                     \
    X(GetSet, Microstep, int, 0x6803002D, MStep)                        \
    X(GetSet, Stepsize, float, 0x6803002C, SSize)                       \
    X(GetSet, EncoderResolution, float, 0x6803002B, EncoderRes)         \
    X(GetSet, DisplacementUnits, short, 0x6803002A, DisplaceUnits)      \
    X(GetSet, MaxVelocity, float, 0x68030029, VU)                       \
    X(GetSet, Velocity, float, 0x68030028, VA)                          \
    X(GetSet, DerivativeGain, float, 0x68030027, KD)                    \
    X(GetSet, IntegralGain, float, 0x68030026, KI)                      \
    X(GetSet, ProportionalGain, float, 0x68030025, KP)                  \
    X(GetSet, IntegralLimit, float, 0x68030024, KS)                     \
    X(GetSet, VelocityGain, float, 0x68030023, VF)                      \
    X(GetSet, AccelerationGain, float, 0x68030022, AF)                  \
    X(GetSet, JerkRate, float, 0x68030021, JK)                          \
    X(GetSet, MaxAccelDecel, float, 0x68030020, AU)                     \
    X(GetSet, Acceleration, float, 0x6803001F, AC)                      \
    X(GetSet, Deceleration, float, 0x6803001E, AG)                      \
    X(GetSet, MaxFollowError, float, 0x6803001D, FE)                    \
    X(GetSet, HomeHighSpeed, float, 0x6803001C, OH)                     \
    X(GetSet, TrajectoryMode, short, 0x6803001B, TJ)                    \
    X(GetSet, StepMotorVelocity, float, 0x6803001A, VB)                 \
    X(GetSet, SystemConfiguration, int, 0x68030019, ZZ)                 \
    X(SetGet, DesiredPosition, float, 0x68030018, DP)                   \
    X(SetGet, DesiredVelocity, float, 0x68030017, DV)                   \
    X(SetGet, ActualPosition, float, 0x68030016, TP)                    \
    X(SetGet, ActualVelocity, float, 0x68030015, TV)                    \
    X(SetGet, EncoderFullStep, float, 0x68030014, FR)                   \
    X(SetGet, GearConstant, float, 0x68030013, QG)                      \
    X(SetGet, MaxMotorCurrent, float, 0x68030012, QI)                   \
    X(SetGet, TachGain, float, 0x68030011, QT)                          \
    X(SetGet, AverageMotorVoltage, float, 0x68030010, QV)               \
    X(SetGet, EStopDecel, float, 0x6803000F, AE)                        \
    X(SetGet, BacklashComp, float, 0x6803000E, BA)                      \
    X(SetGet, LinearComp, float, 0x6803000D, CO)                        \
    X(SetGet, JogHighSpeed, float, 0x6803000C, JH)                      \
    X(SetGet, JogLowSpeed, float, 0x6803000B, JW)                       \
    X(SetGet, HomeSearchMode, short, 0x6803000A, OM)                    \
    X(SetGet, AnalogInputMode, short, 0x68030009, AM)                   \
    X(SetGet, DIOPortDirection, short, 0x68030008, BO)                  \
    X(SetGet, DIOPortStatusBits, short, 0x68030007, SB)                 \
    X(SetGet, ClosedLoopUpdateInterval, short, 0x68030006, CL)          \
    X(SetGet, PositionDeadband, short, 0x68030005, DB)                  \
    X(GetSet, ReduceMotorTorque, float, 0x68030004, QR)                 \
    X(GetSet, HomePresetPos, float, 0x68030003, SH)                     \
    X(GetSet, MoveGroup, float, 0x68030002, HC)                         \
    X(GetSet, DefineHome, float, 0x68030001, DH)                        \
    X(GetSet, DacOffset, float, 0x68030000, pDO)

// One axis's parameters as the communication control caches them. A plain value holder: a new
// record reads 0 everywhere, and a set stores its value unchanged.
class CAxisType : public QObject, public platform::Dispatchable {
    Q_OBJECT
public:
    explicit CAxisType(QObject* parent = nullptr);

    // An independent copy of every property except DacOffset, which a copy starts at 0.
    std::unique_ptr<CAxisType> Clone() const;

#define KVL_AXIS_RECORD_ACCESSORS(order, Name, Type, dispid, Param) \
    Type Name() const { return m_##Name; }                            \
    void set##Name(Type Param) { m_##Name = Param; }
    KVL_AXIS_RECORD_PROPERTIES(KVL_AXIS_RECORD_ACCESSORS)
#undef KVL_AXIS_RECORD_ACCESSORS

    const platform::DispatchTable* dispatchTable(const QString& interfaceName = QString()) const override;

private:
#define KVL_AXIS_RECORD_FIELD(order, Name, Type, dispid, Param) Type m_##Name = 0;
    KVL_AXIS_RECORD_PROPERTIES(KVL_AXIS_RECORD_FIELD)
#undef KVL_AXIS_RECORD_FIELD
};
