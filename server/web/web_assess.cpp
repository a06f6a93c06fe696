// The assessment form: the server's AvaliaMedida on what was typed, the
// results as the screen shows them and the child's point on the charts.

#include "assess/age.h"
#include "framework/data/format.h"
#include "report/chart_svg.h"
#include "screens/avaliacao/avaliacao_laudo.h"
#include "server/web/web_p.h"

#include <QJsonArray>

#include <map>

namespace web {

namespace {

using trp::avaliacao::Laudo;
using trp::avaliacao::LinhaLaudo;
using trp::avaliacao::VisitaLaudo;

// A typed value the page cannot use: its message, the form kept as typed.
struct Recusa {
  QString message;
};

std::optional<double> Medida(const Request& r, const char* name, const QString& what) {
  bool ok = true;
  const std::optional<double> v = fw::ParseFloat(r.Param(name), &ok);
  if (!ok || (v && !(*v > 0)))
    throw Recusa{QStringLiteral("%1 inválido: '%2'. Informe um número positivo, como 12,5.")
                     .arg(what, r.Param(name).left(20))};
  return v;
}

// dd/mm/aaaa as on the screen; aaaa-mm-dd as a date field sends it.
QDate Data(const Request& r, const char* name, const QString& what) {
  QDate d = QDate::fromString(r.Param(name), QStringLiteral("dd/MM/yyyy"));
  if (!d.isValid()) d = QDate::fromString(r.Param(name), Qt::ISODate);
  if (!d.isValid()) throw Recusa{QStringLiteral("Informe %1 (dd/mm/aaaa).").arg(what)};
  return d;
}

QString Campo(const Request& r, const char* name, const QString& label, const char* type,
              const QString& extra = {}) {
  return QStringLiteral("<label>%1 <input name=\"%2\" type=\"%3\" value=\"%4\"%5></label>")
      .arg(Esc(label), QLatin1String(name), QLatin1String(type), Esc(r.Param(name)), extra);
}

QString Escolha(const Request& r, const char* name, const QString& label,
                const QList<std::pair<QString, QString>>& options) {
  QString html =
      QStringLiteral("<label>%1 <select name=\"%2\">").arg(Esc(label), QLatin1String(name));
  for (const auto& [value, text] : options)
    html += QStringLiteral("<option value=\"%1\"%3>%2</option>")
                .arg(Esc(value), Esc(text),
                     r.Param(name) == value ? QStringLiteral(" selected") : QString());
  return html + QStringLiteral("</select></label>");
}

const QString kData = QStringLiteral(
    " placeholder=\"dd/mm/aaaa\" inputmode=\"numeric\" maxlength=\"10\" class=\"data\"");

QString Formulario(const Request& r, const QList<Referencia>& refs) {
  const bool enviado = r.http.method == "POST";
  QString marcadas;
  for (const Referencia& ref : refs) {
    const bool marcada = enviado ? r.Params("ref").contains(ref.codigo) : true;
    marcadas +=
        QStringLiteral(
            "<label class=\"ref\"><input type=\"checkbox\" name=\"ref\" "
            "value=\"%1\"%3> %1 - %2</label>")
            .arg(Esc(ref.codigo), Esc(ref.nome), marcada ? QStringLiteral(" checked") : QString());
  }
  return QStringLiteral(
             "<form class=\"avaliacao\" method=\"post\" action=\"/web/avaliacao\">"
             "<fieldset><legend>Criança</legend>%1%2%3"
             "<span class=\"grupo\">Idade gestacional ao nascer (vazio: a termo) %4%5</span>"
             "</fieldset><fieldset><legend>Medidas</legend>%6%7%8%9</fieldset>"
             "<fieldset class=\"refs\"><legend>Referências</legend>%10</fieldset>"
             "<button type=\"submit\">Avaliar</button></form>")
      .arg(Escolha(r, "sexo", QStringLiteral("Sexo"),
                   {{QString(), QStringLiteral("(escolha)")},
                    {QStringLiteral("M"), QStringLiteral("Masculino")},
                    {QStringLiteral("F"), QStringLiteral("Feminino")}}),
           Campo(r, "nascimento", QStringLiteral("Nascimento"), "text", kData),
           Campo(r, "medicao", QStringLiteral("Data da medição"), "text", kData),
           Campo(r, "semanas", QStringLiteral("semanas"), "number",
                 QStringLiteral(" min=\"20\" max=\"44\"")),
           Campo(r, "dias", QStringLiteral("dias"), "number",
                 QStringLiteral(" min=\"0\" max=\"6\"")),
           Campo(r, "peso", QStringLiteral("Peso (kg)"), "text",
                 QStringLiteral(" inputmode=\"decimal\"")),
           Campo(r, "medida", QStringLiteral("Comprimento/estatura (cm)"), "text",
                 QStringLiteral(" inputmode=\"decimal\"")),
           Escolha(r, "posicao", QStringLiteral("Posição"),
                   {{QString(), QStringLiteral("pela idade")},
                    {QStringLiteral("D"), QStringLiteral("deitado")},
                    {QStringLiteral("P"), QStringLiteral("em pé")}}),
           Campo(r, "perimetro", QStringLiteral("Perímetro cefálico (cm)"), "text",
                 QStringLiteral(" inputmode=\"decimal\"")),
           marcadas);
}

Laudo Digitado(const Request& r, const QList<Referencia>& refs, QStringList& escolhidas) {
  Laudo laudo;
  const QString sexo = r.Param("sexo");
  if (sexo != QLatin1String("M") && sexo != QLatin1String("F"))
    throw Recusa{QStringLiteral("Escolha o sexo da criança.")};
  laudo.masculino = sexo == QLatin1String("M");
  laudo.nascimento = Data(r, "nascimento", QStringLiteral("a data de nascimento"));
  VisitaLaudo v;
  v.data = Data(r, "medicao", QStringLiteral("a data da medição"));
  const std::optional<int> dias = trp::assess::AgeDays(laudo.nascimento, v.data);
  if (!dias) throw Recusa{QStringLiteral("A data da medição é anterior à data de nascimento.")};
  v.idadeDias = *dias;
  if (!r.Param("semanas").isEmpty() || !r.Param("dias").isEmpty()) {
    laudo.gestacaoDias = trp::assess::ParseGestation(
        r.Param("semanas") + u'+' +
        (r.Param("dias").isEmpty() ? QStringLiteral("0") : r.Param("dias")));
    if (!laudo.gestacaoDias)
      throw Recusa{
          QStringLiteral("Idade gestacional inválida: informe de 20 a 44 semanas e de 0 "
                         "a 6 dias, ou deixe vazio para uma criança nascida a termo.")};
    v.idadeCorrigidaDias =
        trp::assess::CorrectedAgeDays(laudo.nascimento, v.data, *laudo.gestacaoDias);
  }
  v.peso = Medida(r, "peso", QStringLiteral("Peso"));
  v.medida = Medida(r, "medida", QStringLiteral("Comprimento/estatura"));
  v.perimetro = Medida(r, "perimetro", QStringLiteral("Perímetro cefálico"));
  if (!v.peso && !v.medida && !v.perimetro)
    throw Recusa{
        QStringLiteral("Informe ao menos o peso, o comprimento/estatura ou o perímetro "
                       "cefálico.")};
  const QString posicao = r.Param("posicao");
  v.deitado = posicao.isEmpty()
                  ? trp::avaliacao::DeitadoNaIdade(v.idadeCorrigidaDias.value_or(*dias))
                  : posicao == QLatin1String("D");
  for (const Referencia& ref : refs)
    if (r.Params("ref").contains(ref.codigo)) {
      escolhidas << ref.codigo;
      laudo.referencias << trp::avaliacao::ReferenciaLaudo{ref.codigo, ref.nome, ref.citacao};
    }
  if (escolhidas.isEmpty())
    throw Recusa{QStringLiteral("Marque ao menos uma referência para a avaliação.")};
  laudo.visitas << v;
  return laudo;
}

QString Resultado(const Laudo& laudo) {
  const VisitaLaudo& v = laudo.visitas.last();
  QStringList medidas;
  if (v.peso) medidas << QStringLiteral("peso %1 kg").arg(fw::FloatToStr(*v.peso));
  if (v.medida)
    medidas << QStringLiteral("%1 %2 cm")
                   .arg(v.deitado ? QStringLiteral("comprimento (deitado)")
                                  : QStringLiteral("estatura (em pé)"),
                        fw::FloatToStr(*v.medida));
  if (v.perimetro)
    medidas << QStringLiteral("perímetro cefálico %1 cm").arg(fw::FloatToStr(*v.perimetro));
  if (const auto imc = trp::avaliacao::Imc(v))
    medidas << QStringLiteral("IMC %1 kg/m²").arg(Num(*imc, 2));
  QString html =
      QStringLiteral(
          "<section class=\"resultado\"><h2>Resultado</h2><p>Sexo: %1 | Nascimento: "
          "%2 | Data da medição: %3 | Idade: %4%5</p><p>Medidas: %6</p>")
          .arg(laudo.masculino ? QStringLiteral("masculino") : QStringLiteral("feminino"),
               laudo.nascimento.toString(QStringLiteral("dd/MM/yyyy")),
               v.data.toString(QStringLiteral("dd/MM/yyyy")),
               Esc(trp::avaliacao::TextoIdade(laudo.nascimento, v.idadeDias)),
               v.idadeCorrigidaDias ? QStringLiteral(" | Idade corrigida: %1 (avaliada por ela)")
                                          .arg(Esc(trp::avaliacao::TextoIdade(
                                              laudo.nascimento, *v.idadeCorrigidaDias)))
                                    : QString(),
               Esc(medidas.join(QStringLiteral("; "))));
  for (const trp::avaliacao::ReferenciaLaudo& ref : laudo.referencias)
    html += QStringLiteral("<p class=\"citacao\">Referência %1 - %2%3</p>")
                .arg(Esc(ref.codigo), Esc(ref.nome),
                     ref.citacao.isEmpty() ? QString()
                                           : QStringLiteral(". Citação: ") + Esc(ref.citacao));
  if (v.linhas.isEmpty())
    return html + QStringLiteral(
                      "<p class=\"aviso\">Nenhuma referência tem valores para esta "
                      "idade e estas medidas.</p></section>");
  html += QStringLiteral(
      "<table class=\"indicadores\"><thead><tr><th>Referência</th><th>Indicador</th>"
      "<th>Escore z</th><th>Percentil</th><th>Faixa</th><th>Classificação</th><th>Alerta</th>"
      "</tr></thead><tbody>");
  for (const LinhaLaudo& l : v.linhas)
    html += QStringLiteral(
                "<tr data-ref=\"%1\" data-indicador=\"%2\"><td>%1</td><td>%3</td>"
                "<td class=\"z\">%4</td><td class=\"percentil\">%5</td><td>%6</td>"
                "<td class=\"classe\">%7</td><td class=\"alerta\">%8</td></tr>")
                .arg(Esc(l.referencia), Esc(l.indicador),
                     Esc(trp::avaliacao::NomeIndicador(l.indicador)),
                     l.z ? fw::FormatFloat(*l.z, QStringLiteral("0.00")) : QString(),
                     l.percentil ? fw::FormatFloat(*l.percentil, QStringLiteral("0.0")) : QString(),
                     Esc(l.faixa), Esc(l.classificacao), Esc(l.alerta));
  return html + QStringLiteral("</tbody></table></section>");
}

}  // namespace

Page PaginaAvaliacao(const Request& r) {
  const QList<Referencia> refs = Referencias(r.calls);
  Page page{200, QStringLiteral("Avaliação antropométrica"), {}};
  if (r.http.method != "POST") {
    page.body = Formulario(r, refs);
    return page;
  }
  QStringList escolhidas;
  Laudo laudo;
  try {
    laudo = Digitado(r, refs, escolhidas);
  } catch (const Recusa& e) {
    page.status = 400;
    page.body =
        QStringLiteral("<p class=\"erro\">%1</p>").arg(Esc(e.message)) + Formulario(r, refs);
    return page;
  }
  VisitaLaudo& v = laudo.visitas.last();
  // The same method, parameters and answer as the assessment screen's.
  try {
    v.linhas = trp::avaliacao::LinhasDaResposta(
        r.calls.Packet(QStringLiteral("AvaliaMedida"),
                       QJsonArray::fromVariantList(
                           trp::avaliacao::ArgumentosAvaliacao(laudo.masculino, v, escolhidas))));
  } catch (const srv::RpcError& e) {
    // The server's refusal beside what was typed, which stays in the form.
    page.status = e.code() == srv::RpcError::Busy ? 503 : 400;
    page.body = QStringLiteral("<p class=\"erro\">%1</p>").arg(Esc(e.message())) +
                Formulario(r, refs);
    return page;
  }
  std::map<QString, fw::DataPacket> tabelas;  // rows by method, read once
  laudo.curvas = [&](const QString& ref, const QString& indicador) {
    const trp::avaliacao::FonteCurvas fonte = trp::avaliacao::FonteDasCurvas(indicador);
    if (fonte.lms)
      return trp::avaliacao::CurvasLms(r.calls.Packet(
          QStringLiteral("GetCurvaLms"),
          {ref, laudo.masculino ? QStringLiteral("M") : QStringLiteral("F"), indicador}));
    const QString metodo = fonte.tabela == trp::tabrelpeso::TabelaGrafico::Altura
                               ? QStringLiteral("GetPercAltura")
                               : QStringLiteral("GetPercIdade");
    if (!tabelas.count(metodo)) tabelas[metodo] = r.calls.Pair(metodo).second;
    return trp::tabrelpeso::CurvasDaTabela(tabelas[metodo], fonte.tabela, ref, QString(),
                                           laudo.masculino, fonte.medida);
  };
  QString graficos;
  for (const LinhaLaudo& l : v.linhas) {
    report::ChartData data = trp::avaliacao::GraficoDaCrianca(laudo, l.referencia, l.indicador);
    if (data.IsEmpty()) continue;
    data.title = QStringLiteral("Referência %1 - %2")
                     .arg(l.referencia, trp::avaliacao::NomeIndicador(l.indicador));
    graficos += QStringLiteral(
                    "<figure class=\"grafico\" data-ref=\"%1\" data-indicador=\"%2\">%3</figure>")
                    .arg(Esc(l.referencia), Esc(l.indicador),
                         InlineSvg(report::ChartSvg(data, QSize(760, 480), data.title)));
  }
  page.body = Formulario(r, refs) + Resultado(laudo) +
              QStringLiteral("<section class=\"graficos\">%1</section>").arg(graficos);
  return page;
}

}  // namespace web
