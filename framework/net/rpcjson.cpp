#include "framework/net/rpcjson.h"

#include "framework/data/errors.h"
#include "framework/data/json_write.h"
#include "framework/data/packet.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <array>
#include <cmath>
#include <cstring>

namespace fw {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

qsizetype SkipBlanks(QByteArrayView text, qsizetype pos) {
  while (pos < text.size() && IsBlank(text[pos])) ++pos;
  return pos;
}

// Index just past the closing quote of the string whose opening quote is at
// `pos`, or -1.
qsizetype SkipString(QByteArrayView text, qsizetype pos) {
  const char* data = text.data();
  const char* end = data + text.size();
  const char* p = data + pos + 1;
  while (p < end) {
    const auto* quote = static_cast<const char*>(std::memchr(p, '"', static_cast<size_t>(end - p)));
    if (!quote) return -1;
    // A quote preceded by an odd run of backslashes is escaped.
    const char* b = quote;
    while (b > p && b[-1] == '\\') --b;
    if ((quote - b) % 2 == 0) return quote + 1 - data;
    p = quote + 1;
  }
  return -1;
}

// Characters that matter when skipping over arrays and objects.
constexpr std::array<bool, 256> kStructural = [] {
  std::array<bool, 256> table{};
  for (const unsigned char c : {'"', '{', '}', '[', ']'}) table[c] = true;
  return table;
}();

void AppendArgument(QByteArray& out, const QVariant& arg, int position) {
  if (!arg.isValid() || arg.isNull()) {
    // A null string argument is still a string: the server sees "".
    if (arg.metaType().id() == QMetaType::QString) {
      out += "\"\"";
    } else {
      out += "null";
    }
    return;
  }
  switch (arg.metaType().id()) {
    case QMetaType::QString:
      AppendJsonString(out, arg.toString());
      return;
    case QMetaType::Bool:
      out += arg.toBool() ? "true" : "false";
      return;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
      out += QByteArray::number(arg.toLongLong());
      return;
    case QMetaType::Double:
    case QMetaType::Float: {
      const double value = arg.toDouble();
      if (!std::isfinite(value)) {
        throw Error(
            QStringLiteral("O argumento %1 da chamada não é um número finito.").arg(position));
      }
      out += FloatToJson(value);
      return;
    }
    case QMetaType::QVariantList: {
      out += '[';
      const QVariantList items = arg.toList();
      for (qsizetype i = 0; i < items.size(); ++i) {
        if (i > 0) out += ',';
        AppendArgument(out, items[i], position);
      }
      out += ']';
      return;
    }
    default:
      break;
  }
  if (arg.metaType() == QMetaType::fromType<DataPacket>()) {
    out += arg.value<DataPacket>().toJson();
  } else if (arg.metaType() == QMetaType::fromType<DeltaPacket>()) {
    out += arg.value<DeltaPacket>().toJson();
  } else {
    throw Error(QStringLiteral("O argumento %1 da chamada tem um tipo não suportado (%2).")
                    .arg(position)
                    .arg(QString::fromLatin1(arg.metaType().name())));
  }
}

// Reads the value that starts at `pos` (blanks skipped) and sets `end` just
// past it; each byte of a packet is scanned once for its span, then parsed.
QVariant ParseValueAt(QByteArrayView text, qsizetype pos, qsizetype* end) {
  pos = SkipBlanks(text, pos);
  if (pos >= text.size()) throw Error(QStringLiteral("valor vazio"));
  if (text[pos] == '[') {
    QVariantList items;
    qsizetype at = SkipBlanks(text, pos + 1);
    if (at < text.size() && text[at] == ']') {
      *end = at + 1;
      return items;
    }
    while (at < text.size()) {
      qsizetype itemEnd = -1;
      items << ParseValueAt(text, at, &itemEnd);
      at = SkipBlanks(text, itemEnd);
      if (at >= text.size()) break;
      if (text[at] == ']') {
        *end = at + 1;
        return items;
      }
      if (text[at] != ',') throw Error(QStringLiteral("separador inesperado numa lista"));
      ++at;
    }
    throw Error(QStringLiteral("lista incompleta"));
  }
  const qsizetype valueEnd = SkipJsonValue(text, pos);
  if (valueEnd < 0) throw Error(QStringLiteral("texto incompleto"));
  *end = valueEnd;
  const QByteArrayView span = text.sliced(pos, valueEnd - pos);
  switch (span[0]) {
    case '{':
      return QVariant::fromValue(DataPacket::fromJson(span));
    case 't':
      if (span == "true") return true;
      break;
    case 'f':
      if (span == "false") return false;
      break;
    case 'n':
      if (span == "null") return {};
      break;
    case '"': {
      const QJsonDocument doc = QJsonDocument::fromJson(QByteArray("[") + span.toByteArray() + ']');
      if (doc.isArray()) return doc.array().at(0).toString();
      break;
    }
    default: {
      bool ok = false;
      const double value = span.toByteArray().toDouble(&ok);
      if (ok) return value;
    }
  }
  throw Error(QStringLiteral("valor não reconhecido"));
}

ServerResult Invalid(const QString& why) {
  return {false, {}, QStringLiteral("Resposta inválida do servidor de aplicação: %1.").arg(why)};
}

}  // namespace

qsizetype SkipJsonValue(QByteArrayView text, qsizetype pos) {
  pos = SkipBlanks(text, pos);
  const qsizetype n = text.size();
  if (pos >= n) return -1;
  const char first = text[pos];
  if (first == '"') return SkipString(text, pos);
  if (first == '{' || first == '[') {
    const char* data = text.data();
    int depth = 0;
    for (qsizetype i = pos; i < n; ++i) {
      const char c = data[i];
      if (!kStructural[static_cast<unsigned char>(c)]) continue;
      if (c == '"') {
        i = SkipString(text, i);
        if (i < 0) return -1;
        --i;
      } else if (c == '{' || c == '[') {
        ++depth;
      } else if (c == '}' || c == ']') {
        if (--depth == 0) return i + 1;
      }
    }
    return -1;
  }
  qsizetype i = pos;
  while (i < n && text[i] != ',' && text[i] != '}' && text[i] != ']' && !IsBlank(text[i])) ++i;
  return i > pos ? i : -1;
}

QByteArray BuildRpcRequest(const QString& method, const QVariantList& args, qint64 id) {
  QByteArray out;
  out.reserve(96);
  out += "{\"jsonrpc\":\"2.0\",\"id\":";
  out += QByteArray::number(id);
  out += ",\"method\":";
  AppendJsonString(out, method);
  out += ",\"params\":[";
  for (qsizetype i = 0; i < args.size(); ++i) {
    if (i > 0) out += ',';
    AppendArgument(out, args[i], static_cast<int>(i) + 1);
  }
  out += "]}";
  return out;
}

ServerResult ParseRpcResponse(QByteArrayView body) {
  qsizetype pos = SkipBlanks(body, 0);
  if (pos >= body.size() || body[pos] != '{')
    return Invalid(QStringLiteral("não é um objeto JSON"));
  QVariant result;
  QByteArrayView error;
  bool haveResult = false, haveError = false;
  pos = SkipBlanks(body, pos + 1);
  while (pos < body.size() && body[pos] != '}') {
    if (body[pos] != '"') return Invalid(QStringLiteral("nome de membro esperado"));
    const qsizetype keyEnd = SkipString(body, pos);
    if (keyEnd < 0) return Invalid(QStringLiteral("texto incompleto"));
    const QByteArrayView key = body.sliced(pos + 1, keyEnd - pos - 2);
    pos = SkipBlanks(body, keyEnd);
    if (pos >= body.size() || body[pos] != ':') return Invalid(QStringLiteral("':' esperado"));
    const qsizetype valueStart = SkipBlanks(body, pos + 1);
    qsizetype valueEnd = -1;
    if (key == "result") {
      try {
        result = ParseValueAt(body, valueStart, &valueEnd);
      } catch (const Error& e) {
        return Invalid(e.message());
      }
      haveResult = true;
    } else {
      valueEnd = SkipJsonValue(body, valueStart);
      if (valueEnd < 0) return Invalid(QStringLiteral("texto incompleto"));
      if (key == "error") {
        error = body.sliced(valueStart, valueEnd - valueStart);
        haveError = true;
      }
    }
    pos = SkipBlanks(body, valueEnd);
    if (pos < body.size() && body[pos] == ',') pos = SkipBlanks(body, pos + 1);
  }
  if (pos >= body.size()) return Invalid(QStringLiteral("texto incompleto"));

  if (haveError && error != "null") {
    const QJsonDocument doc = QJsonDocument::fromJson(error.toByteArray());
    const QJsonObject object = doc.object();
    QString message = object.value(QLatin1String("message")).toString().trimmed();
    if (message.isEmpty()) {
      message =
          QStringLiteral("O servidor de aplicação informou uma falha sem descrição (código %1).")
              .arg(object.value(QLatin1String("code")).toInt());
    }
    return {false, {}, message};
  }
  if (!haveResult) return Invalid(QStringLiteral("sem resultado"));
  return {true, result, {}};
}

}  // namespace fw
