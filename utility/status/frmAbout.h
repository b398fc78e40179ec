#pragma once

#include "utility/shell/Form.h"

class QLabel;
class QPushButton;

// The about box: the program's version, the PCI driver library's version (on the PCI bus) and the
// controller's firmware version.
class frmAbout : public Form {
    Q_OBJECT
public:
    frmAbout();

    QLabel* lblKvlVersion() const { return m_kvlVersion; }
    QLabel* lblTitle() const { return m_title; }
    QLabel* lblDllTitle() const { return m_dllTitle; }
    QLabel* lblDllVersion() const { return m_dllVersion; }
    QLabel* lblFirmTitle() const { return m_firmTitle; }
    QLabel* lblFirmVersion() const { return m_firmVersion; }
    QPushButton* btnOK() const { return m_btnOK; }

protected:
    void Form_Load() override;

private slots:
    void btnOK_Click();

private:
    void showVersions();

    QLabel* m_kvlVersion = nullptr;
    QLabel* m_title = nullptr;
    QLabel* m_dllTitle = nullptr;
    QLabel* m_dllVersion = nullptr;
    QLabel* m_firmTitle = nullptr;
    QLabel* m_firmVersion = nullptr;
    QPushButton* m_btnOK = nullptr;
};
