#pragma once

#include "platform/com/DispatchTable.h"

#include <QObject>
#include <QString>

// One property-grid data item, for clients of the library: property text, cell type and list,
// each stored and returned unchanged.
class gData : public QObject, public platform::Dispatchable {
    Q_OBJECT
public:
    explicit gData(QObject* parent = nullptr);

    QString PropertyText() const { return m_propertyText; }
    void setPropertyText(const QString& strProp) { m_propertyText = strProp; }
    short CellType() const { return m_cellType; }
    void setCellType(const short& ct) { m_cellType = ct; }
    QString cellList() const { return m_cellList; }
    void setCellList(const QString& cList) { m_cellList = cList; }

    const platform::DispatchTable* dispatchTable(const QString& interfaceName = QString()) const override;

private:
    QString m_propertyText;
    short m_cellType = 0;
    QString m_cellList;
};
