#pragma once

#include "platform/com/DispatchTable.h"

#include <QObject>

// What every panel and window must agree on: the one current axis, the controller's limits and
// the mask of panels locked while another panel moves axes (1 cycle, 2 home, 4 jog).
// One instance per KVLComm, handed out by KVLComm::GetGuiStateObject.
class CGuiState : public QObject, public platform::Dispatchable {
    Q_OBJECT
public:
    explicit CGuiState(QObject* parent = nullptr);

    void DisableForms(short FormID);
    short FormState(short FormID) const;
    void EnableForms(short FormID);

    short MaxAxes() const { return m_maxAxes; }
    void setMaxAxes(short value) { m_maxAxes = value; }
    short MaxFeedbackAxes() const { return m_maxFeedbackAxes; }
    void setMaxFeedbackAxes(short value) { m_maxFeedbackAxes = value; }
    short CurrentAxis() const { return m_currentAxis; }
    // Announces a change before returning; an unchanged value announces nothing.
    void setCurrentAxis(short NewAxis);
    short MaxDigitalChannels() const { return m_maxDigitalChannels; }
    void setMaxDigitalChannels(short value) { m_maxDigitalChannels = value; }
    short MaxAnalogChannels() const { return m_maxAnalogChannels; }
    void setMaxAnalogChannels(short value) { m_maxAnalogChannels = value; }

    const platform::DispatchTable* dispatchTable(const QString& interfaceName = QString()) const override;
    QVector<QPair<int, QString>> eventTable() const override;

signals:
    void AxisChange(short NewAxis, short OldAxis);
    // State 0: the panels of FormID are locked; 1: they are free again.
    void FormStatus(short FormID, short State);

private:
    short m_currentAxis = 1;
    short m_maxAxes = 0;
    short m_maxFeedbackAxes = 0;
    short m_formMask = 0;
    short m_maxDigitalChannels = 0;
    short m_maxAnalogChannels = 0;
};
