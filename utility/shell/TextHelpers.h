#pragma once

#include <QString>

// Text helpers for the controller's replies and the terminal's typed lines.
namespace KvlXGlobal {

// The hexadecimal digits before the first "H"; up to four digits are a 16-bit word, more a 32-bit
// one; no "H" or no digits give 0.
int HexToValue(const QString& text);
// Four binary digits for each leading hexadecimal digit, then "B" ("1F" -> "00011111B").
QString HexToBinary(const QString& text);
// The binary digit of weight 2^bitNo in a text from HexToBinary; 0 outside the text.
short GetBinaryBit(const QString& binText, short bitNo);
// Classifiers of a typed terminal line; the line is converted to upper case in place.
bool TrackProgramMode(QString& cmd, bool current);
bool IsResetCommand(QString& cmd);
bool IsListProgramCommand(QString& cmd);
// The text before the first CR LF, or "0" when there is none.
QString FirstReplyLine(const QString& text);

} // namespace KvlXGlobal
