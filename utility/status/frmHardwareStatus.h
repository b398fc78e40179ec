#pragma once

#include "utility/shell/Form.h"

#include <QMap>
#include <QPointer>

class DisplayPause;
class QLabel;

// The hardware status window: the limit, amplifier-fault and emergency-stop signals of status
// word 1 and the home and index signals of status word 2 of the controller's "PH" reply, one LED
// per bit, columns by axis. Refreshed on every tenth tick of the link while it can be seen.
class frmHardwareStatus : public Form {
    Q_OBJECT
public:
    // Bits of word 1 that have no LED, and the bits of word 2 that have one.
    static constexpr quint32 Word1Hidden = 0x67C0C0C0u;
    static constexpr quint32 Word2Shown = 0x3F3Fu;

    frmHardwareStatus();

    // The LED of a bit of word 1 or word 2 (null for a bit without one).
    QObject* LEDHL1(int bit) const { return m_leds1.value(bit); }
    QObject* LEDHL2(int bit) const { return m_leds2.value(bit); }
    quint32 statusWord1() const { return m_word1; }
    quint32 statusWord2() const { return m_word2; }

    // Reads the two words of a "PH" reply: hexadecimal digits and "H", a comma and a blank, the
    // second word and "H", then the line end. A reply of any other form (empty, an error text,
    // cut short) is refused and the words stay as they are.
    static bool ParseStatusReply(const QString& Reply, quint32& Word1, quint32& Word2);

protected:
    void Form_Load() override;
    void Form_Unload(int& Cancel) override;

private slots:
    void mobjCommControl_Timer();

private:
    void refresh();
    void ShowStatusWord1();
    void ShowStatusWord2();

    QPointer<QObject> mobjCommControl;
    QMap<int, QObject*> m_leds1;
    QMap<int, QObject*> m_leds2;
    QLabel* m_label14 = nullptr;
    QLabel* m_label16 = nullptr;
    QLabel* m_label17 = nullptr;
    DisplayPause* m_pause = nullptr;
    quint32 m_word1 = 0;
    quint32 m_word2 = 0;
    bool m_ready = false;
    bool m_refreshing = false;
    int m_tickCounter = 0;
};
