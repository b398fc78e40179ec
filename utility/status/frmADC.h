#pragma once

#include "utility/shell/Form.h"

#include <QPointer>
#include <array>

class CGuiState;
class DisplayPause;
class QLineEdit;

// The analog inputs: the voltages of channels 1 to 8 ("RA"), read on every tick of the link while
// the window can be seen and the controller has analog channels.
class frmADC : public Form {
    Q_OBJECT
public:
    static constexpr int Channels = 8;

    frmADC();

    QLineEdit* txtVolts(int index) const { return m_volts.at(size_t(index)); }
    bool active() const { return m_active; }

protected:
    void Form_Load() override;
    void Form_Unload(int& Cancel) override;

private slots:
    void mobjX_Timer();

private:
    void readChannels();

    std::array<QLineEdit*, Channels> m_volts{};
    QPointer<QObject> mobjX;
    QPointer<CGuiState> mobjGuiState;
    DisplayPause* m_pause = nullptr;
    bool m_active = false;
};
