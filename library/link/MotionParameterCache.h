#pragma once

#include "library/link/IMotion.h"

#include <QString>
#include <array>
#include <memory>

class CAxisType;
class CGuiState;

// The per-axis parameter cache behind IMotion and the transfers between it and the controller.
// The communication control derives from it and supplies the link and the GUI state.
//
// Property operations only read and write the cache: Axis 1 to 12, anything else is error 9,
// except AnalogInputMode, DIOPortDirection and DIOPortStatusBits, which keep one value for the
// controller in axis 1's record. A record is made, all zero, the first time its axis is touched.
class MotionParameterCache : public IMotion {
public:
    static constexpr int CachedAxes = 12;

    MotionParameterCache();
    ~MotionParameterCache() override;
    MotionParameterCache(const MotionParameterCache&) = delete;
    MotionParameterCache& operator=(const MotionParameterCache&) = delete;

    KVL_IMOTION_PROPERTIES_RUN1(KVL_IMOTION_OVERRIDE)
    KVL_IMOTION_DECLARE_METHODS_22(override)
    KVL_IMOTION_PROPERTIES_RUN2(KVL_IMOTION_OVERRIDE)
    KVL_IMOTION_DECLARE_METHODS_29(override)
    KVL_IMOTION_PROPERTIES_RUN3(KVL_IMOTION_OVERRIDE)
    KVL_IMOTION_DECLARE_METHODS_83(override)
    KVL_IMOTION_PROPERTIES_RUN4(KVL_IMOTION_OVERRIDE)

    // The undo of the parameter editors, over axes 1 to MaxFeedbackAxes of the GUI state: Store
    // takes a snapshot of the cache, Restore gives every value back as it was then (an axis with
    // no snapshot reads all zero). Axes above 12 fail with error 9 after the ones before.
    void StoreCurrentAxisState();
    void RestoreOldAxisState();

    // True while a transfer or the snapshot runs. Transfers let events run between their commands;
    // a transfer, Store or Restore started from such an event is refused (it does nothing, and
    // ReadAllMotionParams gives -2), so nothing replaces the records in the middle of a transfer.
    bool transferRunning() const { return m_transferring; }

    // The cached record of an axis, or nullptr when nothing has touched it yet.
    const CAxisType* cachedRecord(short Axis) const;

    // The link, supplied by the communication control.
    virtual int SendAscii(const QString& Command) = 0;
    virtual int SendReadAscii(const QString& Command, QString& ReturnString) = 0;
    virtual CGuiState* GetGuiStateObject() = 0;

private:
    class TransferFrame;
    struct Setting;
    struct Query;

    // The record of an axis by the cache's access rule.
    CAxisType& record(short Axis);
    // One command of a writing transfer: the value is taken from the record of recordAxis before
    // the command is built.
    void runSetting(short recordAxis, const QString& axisText, const Setting& step);
    // One query of a reading transfer, stored into the record of recordAxis after the exchange;
    // true when the exchange completed and its number was stored.
    bool runQuery(short recordAxis, const QString& axisText, const Query& step);

    using Records = std::array<std::unique_ptr<CAxisType>, CachedAxes>;
    static void copyAxes(Records& from, Records& to, int count);

    Records m_current;
    Records m_saved;
    bool m_transferring = false;
};
