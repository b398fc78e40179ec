#pragma once

#include <QString>

// Routines the panel controls share: the unit-name table and the cleaning of typed numbers.
namespace Global {

// Display names of the controller's displacement-unit codes 0 to 11; slot 12 stays empty.
constexpr int UnitNameSlots = 13;
extern QString gUnitNames[UnitNameSlots];

// Fills gUnitNames; every call fills the same table again.
void InitUnitNames();

// The user's decimal separator, one character.
QString GetDecimalSeparator();

// Keeps digits (ASCII or the locale's), the first decimal separator and a minus sign in the first
// place, written as the locale writes it; an empty text becomes zero with one decimal. Cleans s in
// place and returns it.
QString CleanNumericText(QString& s);

} // namespace Global
