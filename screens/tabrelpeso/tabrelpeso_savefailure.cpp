// A row the server did not take: the screen is put back to what the server
// holds (re-read, so that a value another user saved meanwhile is what the
// grid shows) and the message names what was typed and not saved.

#include "framework/data/errors.h"
#include "framework/net/checkresult.h"
#include "framework/ui/consiste.h"
#include "screens/tabrelpeso/tabrelpeso_form.h"
#include "screens/tabrelpeso/tabrelpeso_values_p.h"
#include "services/framework_services.h"

namespace trp::tabrelpeso {

namespace {

QString Plural(int n, const char* um, const char* varios) {
  return QStringLiteral("%1 %2").arg(n).arg(QString::fromUtf8(n == 1 ? um : varios));
}

// Where a row sits: "aos 0 anos e 1 mês", "com 110,5 cm de altura".
QString Onde(const fw::DeltaPacket& delta, const QVariantList& row, bool porIdade,
             const QString& chave) {
  const auto value = [&](const char* name) {
    const int c = delta.fieldIndex(QString::fromLatin1(name));
    return c < 0 ? QVariant() : row.value(c);
  };
  if (porIdade)
    return QStringLiteral("aos %1 e %2")
        .arg(Plural(value("NRIDADEINI").toInt(), "ano", "anos"),
             Plural(value("NRIDADEFIN").toInt(), "mês", "meses"));
  const int c = delta.fieldIndex(chave);
  return QStringLiteral("com %1 cm de altura").arg(fw::FloatToStr(row.value(c).toDouble()));
}

}  // namespace

void TfrmTabRelPeso::FalhaGravacao(const Tabela& table, const fw::DeltaPacket& delta,
                                   const QString& erro) {
  const bool porIdade = &table == &idade_;
  const bool nchs = &table == &nchs_;
  const QString chave = table.rowKeys.value(0);
  // The columns, with the sex where one grid shows both.
  QList<std::pair<QString, QString>> nomes;  // field, name
  for (const Coluna& c : Colunas(porIdade, nchs)) {
    const QString nome = Nome(c.quantity, c.statistic);
    const bool ambos = &table == &altura_;
    nomes.append({QString::fromLatin1(c.masc), ambos ? nome + QStringLiteral(" masculino") : nome});
    nomes.append({QString::fromLatin1(c.fem), ambos ? nome + QStringLiteral(" feminino") : nome});
  }
  QStringList naoGravado;
  QStringList chaveCampos{QStringLiteral("CDREFEBIBL"), QStringLiteral("CDPERCENTIL")};
  chaveCampos += table.rowKeys;
  QVariantList linha;                         // the key of the first row, to find it again
  QList<std::pair<QString, QVariant>> antes;  // field, the value the user started from
  for (const fw::Change& change : delta.changes) {
    const QVariantList& row =
        change.op == fw::Change::Op::Delete ? change.oldValues : change.newValues;
    if (linha.isEmpty())
      for (const QString& k : chaveCampos) linha.append(row.value(delta.fieldIndex(k)));
    const QString onde = Onde(delta, row, porIdade, chave);
    if (change.op == fw::Change::Op::Delete) {
      naoGravado << QStringLiteral("a exclusão da linha ") + onde;
      continue;
    }
    QStringList valores;
    for (const auto& [campo, nome] : nomes) {
      const int c = delta.fieldIndex(campo);
      if (c < 0) continue;
      const QVariant novo = change.newValues.value(c);
      const QVariant velho =
          change.op == fw::Change::Op::Update ? change.oldValues.value(c) : QVariant();
      if (novo.isNull() && velho.isNull()) continue;
      if (!novo.isNull() && !velho.isNull() && novo.toDouble() == velho.toDouble()) continue;
      const QString texto = novo.isNull() ? QStringLiteral("(vazio)")
                                          : table.rows->FieldByName(campo)->DisplayTextOf(novo);
      valores << nome + u' ' + texto;
      if (change.op == fw::Change::Op::Update) antes.append({campo, velho});
    }
    if (valores.isEmpty()) valores << QStringLiteral("a linha");
    naoGravado << valores.join(QStringLiteral(", ")) + u' ' + onde;
  }

  // What the server holds now, when it can be asked.
  QStringList outro;
  const fw::ServerResult par = (rdm_.*table.recarrega)();
  if (par.ok) {
    *table.ultimoPar = par.payload;
    table.rows->SetData(services::PairOf(par.payload).linhas);
    if (!linha.isEmpty() && table.rows->Locate(chaveCampos.join(u';'), linha)) {
      for (const auto& [campo, velho] : antes) {
        const fw::Field* f = table.rows->FieldByName(campo);
        const bool mudou =
            f->IsNull() != velho.isNull() || (!f->IsNull() && f->AsFloat() != velho.toDouble());
        if (!mudou) continue;
        for (const auto& [c, nome] : nomes)
          if (c == campo)
            outro << nome + u' ' + (f->IsNull() ? QStringLiteral("(vazio)") : f->DisplayText());
      }
    } else if (!antes.isEmpty()) {
      outro << QStringLiteral("a linha foi excluída");
    }
  }
  QString texto = erro;
  if (!naoGravado.isEmpty())
    texto += QStringLiteral("\nNão foi gravado: ") + naoGravado.join(QStringLiteral("; ")) + u'.';
  if (!outro.isEmpty())
    texto += QStringLiteral("\nGravado agora por outro usuário: ") +
             outro.join(QStringLiteral(", ")) + u'.';
  fw::MensErro(texto);
}

}  // namespace trp::tabrelpeso
