#pragma once

#include "library/link/CAxisType.h"
#include "library/link/IMotion.h"
#include "library/link/ReadMarks.h"

#include <QString>
#include <QStringList>
#include <array>
#include <memory>

class CGuiState;

// The per-axis parameter cache behind IMotion and the transfers between it and the controller.
// The communication control derives from it and supplies the link and the GUI state.
//
// Property operations only read and write the cache: Axis 1 to 12, anything else is error 9,
// except AnalogInputMode, DIOPortDirection and DIOPortStatusBits, which keep one value for the
// controller in axis 1's record. A record is made, all zero, the first time its axis is touched.
//
// The cache knows which of its values it may give the controller: a value is known once a
// transfer read it from the controller or the host set it (any IMotion property set). On a live
// link a query that brings no number its field can hold (a status other than 0, no reply, "No
// data" or "No Message", no number, a number out of the field's range) leaves the field as it was
// and unknown, and a writing transfer skips every unknown field: a value never read, whether zero
// or left over, never overwrites the controller's. A value never touched is unknown too. In demo
// mode (no bus) the reading transfers set their fields to 0; those zeros are no controller's
// values and stay unknown, so they are never written once a link is open.
class MotionParameterCache : public IMotion {
public:
    static constexpr int CachedAxes = 12;

    // The record's fields, in the record's order.
#define KVL_CACHE_FIELD_ENUM(order, Name, Type, dispid, Param) Name,
    enum class Field : int { KVL_AXIS_RECORD_PROPERTIES(KVL_CACHE_FIELD_ENUM) Count };
#undef KVL_CACHE_FIELD_ENUM
    static_assert(int(Field::Count) <= ReadMarks::Fields, "every field has a mark");

    // MtrType's result for a motor type that could not be read (no motor is 0).
    static constexpr short MotorTypeNotRead = -1;

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

    // Whether the cache holds a value of Property (an IMotion property name such as "MotorType"
    // or "FeedbackConfig"; "HomeHighSpeed" for the one value only ReadAllMotionParams fills) that
    // the controller gave or the host set for Axis, so a writing transfer sends it. False for an
    // unknown name or an axis outside 1 to 12.
    bool ParameterKnown(short Axis, const QString& Property) const;
    bool isKnown(short Axis, Field field) const;
    // The property names the last transfer left unread (a reading one) or did not send because
    // they were not known (a writing one), in the transfer's order; empty when it moved every
    // value (in demo mode it names every value the transfer covers: none reached a controller).
    // A transfer refused because another runs, and MtrType, leave the list as it was.
    QStringList SkippedParameters() const { return m_skipped; }
    // The property name of a field (as ParameterKnown takes it).
    static QString fieldName(Field field);

    // The link, supplied by the communication control.
    virtual int SendAscii(const QString& Command) = 0;
    virtual int SendReadAscii(const QString& Command, QString& ReturnString) = 0;
    virtual CGuiState* GetGuiStateObject() = 0;
    // No bus (demo mode): nothing reaches a controller, and every query answers empty.
    virtual bool linkIsDemo() const = 0;

private:
    class TransferFrame;
    struct Setting;
    struct Query;

    // The record of an axis by the cache's access rule.
    CAxisType& record(short Axis);
    // The axis whose record and marks hold a property's value.
    static short recordAxisOf(short Axis, bool controllerWide) { return controllerWide ? 1 : Axis; }
    void markSet(short recordAxis, Field field) { m_marks.markEdited(recordAxis, int(field)); }
    // One command of a writing transfer: the value is taken from the record of recordAxis before
    // the command is built; a value not known is skipped (named in SkippedParameters).
    void runSetting(short recordAxis, const QString& axisText, const Setting& step);
    // One query of a reading transfer, stored into the record of recordAxis after the exchange;
    // true when the exchange completed and its number was stored. demo: the transfer began with
    // no bus.
    bool runQuery(short recordAxis, const QString& axisText, const Query& step, bool demo);

    using Records = std::array<std::unique_ptr<CAxisType>, CachedAxes>;
    static void copyAxes(Records& from, const ReadMarks& fromMarks, Records& to, ReadMarks& toMarks, int count);

    Records m_current;
    Records m_saved;
    // What the current records and the snapshot know (read or set), by axis and Field.
    ReadMarks m_marks;
    ReadMarks m_savedMarks;
    QStringList m_skipped;
    bool m_transferring = false;
};
