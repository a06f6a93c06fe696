#include "server/call_checks.h"

#include <charconv>
#include <cmath>

namespace srv {

// A value quoted back in a message: cut when long, control characters
// written as \uXXXX so the message shows them (a NUL would end it early).
QString Shown(const QString& text) {
  QString out;
  for (QChar c : text.left(24)) {
    if (c.category() == QChar::Other_Control)
      out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
    else
      out += c;
  }
  return text.size() > 24 ? out + QStringLiteral("…") : out;
}

QString Num(double v) { return QString::number(v, 'g', 12).replace(u'.', u','); }

void Fail(int code, const QString& message) { throw RpcError(code, message); }
void Refuse(const QString& message) { Fail(RpcError::Refused, message); }
void BadParams(const QString& message) { Fail(RpcError::InvalidParams, message); }

namespace {

QString CodeKind(bool reference) {
  return reference ? QStringLiteral("referência") : QStringLiteral("percentil");
}

QString CodePoint(char32_t c) {
  return QStringLiteral("U+") + QString::number(uint(c), 16).toUpper().rightJustified(4, u'0');
}

// Latin letters a reader tells apart from plain ones ("Ç", "É"); the
// phonetic and small-capital forms pass for plain letters.
bool DistinctLatinLetter(char32_t c) {
  if (c > 0x024F || c == 0x0131 || c == 0x0237 || (c >= 0x01C0 && c <= 0x01C3)) return false;
  if (!QChar::isLetter(c) || QChar::script(c) != QChar::Script_Latin) return false;
  // Compatibility forms ("ª", "ſ", ligatures) read as other letters.
  const QString one = QString::fromUcs4(&c, 1);
  return one.normalized(QString::NormalizationForm_KC) == one;
}

// Why `c` cannot stand in a code, empty when it can.
QString OddCharacter(char32_t c, bool lookAlikes) {
  if (QChar::category(c) == QChar::Other_Control) return QStringLiteral("um caractere de controle");
  if (c < 0x80 || !lookAlikes) return {};
  switch (QChar::category(c)) {
    case QChar::Other_Surrogate:
    case QChar::Other_PrivateUse:
    case QChar::Other_NotAssigned:
      return QStringLiteral("um caractere inválido");
    case QChar::Other_Format:
    case QChar::Separator_Space:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
    case QChar::Mark_NonSpacing:
    case QChar::Mark_Enclosing:
    case QChar::Mark_SpacingCombining:
      return QStringLiteral("um caractere invisível ou de formatação");
    default:
      break;
  }
  // The JSON reader stands U+FFFD in for what was no character at all.
  if (c == 0xFFFD) return QStringLiteral("um caractere inválido");
  if (DistinctLatinLetter(c)) return {};
  return QStringLiteral("um caractere que se confunde com letras ou algarismos comuns");
}

void RefuseCharacters(const QString& code, bool reference, bool lookAlikes) {
  const QList<uint> points = code.toUcs4();
  for (qsizetype i = 0; i < points.size(); ++i) {
    const QString why = OddCharacter(char32_t(points[i]), lookAlikes);
    if (!why.isEmpty())
      Refuse(QStringLiteral("Código de %1 inválido: '%2' contém %3 (%4) na posição %5; use apenas "
                            "letras e algarismos.")
                 .arg(CodeKind(reference), Shown(code), why, CodePoint(char32_t(points[i])))
                 .arg(i + 1));
  }
}

std::string SizedCode(const QString& code, bool reference) {
  const int size = reference ? 2 : 3;
  if (code.isEmpty())
    Refuse(reference ? QStringLiteral("Informe o código da referência.")
                     : QStringLiteral("Informe o código do percentil."));
  if (code.toUcs4().size() > size)
    Refuse((reference ? QStringLiteral("Código de referência inválido: '%1' (no máximo 2 "
                                       "caracteres).")
                      : QStringLiteral("Código de percentil inválido: '%1' (no máximo 3 "
                                       "caracteres)."))
               .arg(Shown(code)));
  return code.toStdString();
}

}  // namespace

// PostgreSQL would store a code cut at a NUL; no code holds control characters.
void RefuseControlCharacters(const QString& code, bool reference) {
  RefuseCharacters(code, reference, false);
}

// A code read by eye must not pass for another: invisible characters and
// letters or digits of other alphabets that look like plain ones are refused.
void RefuseOddCharacters(const QString& code, bool reference) {
  RefuseCharacters(code, reference, true);
}

std::string Code(const QString& code, bool reference) {
  RefuseControlCharacters(code, reference);
  return SizedCode(code, reference);
}

std::string NewCode(const QString& code, bool reference) {
  RefuseOddCharacters(code, reference);
  return SizedCode(code, reference);
}

std::string GroupId(const QString& text) {
  bool ok = !text.isEmpty() && text.size() <= 40;
  for (QChar c : text)
    ok = ok && c.unicode() < 0x80 && (c.isLetterOrNumber() || c == u'-' || c == u'{' || c == u'}');
  if (!ok)
    BadParams(QStringLiteral("Grupo de exclusão inválido: '%1'; use de 1 a 40 letras, algarismos "
                             "ou hífens.")
                  .arg(Shown(text)));
  return text.toStdString();
}

// PostgreSQL refuses a NUL in a text where SQLite would just find nothing:
// both engines get the same refusal before the query.
std::string FilterText(const QString& text, const QString& what) {
  const QList<uint> points = text.toUcs4();
  for (qsizetype i = 0; i < points.size(); ++i)
    if (QChar::category(char32_t(points[i])) == QChar::Other_Control)
      BadParams(QStringLiteral("O filtro %1 contém um caractere de controle (%2) na posição %3; "
                               "nada foi consultado.")
                    .arg(what, CodePoint(char32_t(points[i])))
                    .arg(i + 1));
  return text.toStdString();
}

double Years(double v) {
  if (!(v >= 0 && v < kValueLimit) || v != std::floor(v))
    Refuse(QStringLiteral("O ano deve ser um número inteiro entre 0 e 999 (recebido: %1).")
               .arg(Num(v)));
  return v;
}

double Months(double v) {
  if (!(v >= 0 && v <= 11) || v != std::floor(v))
    Refuse(QStringLiteral("O mês deve ser um número inteiro entre 0 e 11 (recebido: %1).")
               .arg(Num(v)));
  return v;
}

double Height(double v) {
  if (!(v > 0 && v < kValueLimit))
    Refuse(QStringLiteral("A altura deve ser maior que zero e ter no máximo 3 dígitos inteiros "
                          "(recebido: %1).")
               .arg(Num(v)));
  return v;
}

// Heights come as text in the host's format ("110,5"); a point is accepted
// too. Anything else is refused rather than answered with an empty packet.
double ParseHeight(const QString& text) {
  QString t = text.trimmed();
  t.replace(u',', u'.');
  const QByteArray b = t.toLatin1();
  double v = 0;
  bool ok = !b.isEmpty() && t.count(u'.') <= 1 && !b.startsWith('+') && !b.startsWith('.') &&
            !b.endsWith('.');
  for (char c : b) ok = ok && ((c >= '0' && c <= '9') || c == '.');
  if (ok) {
    auto r = std::from_chars(b.constData(), b.constData() + b.size(), v);
    ok = r.ec == std::errc() && r.ptr == b.constData() + b.size() && std::isfinite(v);
  }
  if (!ok) Refuse(QStringLiteral("A altura '%1' não é um número válido.").arg(Shown(text)));
  return Height(v);
}

// --- deltas

QString TableText(const TableDef& t) { return QString::fromUtf8(t.label); }

Delta ParseDelta(const TableDef& t, const QJsonObject& o) {
  const QString table = TableText(t);
  const QJsonValue fieldsValue = o.value(QLatin1String("fields"));
  const QJsonValue changesValue = o.value(QLatin1String("changes"));
  if (!fieldsValue.isArray() || !changesValue.isArray())
    BadParams(QStringLiteral("O pacote de alterações da tabela %1 está malformado: faltam "
                             "\"fields\" ou \"changes\".")
                  .arg(table));
  Delta d;
  d.present.assign(t.columns.size(), false);
  std::vector<int> map;  // delta field -> table column
  for (const QJsonValue fv : fieldsValue.toArray()) {
    const QJsonObject f = fv.toObject();
    const QString name = f.value(QLatin1String("name")).toString();
    const QString type = f.value(QLatin1String("type")).toString();
    const int i = t.columnIndex(name.toStdString());
    if (i < 0)
      BadParams(QStringLiteral("O campo '%1' não pertence à tabela %2; as alterações enviadas "
                               "são de outra tabela.")
                    .arg(Shown(name), table));
    if (d.present[size_t(i)])
      BadParams(QStringLiteral("O campo '%1' aparece duas vezes nas alterações da tabela %2.")
                    .arg(name, table));
    const ColumnDef& c = t.columns[size_t(i)];
    const QString want =
        c.kind == ColumnDef::Kind::Code ? QStringLiteral("string") : QStringLiteral("float");
    if (type != want)
      BadParams(QStringLiteral("O campo '%1' da tabela %2 deve ser do tipo %3, não '%4'.")
                    .arg(name, table, want, Shown(type)));
    d.present[size_t(i)] = true;
    map.push_back(i);
  }
  for (const char* k : t.keyOrder)
    if (!d.present[size_t(t.columnIndex(k))])
      BadParams(QStringLiteral("As alterações da tabela %1 não trazem o campo-chave '%2'.")
                    .arg(table, QString::fromLatin1(k)));

  auto readRow = [&](const QJsonValue& v, const char* which) {
    if (!v.isArray() || v.toArray().size() != qsizetype(map.size()))
      BadParams(QStringLiteral("Uma alteração da tabela %1 traz uma linha \"%2\" malformada "
                               "(esperados %3 valores).")
                    .arg(table, QString::fromLatin1(which))
                    .arg(map.size()));
    const QJsonArray a = v.toArray();
    Row row(t.columns.size());
    for (size_t j = 0; j < map.size(); ++j) {
      const ColumnDef& c = t.columns[size_t(map[j])];
      const QJsonValue x = a.at(qsizetype(j));
      if (x.isNull()) continue;
      if (c.kind == ColumnDef::Kind::Code) {
        if (!x.isString())
          BadParams(
              QStringLiteral("O campo %1 deve ser um texto.").arg(QString::fromUtf8(c.label)));
        // Old rows too: they are looked up by their codes.
        RefuseControlCharacters(x.toString(), c.size == 2);
        row[size_t(map[j])] = x.toString().toStdString();
      } else {
        if (!x.isDouble())
          BadParams(
              QStringLiteral("O campo %1 deve ser um número.").arg(QString::fromUtf8(c.label)));
        row[size_t(map[j])] = x.toDouble();
      }
    }
    return row;
  };

  for (const QJsonValue cv : changesValue.toArray()) {
    const QJsonObject c = cv.toObject();
    const QString op = c.value(QLatin1String("op")).toString();
    DeltaChange ch{};
    if (op == QLatin1String("insert")) {
      ch.op = DeltaChange::Op::Insert;
      ch.newRow = readRow(c.value(QLatin1String("new")), "new");
    } else if (op == QLatin1String("update")) {
      ch.op = DeltaChange::Op::Update;
      ch.oldRow = readRow(c.value(QLatin1String("old")), "old");
      ch.newRow = readRow(c.value(QLatin1String("new")), "new");
    } else if (op == QLatin1String("delete")) {
      ch.op = DeltaChange::Op::Delete;
      ch.oldRow = readRow(c.value(QLatin1String("old")), "old");
    } else {
      BadParams(QStringLiteral("Operação desconhecida nas alterações da tabela %1: '%2' (use "
                               "insert, update ou delete).")
                    .arg(table, Shown(op)));
    }
    d.changes.push_back(std::move(ch));
  }
  return d;
}

// Checks the values of a row about to be written.
void ValidateNewRow(const TableDef& t, const Row& row) {
  for (size_t i = 0; i < t.columns.size(); ++i) {
    const ColumnDef& c = t.columns[i];
    const QString label = QString::fromUtf8(c.label);
    const Value& v = row[i];
    if (std::holds_alternative<std::monostate>(v)) {
      if (c.key) Refuse(QStringLiteral("Informe o campo %1.").arg(label));
      continue;
    }
    if (c.kind == ColumnDef::Kind::Code) {
      NewCode(QString::fromStdString(std::get<std::string>(v)), c.size == 2);
      continue;
    }
    const double d = std::get<double>(v);
    if (c.kind == ColumnDef::Kind::Whole) {
      (c.name == std::string_view(kMonths)) ? Months(d) : Years(d);
    } else if (c.key) {
      Height(d);
    } else if (!(d >= 0)) {
      Refuse(QStringLiteral("O campo %1 não aceita valores negativos (recebido: %2).")
                 .arg(label, Num(d)));
    } else if (!(d < kValueLimit)) {
      Refuse(QStringLiteral("O campo %1 aceita no máximo 3 dígitos inteiros (recebido: %2).")
                 .arg(label, Num(d)));
    }
  }
}

}  // namespace srv
