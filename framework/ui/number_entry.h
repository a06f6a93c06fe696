#pragma once
// What a numeric cell takes while it is typed: digits and one decimal comma
// within a number of integer and decimal digits. The decimal keys of the
// keyboard and of the keypad ("." and ",") both give the comma; a refused
// character is explained (StatusText) instead of vanishing.

#include <QChar>
#include <QLineEdit>
#include <QString>

namespace fw {

// The character a numeric cell makes of a typed one: "." becomes ",".
QChar NumberKey(QChar typed);

// Why `key`, typed into `text` replacing [selStart, selStart + selLength),
// cannot stay in a number of at most `intDigits` integer and `decDigits`
// decimal digits; empty when it can. Control characters always pass.
QString NumberRefusal(const QString& text, int intDigits, int decDigits, QChar key, int selStart,
                      int selLength);

// Why a numeric cell refused `key` when its handler gave no reason.
QString NumberKeyReason(QChar key);

// Makes `edit` take only what a number of at most `intDigits` integer and
// `decDigits` decimal digits can hold, typed or pasted: anything else is
// refused whole, with the reason (RefuseInput), and the text stays as it was
// (a fourth digit pasted is never cut off unseen).
void LimitToNumber(QLineEdit* edit, int intDigits, int decDigits);

}  // namespace fw
