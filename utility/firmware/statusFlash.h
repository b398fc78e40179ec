#pragma once

#include "utility/firmware/FirmwareTransfer.h"
#include "utility/shell/CommLink.h"
#include "utility/shell/Form.h"

#include <QByteArray>
#include <QPointer>
#include <QString>

class QLabel;
class QProgressBar;
class QPushButton;
class WaitAnimation;

// The firmware download window: writes a new firmware (or FPGA) image into the connected
// controller's flash, by the controller's model: as text lines over the command link (KVL400,
// KVL200, KVL-Quill), through the PCI board's flash calls (KVL7100), or as a DSP image followed by
// a raw CPU image (KVL8100).
//
// A download never hangs and never fails silently: every wait for the controller has a limit, the
// image is read and checked before the command that erases the flash, every send is checked, and
// a failure after the erase says that the flash must be written again. While a download runs
// this window does not close, a close of the main window waits until it has ended, and no
// second download starts.
class statusFlash : public Form {
    Q_OBJECT
public:
    // How long the controller may take, on the program clock.
    static constexpr int EraseLimitMs = FirmwareTransfer::EraseLimitMs; // the "Ready" after the download command
    static constexpr int DoneLimitMs = FirmwareTransfer::DoneLimitMs;   // the "Done" after the last line
    static constexpr int CpuReadyLimitMs = 60000;  // the "Ready" of the CPU stage
    // The PCI word loop shows its progress after this many calls.
    static constexpr int PciBlockCalls = 5001;
    // Pieces of the raw CPU image: on GPIB, and on the other buses.
    static constexpr int CpuPieceGpib = 184;
    static constexpr int CpuPieceOther = 8;

    statusFlash();

    // The program-wide window ready to be shown: loaded when it is not, and put through its
    // opening steps again when it is loaded but hidden.
    static statusFlash* Open();
    // Plugs the window into the main window's firmware command.
    static void Install();

    QPushButton* cmdLoadFirmware() const { return m_cmdLoadFirmware; }
    QPushButton* cmdLoadFpga() const { return m_cmdLoadFpga; }
    QLabel* lblUpdate() const { return m_lblUpdate; }
    QLabel* lblFileName() const { return m_lblFileName; }
    QProgressBar* progFlash() const { return m_progFlash; }
    QLabel* Animation1() const;
    bool animationPlaying() const;

    // True while a download runs.
    bool Downloading() const { return m_busy; }

    // True for the header bytes of a firmware image: 02 0D 0A 24.
    static bool IsValidFirmwareHeader(const short header[4]);

protected:
    void Form_Load() override;
    void Form_QueryUnload(int& Cancel, int UnloadMode) override;
    void Form_Unload(int& Cancel) override;

private slots:
    void cmdLoadFirmware_Click();
    void cmdLoadFpga_Click();

private:
    class Run;
    friend class Run;
    // What the window does once a download has ended.
    enum class Ending { Stay, Unload };

    void run(Ending (statusFlash::*download)(), bool firmwareButton);
    void opening();
    void setCaptionsByModel();

    Ending DownloadFirmwareComm();
    Ending DownloadFpga();
    Ending DownloadFirmwarePci();
    Ending DownloadDspCpuFirmware();

    // Steps the downloads share.
    bool refuseUnsuitableLink();
    QString chooseFile(const QString& title, const QString& folder, const QString& filter);
    bool prepareImage(const QString& path, const QString& copyName, bool checkHeader, QByteArray* image,
                      QString* copyPath = nullptr);
    bool carriedByBus(const QByteArray& image, const QString& path);
    void badHeader();
    bool duplicateAddressCancelled();
    bool downloadLines(const QByteArray& image, const QString& command, bool readyAtStart, bool etxRule,
                       const QString& path);
    void refuse(const QString& prompt, int style, const QString& title);
    void reinitialize();
    static bool programClosing();
    bool confirmEnd();
    void flashIncomplete();
    bool resetAnswered();
    void readdress(int priorAddress);
    void showStage(const QString& path, int maximum);
    void playAnimation();
    void stopAnimation();
    void closingSteps();

    QPushButton* m_cmdLoadFirmware = nullptr;
    QPushButton* m_cmdLoadFpga = nullptr;
    QLabel* m_lblUpdate = nullptr;
    QLabel* m_lblFileName = nullptr;
    QProgressBar* m_progFlash = nullptr;
    WaitAnimation* m_animation = nullptr;

    CommLink mobjX;
    bool m_busy = false;
    int m_bus = 0;             // the bus the running download started on
    FirmwareTransfer m_transfer; // the running download's exchanges, and why it stopped
    bool m_finalFirmware = true; // the buttons' states once the running download has ended
    bool m_finalFpga = true;
    bool m_firmwareBefore = true; // and before the click
    bool m_fpgaBefore = true;
};
