// The series: earlier visits of the child kept on the screen only, typed
// one by one or read from / written to the user's CSV file.

#include "assess/age.h"
#include "framework/data/errors.h"
#include "framework/data/format.h"
#include "framework/ui/consiste.h"
#include "framework/ui/dialogs.h"
#include "screens/avaliacao/avaliacao_form.h"
#include "screens/avaliacao/avaliacao_visitas.h"

#include <QFile>
#include <QSaveFile>

#include <algorithm>

namespace trp::avaliacao {

void TfrmAvaliacao::MostraVisitas() {
  fw::DataPacket rows({{QStringLiteral("DSDATA"), fw::FieldType::String, 10},
                       {QStringLiteral("DSIDADE"), fw::FieldType::String, 60},
                       {QStringLiteral("DSMEDIDAS"), fw::FieldType::String, 120}});
  const QDate nascimento = Nascimento();
  for (const VisitaLaudo& v : visitas_) {
    QStringList medidas;
    if (v.peso) medidas << QStringLiteral("%1 kg").arg(fw::FloatToStr(*v.peso));
    if (v.medida)
      medidas << QStringLiteral("%1 cm %2")
                     .arg(fw::FloatToStr(*v.medida),
                          v.deitado ? QStringLiteral("deitado") : QStringLiteral("em pé"));
    if (v.perimetro) medidas << QStringLiteral("PC %1 cm").arg(fw::FloatToStr(*v.perimetro));
    const std::optional<int> dias = assess::AgeDays(nascimento, v.data);
    rows.appendRow(QVariantList{v.data.toString(QStringLiteral("dd/MM/yyyy")),
                                dias ? TextoIdade(nascimento, *dias) : QString(),
                                medidas.join(QStringLiteral("; "))});
  }
  if (cdsVisitas->Active()) cdsVisitas->Close();
  cdsVisitas->SetData(rows);
  btnExcluirVisita->setEnabled(!visitas_.isEmpty());
  btnSalvarVisitas->setEnabled(!visitas_.isEmpty());
}

void TfrmAvaliacao::btnIncluirVisitaClick(QObject* sender) {
  VisitaLaudo v = VisitaDigitada();
  visitas_.erase(std::remove_if(visitas_.begin(), visitas_.end(),
                                [&](const VisitaLaudo& o) { return o.data == v.data; }),
                 visitas_.end());
  visitas_ << v;
  std::sort(visitas_.begin(), visitas_.end(),
            [](const VisitaLaudo& a, const VisitaLaudo& b) { return a.data < b.data; });
  MostraVisitas();
  EntradaChange(sender);
}

void TfrmAvaliacao::btnExcluirVisitaClick(QObject* sender) {
  if (visitas_.isEmpty() || !cdsVisitas->Active() || cdsVisitas->IsEmpty()) return;
  const QString data = cdsVisitas->FieldByName(u"DSDATA")->AsString();
  visitas_.erase(std::remove_if(visitas_.begin(), visitas_.end(),
                                [&](const VisitaLaudo& o) {
                                  return o.data.toString(QStringLiteral("dd/MM/yyyy")) == data;
                                }),
                 visitas_.end());
  MostraVisitas();
  EntradaChange(sender);
}

void TfrmAvaliacao::btnAbrirVisitasClick(QObject* sender) {
  QString path;
  if (!fw::Dialogs().OpenFileName(QStringLiteral("Abrir visitas"),
                                  QStringLiteral("Visitas (*.csv);;Todos os arquivos (*)"), path))
    return;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    fw::MensErro(QStringLiteral("Não foi possível ler o arquivo %1: %2. As visitas na tela "
                                "continuam as mesmas.")
                     .arg(path, file.errorString()));
  QString erro;
  if (!LeVisitas(file.readAll(), visitas_, erro)) fw::MensErro(erro);
  MostraVisitas();
  EntradaChange(sender);
}

void TfrmAvaliacao::btnSalvarVisitasClick(QObject*) {
  const QString nome = edtNome->text().trimmed();
  QString path = fw::FileNameOf(
      nome.isEmpty() ? QStringLiteral("Visitas") : QStringLiteral("Visitas de ") + nome,
      QStringLiteral("visitas"), QStringLiteral(".csv"));
  if (!fw::Dialogs().SaveFileName(QStringLiteral("Salvar visitas como"),
                                  QStringLiteral("Visitas (*.csv)"), path))
    return;
  QSaveFile file(path);
  const QByteArray csv = EscreveVisitas(visitas_);
  if (!file.open(QIODevice::WriteOnly) || file.write(csv) != csv.size() || !file.commit())
    fw::MensErro(QStringLiteral("Não foi possível gravar o arquivo %1: %2. As visitas continuam "
                                "na tela.")
                     .arg(path, file.errorString()));
}

}  // namespace trp::avaliacao
