#pragma once
// What a call sends, checked before anything reaches the database: codes,
// ages, heights, positional parameters and the delta of a Set call. Every
// refusal is an RpcError whose message is a Portuguese sentence.

#include "server/service.h"
#include "server/tables.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

#include <string>
#include <variant>
#include <vector>

namespace srv {

// A column value: null, number or text, in table-column order in a Row.
using Value = std::variant<std::monostate, double, std::string>;
using Row = std::vector<Value>;

// A value quoted back in a message: cut when long, control characters shown
// as \uXXXX.
QString Shown(const QString& text);
// A number as users write it: decimal comma, up to 12 digits.
QString Num(double v);

[[noreturn]] void Fail(int code, const QString& message);
[[noreturn]] void Refuse(const QString& message);     // RpcError::Refused
[[noreturn]] void BadParams(const QString& message);  // RpcError::InvalidParams

// Positional parameters of one call, checked by count and type.
class Params {
 public:
  Params(const QString& method, const QJsonArray& params) : method_(method), a_(params) {}

  void expect(int count) const {
    if (a_.size() != count)
      BadParams(QStringLiteral("O método %1 espera %2 parâmetro(s), mas recebeu %3.")
                    .arg(method_)
                    .arg(count)
                    .arg(a_.size()));
  }
  void expectBetween(int low, int high) const {
    if (a_.size() < low || a_.size() > high)
      BadParams(QStringLiteral("O método %1 espera de %2 a %3 parâmetros, mas recebeu %4.")
                    .arg(method_)
                    .arg(low)
                    .arg(high)
                    .arg(a_.size()));
  }
  int size() const { return int(a_.size()); }
  const QJsonArray& array() const { return a_; }
  QString text(int i, const QString& what) const {
    const QJsonValue v = a_.at(i);
    if (!v.isString())
      BadParams(QStringLiteral("O parâmetro %1 do método %2 (%3) deve ser um texto.")
                    .arg(i + 1)
                    .arg(method_, what));
    return v.toString();
  }
  double number(int i, const QString& what) const {
    const QJsonValue v = a_.at(i);
    if (!v.isDouble())
      BadParams(QStringLiteral("O parâmetro %1 do método %2 (%3) deve ser um número.")
                    .arg(i + 1)
                    .arg(method_, what));
    return v.toDouble();
  }
  QJsonObject object(int i, const QString& what) const {
    const QJsonValue v = a_.at(i);
    if (!v.isObject())
      BadParams(
          QStringLiteral("O parâmetro %1 do método %2 deve ser %3.").arg(i + 1).arg(method_, what));
    return v.toObject();
  }

 private:
  const QString& method_;
  const QJsonArray& a_;
};

// Refuses control characters in a reference (`reference`) or percentile code,
// naming the first one's position (in characters).
void RefuseControlCharacters(const QString& code, bool reference);
// Refuses, besides control characters, invisible ones (zero-width, bidi,
// special spaces, combining marks) and any non-ASCII character but a plain
// Latin letter ("Ç", "É"): digits and letters of other alphabets, full-width
// and other look-alike forms. For codes about to be stored.
void RefuseOddCharacters(const QString& code, bool reference);
// A reference (2 characters) or percentile (3) code as a caller names an
// existing one: refused when empty, too long or holding control characters.
std::string Code(const QString& code, bool reference);
// A code about to be stored: Code's checks and RefuseOddCharacters.
std::string NewCode(const QString& code, bool reference);
// The id a client gives to the calls of one action (a UUID): 1 to 40
// letters, digits, hyphens or braces.
std::string GroupId(const QString& text);
// A free-text filter (a key, a user name) with no control character.
std::string FilterText(const QString& text, const QString& what);
double Years(double v);   // whole 0..999
double Months(double v);  // whole 0..11
double Height(double v);  // above 0, at most 3 integer digits
// A height as text, "110,5" or "110.5".
double ParseHeight(const QString& text);

struct DeltaChange {
  enum class Op { Insert, Update, Delete } op;
  Row oldRow, newRow;  // table-column order; absent columns stay null
};

struct Delta {
  std::vector<bool> present;  // per table column: carried by the delta
  std::vector<DeltaChange> changes;
};

QString TableText(const TableDef& t);  // what users call the table
// Reads the delta of a Set call: refused (BadParams) when it is malformed or
// belongs to another table, or when a code holds control characters.
Delta ParseDelta(const TableDef& t, const QJsonObject& o);
// Checks the values of a row about to be written (Refuse).
void ValidateNewRow(const TableDef& t, const Row& row);

}  // namespace srv
