#pragma once

#include "utility/shell/Form.h"

class QLabel;
class QProgressBar;

// The progress window of a command file being sent: the file's path and how much of it has gone.
// While a send runs (setRunning) the user's close box does not close it; the send unloads it.
class frmProgress : public Form {
    Q_OBJECT
public:
    static constexpr int DesignWidth = 6300; // twips
    static constexpr int DesignHeight = 1700;

    frmProgress();

    QProgressBar* ProgressBar1() const { return m_progressBar; }
    QLabel* Label1() const { return m_label; }

    void setRunning(bool running) { m_running = running; }

protected:
    void Form_Load() override;
    void Form_QueryUnload(int& Cancel, int UnloadMode) override;

private:
    QProgressBar* m_progressBar = nullptr;
    QLabel* m_label = nullptr;
    bool m_running = false;
};
