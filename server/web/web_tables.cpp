// The references, a reference's tables as the report prints them, and its
// curves drawn by the chart code.

#include "framework/data/format.h"
#include "report/chart_svg.h"
#include "screens/tabrelpeso/tabrelpeso_curves.h"
#include "server/web/web_p.h"

#include <QUrl>

#include <algorithm>
#include <numeric>

namespace web {

namespace {

using trp::tabrelpeso::Medida;
using trp::tabrelpeso::TabelaGrafico;

struct Tabela {
  const char* chave;
  const char* nome;
  const char* metodo;
  TabelaGrafico grafico;
};

const Tabela kTabelas[] = {
    {"idade", "Idade/Peso/Altura", "GetPercIdade", TabelaGrafico::Idade},
    {"altura", "Peso/Altura", "GetPercAltura", TabelaGrafico::Altura},
    {"nchs", "Peso/Altura (NCHS 2000)", "GetPercAlturaNCHS", TabelaGrafico::AlturaNCHS}};

const Tabela& TabelaDe(const QString& chave) {
  for (const Tabela& t : kTabelas)
    if (chave == QLatin1String(t.chave)) return t;
  return kTabelas[0];
}

QString Link(const QString& path, const QList<std::pair<QString, QString>>& query) {
  QStringList parts;
  for (const auto& [k, v] : query)
    parts << k + u'=' + QString::fromLatin1(QUrl::toPercentEncoding(v));
  return Esc(path + u'?' + parts.join(u'&'));
}

const Referencia& Achada(const QList<Referencia>& refs, const QString& codigo) {
  for (const Referencia& r : refs)
    if (r.codigo == codigo) return r;
  throw srv::RpcError(srv::RpcError::InvalidParams,
                      QStringLiteral("Referência '%1' não cadastrada.").arg(codigo.left(10)));
}

QString Cabecalho(const Referencia& ref) {
  QString html = QStringLiteral("<p class=\"citacao\">%1</p>").arg(Esc(ref.citacao));
  if (!ref.fonte.isEmpty() || !ref.licenca.isEmpty())
    html += QStringLiteral("<p class=\"fonte\">%1 %2</p>").arg(Esc(ref.fonte), Esc(ref.licenca));
  return html;
}

QString Opcao(const QString& valor, const QString& texto, const QString& escolhido) {
  return QStringLiteral("<option value=\"%1\"%3>%2</option>")
      .arg(Esc(valor), Esc(texto), valor == escolhido ? QStringLiteral(" selected") : QString());
}

QString Selecao(const char* name, const QString& label, const QString& options) {
  return QStringLiteral("<label>%1 <select name=\"%2\" class=\"auto\">%3</select></label>")
      .arg(Esc(label), QLatin1String(name), options);
}

// The percentiles that a reference has in a table: code and name.
QList<std::pair<QString, QString>> Percentis(const fw::DataPacket& p, const QString& ref) {
  const int r = p.fieldIndex(u"CDREFEBIBL"), c = p.fieldIndex(u"CDPERCENTIL"),
            n = p.fieldIndex(u"NMPERCENTIL");
  QList<std::pair<QString, QString>> out;
  for (qsizetype i = 0; i < p.rowCount(); ++i)
    if (p.value(i, r).toString() == ref)
      out << std::pair{p.value(i, c).toString(), n < 0 ? QString() : p.value(i, n).toString()};
  std::sort(out.begin(), out.end());
  return out;
}

bool DoSexo(const QString& field, const QString& sexo) {
  if (sexo == QLatin1String("M")) return !field.contains(QLatin1String("FEM"));
  if (sexo == QLatin1String("F")) return !field.contains(QLatin1String("MAS"));
  return true;
}

bool EhChave(const QString& field) {
  return !field.contains(QLatin1String("MAS")) && !field.contains(QLatin1String("FEM"));
}

QString TabelaHtml(const Secao& s, const fw::DataPacket& rows, const QList<qsizetype>& linhas,
                   const QString& sexo, const QString& percentil, const QString& nomePercentil) {
  QList<Coluna> cols;
  for (const Coluna& c : s.columns)
    if (DoSexo(c.field, sexo) && rows.fieldIndex(c.field) >= 0) cols << c;
  QList<int> idx;
  for (const Coluna& c : cols) idx << rows.fieldIndex(c.field);
  // As the report: a section whose values are all empty is left out.
  QList<qsizetype> comValor;
  for (qsizetype r : linhas)
    for (int i = 0; i < cols.size(); ++i)
      if (!EhChave(cols[i].field) && !rows.isNull(r, idx[i])) {
        comValor << r;
        break;
      }
  if (comValor.isEmpty()) return {};
  QString title = s.title;
  title.replace(QLatin1String("{NMPERCENTIL}"), nomePercentil)
      .replace(QLatin1String("{CDPERCENTIL}"), percentil);
  QString html = QStringLiteral("<section class=\"tabela\"><h2>%1</h2><table>").arg(Esc(title));
  // The bands over their columns, as the report's header.
  html += QStringLiteral("<thead><tr class=\"faixas\">");
  for (int i = 0; i < cols.size();) {
    int span = 1;
    while (i + span < cols.size() && cols[i + span].band == cols[i].band) ++span;
    html += QStringLiteral("<th colspan=\"%1\">%2</th>").arg(span).arg(Esc(cols[i].band));
    i += span;
  }
  html += QStringLiteral("</tr><tr>");
  for (const Coluna& c : cols)
    html += QStringLiteral("<th data-campo=\"%1\">%2</th>").arg(Esc(c.field), Esc(c.title));
  html += QStringLiteral("</tr></thead><tbody>");
  for (qsizetype r : comValor) {
    html += QStringLiteral("<tr>");
    for (int i = 0; i < cols.size(); ++i)
      html +=
          QStringLiteral("<td>%1</td>")
              .arg(rows.isNull(r, idx[i])
                       ? QString()
                       : Esc(fw::FormatFloat(rows.value(r, idx[i]).toDouble(), cols[i].format)));
    html += QStringLiteral("</tr>");
  }
  return html + QStringLiteral("</tbody></table></section>");
}

QString Abas(const QString& ref, const QString& atual, const QString& pagina) {
  QString html = QStringLiteral("<nav class=\"abas\">");
  for (const Tabela& t : kTabelas)
    html +=
        QStringLiteral("<a href=\"%1\"%3>%2</a>")
            .arg(Link(pagina, {{QStringLiteral("ref"), ref},
                               {QStringLiteral("tabela"), QLatin1String(t.chave)}}),
                 Esc(QLatin1String(t.nome)),
                 atual == QLatin1String(t.chave) ? QStringLiteral(" class=\"atual\"") : QString());
  return html + QStringLiteral("</nav>");
}

}  // namespace

Page PaginaReferencias(const Request& r) {
  QString html = QStringLiteral(
      "<table class=\"referencias\"><thead><tr><th>Código</th><th>Referência</th>"
      "<th>Citação</th><th>Tabelas</th><th>Curvas</th></tr></thead><tbody>");
  for (const Referencia& ref : Referencias(r.calls)) {
    QString tabelas;
    for (const Tabela& t : kTabelas)
      tabelas += QStringLiteral("<a href=\"%1\">%2</a> ")
                     .arg(Link(QStringLiteral("/web/tabela"),
                               {{QStringLiteral("ref"), ref.codigo},
                                {QStringLiteral("tabela"), QLatin1String(t.chave)}}),
                          Esc(QLatin1String(t.nome)));
    html += QStringLiteral(
                "<tr data-ref=\"%1\"><td>%1</td><td>%2</td><td class=\"citacao\">%3</td>"
                "<td>%4</td><td><a href=\"%5\">Curvas</a></td></tr>")
                .arg(Esc(ref.codigo), Esc(ref.nome), Esc(ref.citacao), tabelas,
                     Link(QStringLiteral("/web/curvas"), {{QStringLiteral("ref"), ref.codigo}}));
  }
  html += QStringLiteral("</tbody></table>");
  return {200, QStringLiteral("Referências"), html};
}

Page PaginaTabela(const Request& r, const QList<Secao>& secoes) {
  const QList<Referencia> refs = Referencias(r.calls);
  const Referencia& ref = Achada(refs, r.Param("ref"));
  const Tabela& tabela = TabelaDe(r.Param("tabela"));
  const auto pair = r.calls.Pair(QLatin1String(tabela.metodo));
  const fw::DataPacket& rows = pair.second;
  const auto lista = Percentis(pair.first, ref.codigo);
  QString percentil = r.Param("percentil");
  QString nomePercentil;
  if (std::none_of(lista.cbegin(), lista.cend(),
                   [&](const auto& p) { return p.first == percentil; }))
    percentil = std::any_of(lista.cbegin(), lista.cend(),
                            [](const auto& p) { return p.first == QLatin1String("050"); })
                    ? QStringLiteral("050")
                : lista.isEmpty() ? QString()
                                  : lista.first().first;
  QString opcoes;
  for (const auto& [codigo, nome] : lista) {
    opcoes += Opcao(codigo, QStringLiteral("%1 - %2").arg(codigo, nome), percentil);
    if (codigo == percentil) nomePercentil = nome;
  }
  const QString sexo = r.Param("sexo");
  QString html =
      Cabecalho(ref) + Abas(ref.codigo, QLatin1String(tabela.chave), QStringLiteral("/web/tabela"));
  html += QStringLiteral(
              "<form class=\"filtro\" method=\"get\" action=\"/web/tabela\">"
              "<input type=\"hidden\" name=\"ref\" value=\"%1\">"
              "<input type=\"hidden\" name=\"tabela\" value=\"%2\">%3%4"
              "<button type=\"submit\">Mostrar</button> <a href=\"%5\">Curvas</a></form>")
              .arg(Esc(ref.codigo), QLatin1String(tabela.chave),
                   Selecao("percentil", QStringLiteral("Percentil"), opcoes),
                   Selecao("sexo", QStringLiteral("Sexo"),
                           Opcao({}, QStringLiteral("Ambos"), sexo) +
                               Opcao(QStringLiteral("M"), QStringLiteral("Masculino"), sexo) +
                               Opcao(QStringLiteral("F"), QStringLiteral("Feminino"), sexo)),
                   Link(QStringLiteral("/web/curvas"),
                        {{QStringLiteral("ref"), ref.codigo},
                         {QStringLiteral("tabela"), QLatin1String(tabela.chave)},
                         {QStringLiteral("percentil"), percentil}}));
  const int cRef = rows.fieldIndex(u"CDREFEBIBL"), cPerc = rows.fieldIndex(u"CDPERCENTIL");
  QList<qsizetype> linhas;
  for (qsizetype i = 0; i < rows.rowCount(); ++i)
    if (rows.value(i, cRef).toString() == ref.codigo &&
        rows.value(i, cPerc).toString() == percentil)
      linhas << i;
  QString tabelas;
  for (const Secao& s : secoes) {
    if (s.table != QLatin1String(tabela.chave)) continue;
    // Rows in the order of the section's key columns (the report's ORDER BY).
    QList<int> chaves;
    for (const Coluna& c : s.columns)
      if (EhChave(c.field) && rows.fieldIndex(c.field) >= 0) chaves << rows.fieldIndex(c.field);
    std::stable_sort(linhas.begin(), linhas.end(), [&](qsizetype a, qsizetype b) {
      for (int k : chaves) {
        const double x = rows.value(a, k).toDouble(), y = rows.value(b, k).toDouble();
        if (x != y) return x < y;
      }
      return false;
    });
    tabelas += TabelaHtml(s, rows, linhas, sexo, percentil, nomePercentil);
  }
  html +=
      tabelas.isEmpty()
          ? QStringLiteral("<p class=\"aviso\">Esta referência não tem linhas nesta tabela.</p>")
          : tabelas;
  return {200, QStringLiteral("%1 - %2 %3").arg(QLatin1String(tabela.nome), ref.codigo, ref.nome),
          html};
}

Page PaginaCurvas(const Request& r) {
  const QList<Referencia> refs = Referencias(r.calls);
  const Referencia& ref = Achada(refs, r.Param("ref"));
  const Tabela& tabela = TabelaDe(r.Param("tabela"));
  const bool idade = tabela.grafico == TabelaGrafico::Idade;
  const QString sexo =
      r.Param("sexo") == QLatin1String("F") ? QStringLiteral("F") : QStringLiteral("M");
  const QString medidaKey = r.Param("medida");
  const Medida medida = medidaKey == QLatin1String("altura") ? Medida::Altura
                        : medidaKey == QLatin1String("pc")   ? Medida::PerimetroCefalico
                                                             : Medida::Peso;
  const fw::DataPacket rows = r.calls.Pair(QLatin1String(tabela.metodo)).second;
  report::ChartData data = trp::tabrelpeso::CurvasDaTabela(
      rows, tabela.grafico, ref.codigo, r.Param("percentil"), sexo == QLatin1String("M"), medida);
  data.xMonths = idade;
  data.boundaries = trp::tabrelpeso::FronteirasDe(ref.citacao, tabela.grafico);
  QString medidas;
  if (idade)
    medidas =
        Selecao("medida", QStringLiteral("Medida"),
                Opcao(QStringLiteral("peso"), QStringLiteral("Peso"), medidaKey) +
                    Opcao(QStringLiteral("altura"), QStringLiteral("Altura"), medidaKey) +
                    Opcao(QStringLiteral("pc"), QStringLiteral("Perímetro cefálico"), medidaKey));
  QString html =
      Cabecalho(ref) + Abas(ref.codigo, QLatin1String(tabela.chave), QStringLiteral("/web/curvas"));
  html += QStringLiteral(
              "<form class=\"filtro\" method=\"get\" action=\"/web/curvas\">"
              "<input type=\"hidden\" name=\"ref\" value=\"%1\">"
              "<input type=\"hidden\" name=\"tabela\" value=\"%2\">"
              "<input type=\"hidden\" name=\"percentil\" value=\"%3\">%4%5"
              "<button type=\"submit\">Mostrar</button></form>")
              .arg(Esc(ref.codigo), QLatin1String(tabela.chave), Esc(r.Param("percentil")), medidas,
                   Selecao("sexo", QStringLiteral("Sexo"),
                           Opcao(QStringLiteral("M"), QStringLiteral("Masculino"), sexo) +
                               Opcao(QStringLiteral("F"), QStringLiteral("Feminino"), sexo)));
  const QString titulo =
      QStringLiteral("%1 - %2 %3").arg(QLatin1String(tabela.nome), ref.codigo, ref.nome);
  html +=
      data.IsEmpty()
          ? QStringLiteral("<p class=\"aviso\">Esta referência não tem linhas nesta tabela.</p>")
          : QStringLiteral("<figure class=\"grafico\">%1</figure>")
                .arg(InlineSvg(report::ChartSvg(data, QSize(900, 560), data.title)));
  return {200, QStringLiteral("Curvas - ") + titulo, html};
}

}  // namespace web
