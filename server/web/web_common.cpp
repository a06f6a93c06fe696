// What the pages share: the server's methods as the user, parameters,
// HTML text, the references and the report's table sections.

#include "framework/data/format.h"
#include "server/web/web_p.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

#include <stdexcept>

namespace web {

std::string Calls::Json(const QString& method, const QJsonArray& params) {
  std::string out;
  for (const auto& piece : service_.Call(caller_, method, params)) out += *piece;
  return out;
}

fw::DataPacket Calls::Packet(const QString& method, const QJsonArray& params) {
  const std::string json = Json(method, params);
  return fw::DataPacket::fromJson(QByteArrayView(json.data(), qsizetype(json.size())));
}

std::pair<fw::DataPacket, fw::DataPacket> Calls::Pair(const QString& method) {
  const std::string json = Json(method);
  // "[packet,packet]": the first packet ends where its braces close; no
  // second parse of the whole answer just to split it.
  size_t i = json.find('{');
  int depth = 0;
  bool text = false, escaped = false;
  for (; i < json.size(); ++i) {
    const char c = json[i];
    if (text) {
      if (escaped)
        escaped = false;
      else if (c == '\\')
        escaped = true;
      else if (c == '"')
        text = false;
    } else if (c == '"') {
      text = true;
    } else if (c == '{' || c == '[') {
      ++depth;
    } else if ((c == '}' || c == ']') && --depth == 0) {
      break;
    }
  }
  const size_t first = json.find('{');
  const size_t second = json.find('{', i);
  const size_t end = json.rfind(']');
  if (first == std::string::npos || second == std::string::npos || end < second)
    throw std::runtime_error("resposta sem o par de pacotes esperado");
  return {fw::DataPacket::fromJson(QByteArrayView(json.data() + first, qsizetype(i + 1 - first))),
          fw::DataPacket::fromJson(QByteArrayView(json.data() + second, qsizetype(end - second)))};
}

QString Request::Param(const char* name) const {
  const auto it = params.find(name);
  return it == params.end() ? QString() : QString::fromStdString(it->second).trimmed();
}

QStringList Request::Params(const char* name) const {
  QStringList out;
  const auto [from, to] = params.equal_range(name);
  for (auto it = from; it != to; ++it) out << QString::fromStdString(it->second).trimmed();
  return out;
}

QString Esc(const QString& text) { return text.toHtmlEscaped(); }

QString Num(double value, int decimals) {
  return QLocale(QLocale::Portuguese, QLocale::Brazil).toString(value, 'f', decimals);
}

QString InlineSvg(const QByteArray& svg) {
  const qsizetype at = svg.indexOf("<svg");
  return QString::fromUtf8(at < 0 ? svg : svg.mid(at));
}

QList<Referencia> Referencias(Calls& calls) {
  const fw::DataPacket p = calls.Packet(QStringLiteral("GetTabela"), {QStringLiteral("REFEBIBL")});
  const auto col = [&](const char16_t* name) { return p.fieldIndex(QStringView(name)); };
  const int codigo = col(u"CDREFEBIBL"), nome = col(u"NMREFEBIBL"), citacao = col(u"DSCITACAO"),
            fonte = col(u"DSFONTE"), licenca = col(u"DSLICENCA");
  QList<Referencia> out;
  for (qsizetype r = 0; r < p.rowCount(); ++r)
    out << Referencia{p.value(r, codigo).toString(), p.value(r, nome).toString(),
                      p.value(r, citacao).toString(), p.value(r, fonte).toString(),
                      p.value(r, licenca).toString()};
  return out;
}

QList<Secao> LeSecoes(const QString& reportFile) {
  QFile f(reportFile);
  if (!f.open(QIODevice::ReadOnly))
    throw std::runtime_error(QStringLiteral("Não foi possível ler a definição das tabelas '%1': %2")
                                 .arg(reportFile, f.errorString())
                                 .toStdString());
  const QJsonArray sections =
      QJsonDocument::fromJson(f.readAll()).object().value(QLatin1String("sections")).toArray();
  const std::pair<const char*, const char*> tables[] = {
      {"FROM PESALTIDADE", "idade"}, {"FROM PESOALTU", "altura"}, {"FROM PEALNCHS2000", "nchs"}};
  QList<Secao> out;
  for (const auto& v : sections) {
    const QJsonObject s = v.toObject();
    if (!s.contains(QLatin1String("columns"))) continue;
    QString sql;
    for (const auto& line : s.value(QLatin1String("sql")).toArray())
      sql += line.toString() + u' ';
    Secao secao;
    for (const auto& [from, table] : tables)
      if (sql.contains(QLatin1String(from))) secao.table = QLatin1String(table);
    if (secao.table.isEmpty()) continue;
    secao.title = s.value(QLatin1String("title")).toString();
    for (const auto& c : s.value(QLatin1String("columns")).toArray()) {
      const QJsonObject o = c.toObject();
      secao.columns << Coluna{
          o.value(QLatin1String("field")).toString(), o.value(QLatin1String("title")).toString(),
          o.value(QLatin1String("format")).toString(), o.value(QLatin1String("band")).toString()};
    }
    out << secao;
  }
  if (out.isEmpty())
    throw std::runtime_error(QStringLiteral("A definição '%1' não tem as seções das tabelas.")
                                 .arg(reportFile)
                                 .toStdString());
  return out;
}

}  // namespace web
