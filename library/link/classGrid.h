#pragma once

#include "platform/com/DispatchTable.h"

#include <QObject>
#include <QString>

// The description of one property-grid cell, for clients of the library. A plain holder: every
// property stores and returns its value unchanged; nothing ties the fields together.
class classGrid : public QObject, public platform::Dispatchable {
    Q_OBJECT
public:
    explicit classGrid(QObject* parent = nullptr);

    QString propText() const { return m_propText; }
    void setPropText(const QString& strProp) { m_propText = strProp; }
    short CellType() const { return m_cellType; }
    void setCellType(short intCellType) { m_cellType = intCellType; }
    QString cellList() const { return m_cellList; }
    void setCellList(const QString& strList) { m_cellList = strList; }
    short Value() const { return m_value; }
    void setValue(short intVal) { m_value = intVal; }
    QString ItemData() const { return m_itemData; }
    void setItemData(const QString& strItem) { m_itemData = strItem; }
    short SpinMin() const { return m_spinMin; }
    void setSpinMin(short minVal) { m_spinMin = minVal; }
    short SpinMax() const { return m_spinMax; }
    void setSpinMax(short maxVal) { m_spinMax = maxVal; }
    short SpinInc() const { return m_spinInc; }
    void setSpinInc(short incVal) { m_spinInc = incVal; }

    const platform::DispatchTable* dispatchTable(const QString& interfaceName = QString()) const override;

private:
    QString m_propText;
    short m_cellType = 0;
    QString m_cellList;
    short m_value = 0;
    QString m_itemData;
    short m_spinMin = 0;
    short m_spinMax = 0;
    short m_spinInc = 0;
};
