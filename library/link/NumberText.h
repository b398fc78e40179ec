#pragma once

#include <QString>
#include <QVariant>
#include <QtGlobal>

#include <optional>

// The one home of number texts: what goes into command lines, what is read back from replies,
// and what text boxes show and read.
//
// Command lines always carry the period as decimal point; text boxes show and read numbers in the
// user's locale (QLocale()), never with group separators, the same way in both directions.
class NumberText {
public:
    // Command forms ---------------------------------------------------------------------------

    // Plain decimal: digits and a minus sign, no blank ("3", "-3").
    static QString integerText(qint64 value);
    // Plain decimal of a float: period, no blank, a zero before the point ("0.5", "-1234.5"),
    // 7 significant digits for a 32-bit float and 15 for a 64-bit one, trailing zeros dropped,
    // exponent form ("1E+20", "1.5E-05") outside the range those digits cover. A double so near
    // the largest one that its 15 digits would round beyond it gives the largest 15-digit text
    // below it, so the text never reads back as an infinity.
    static QString singleText(float value);
    static QString doubleText(double value);
    // Blank-signed decimal: a blank before a non-negative value, no zero before the point of a
    // value below 1 (" 2.5", "-2.5", " .5", " 3").
    static QString blankSignedInteger(qint64 value);
    static QString blankSignedSingle(float value);
    static QString blankSignedDouble(double value);
    // Hexadecimal word: "0" and the upper-case digits without leading zeros; negative values in
    // 32-bit two's complement (0 -> "00", 160 -> "0A0", -1 -> "0FFFFFFFF").
    static QString hexWord(qint32 value);

    // Reply parse -----------------------------------------------------------------------------

    // Marks a hexadecimal reply: a text holding an upper-case "H" anywhere gets "&H" in front.
    static void markHex(QString& reply);
    // The leading number of a reply. Blanks, tabs and line feeds are skipped wherever they stand;
    // then "&H" and hexadecimal digits, or a sign, digits, one period and an optional exponent, up
    // to the first character that does not fit. No number gives 0. Hexadecimal: up to FFFF is an
    // unsigned 16-bit word, up to eight significant digits a 32-bit two's complement value.
    static double parseReply(const QString& reply);

    // Checked reply parse: the one way a number from the controller reaches a field ---------

    // What the field a number goes into can hold.
    enum class Target { I16, I32, Single, Double };
    // The value as the target holds it: whole targets take the nearest integer (halves to the
    // even neighbour), a 32-bit float the nearest float. Nothing when the target cannot hold it
    // (out of range, or not finite): such a value is never wrapped into another one.
    static std::optional<double> fit(double value, Target target);
    // The leading number of a reply, read as parseReply reads it, fitted to the target. Nothing
    // when the reply holds no number, holds one the target cannot hold, or has more significant
    // hexadecimal digits than a 32-bit word.
    static std::optional<double> replyNumber(const QString& reply, Target target);
    // Whether a reply holds a leading number at all (as parseReply reads it).
    static bool holdsNumber(const QString& reply);
    // Whether the whole text is a plain decimal: a sign, digits with at most one period, an
    // optional exponent, nothing before or after (no blank, no NUL, no "NaN").
    static bool isPlainDecimal(const QString& text);
    // A status word written as hexadecimal digits followed by an upper-case "H" ("1A3H, 5FH"):
    // the digits that open the text before its first "H" (after any blanks, tabs and line feeds,
    // as the reply parse passes them over), up to the first that is no hexadecimal
    // digit, as an unsigned 32-bit word. Nothing when there is no "H", no digit, or more than
    // eight significant digits.
    static std::optional<quint32> statusWord(const QString& text);

    // Display and text boxes (user's locale) ---------------------------------------------------

    // Fixed decimals in the locale's form: 4 gives the "0.0000" form, 0 the "0" form.
    static QString displayText(double value, int decimals);
    // The shortest text that reads back as the same value, in the locale's form and in plain
    // decimals, never with an exponent (100 gives "100", 1e-7 "0.0000001").
    static QString localeSingle(float value);
    static QString localeDouble(double value);
    // Reads a text in the locale's form; a text that is no number gives 0 and ok false. The sign
    // may stand with or without the direction marks right-to-left locales put before it, as a
    // hyphen or as the locale's own minus, and digits may be ASCII or the locale's.
    static double parseLocale(const QString& text, bool* ok = nullptr);
    // The value of a digit, ASCII or the user's locale's own; -1 for any other character.
    static int localeDigitValue(QChar c);
    // Whether c is a minus sign: the hyphen, or the user's locale's minus without its marks.
    static bool isLocaleMinus(QChar c);
    // The text without the invisible direction marks a right-to-left locale writes.
    static QString withoutDirectionMarks(const QString& text);

    // Conversions with the platform's overflow rule (error 6) ---------------------------------

    // Nearest integer, halves to the even neighbour.
    static short toI16(double value);
    static qint32 toI32(double value);
    static short narrowI16(qint64 value);
    // Late-bound arguments, coerced as the platform coerces them.
    static short argI16(const QVariant& value);
    static qint32 argI32(const QVariant& value);
    static float argSingle(const QVariant& value);
    static double argDouble(const QVariant& value);
};
