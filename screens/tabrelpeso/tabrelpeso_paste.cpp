// A block pasted from a spreadsheet into a rows grid: spread from the
// current cell to the right and down, every cell read by the typing rules of
// its column (keys included), rows added below the last as needed, asked
// once, then each row saved through the normal post (its checks and the
// plausibility question). A block that does not fit changes nothing.

#include "framework/data/errors.h"
#include "framework/data/paste_block.h"
#include "framework/ui/consiste.h"
#include "framework/ui/dialogs.h"
#include "screens/tabrelpeso/tabrelpeso_form.h"
#include "screens/tabrelpeso/tabrelpeso_values_p.h"

#include <algorithm>
#include <optional>

namespace trp::tabrelpeso {

namespace {

constexpr int kIntDigits = 3;

QString Plural(qsizetype n, const char* um, const char* varios) {
  return QStringLiteral("%1 %2").arg(n).arg(QString::fromUtf8(n == 1 ? um : varios));
}

[[noreturn]] void Recusa(const QString& why) {
  fw::MensErro(why + QStringLiteral(" Nada foi colado."));
  throw fw::EAbort();  // MensErro aborts; this tells the compiler
}

}  // namespace

QHash<QString, int> TfrmTabRelPeso::CasasDaTabela(const Tabela& table) const {
  QHash<QString, int> casas;
  if (&table == &idade_) {
    casas = DecimaisIdade("MAS");
    casas.insert(DecimaisIdade("FEM"));
    casas.insert(QStringLiteral("NRIDADEINI"), 0);
    casas.insert(QStringLiteral("NRIDADEFIN"), 0);
  } else if (&table == &altura_) {
    casas = DecimaisAltura();
  } else {
    casas = DecimaisNCHS("MAS");
    casas.insert(DecimaisNCHS("FEM"));
  }
  return casas;
}

void TfrmTabRelPeso::ColaBloco(fw::DBGrid* grid, const QString& text) {
  const Tabela* achada = nullptr;
  for (const Tabela* t : {&idade_, &altura_, &nchs_})
    if (t->rowGrids.contains(grid)) achada = t;
  fw::Dataset* rows = grid->DataSet();
  if (!achada || !rows || !rows->Active()) return;
  const Tabela& table = *achada;
  const QList<QStringList> bloco = fw::SplitBlock(text);
  qsizetype largura = 0;
  for (const QStringList& linha : bloco) largura = std::max(largura, linha.size());
  const int inicio = grid->SelectedIndex();

  // The columns the block covers, from the current one.
  if (inicio + largura > grid->ColumnCount()) {
    const fw::Field* f = grid->Column(inicio)->GetField();
    Recusa(QStringLiteral("O bloco colado tem %1, mas da coluna %2 em diante a grade tem %3.")
               .arg(Plural(largura, "coluna", "colunas"), f->DisplayLabel().trimmed(),
                    Plural(grid->ColumnCount() - inicio, "coluna", "colunas")));
  }
  QList<fw::Field*> campos;
  for (int c = 0; c < largura; ++c) {
    const fw::DBGridColumn* column = grid->Column(inicio + c);
    fw::Field* f = column ? column->GetField() : nullptr;
    if (!f || column->ReadOnly())
      Recusa(QStringLiteral("A coluna %1 não recebe valores.")
                 .arg(f ? f->DisplayLabel().trimmed() : QString::number(inicio + c + 1)));
    campos.append(f);
  }

  // Where each line goes: the current row, then the rows below it, then new
  // rows; a row being added takes only new rows after it.
  const bool inserindo = rows->State() == fw::DatasetState::Insert;
  const bool editando = rows->State() == fw::DatasetState::Edit;
  const QString chaves = table.rowKeys.join(u';');
  QList<std::optional<QVariantList>> alvos;  // the key of an existing row, empty for a new one
  for (qsizetype i = 0; i < bloco.size(); ++i) {
    const int r = rows->RecNo() + int(i);
    if (inserindo || rows->IsEmpty() || r >= rows->RecordCount()) {
      alvos.append(std::nullopt);
      continue;
    }
    QVariantList chave;
    for (const QString& k : table.rowKeys)
      chave.append(i == 0 ? rows->FieldByName(k)->Value()
                          : rows->ValueAt(r, rows->FieldByName(k)->Index()));
    alvos.append(chave);
  }

  // Every cell is read before anything changes.
  const QHash<QString, int> casas = CasasDaTabela(table);
  QList<QList<std::optional<double>>> valores;
  for (qsizetype i = 0; i < bloco.size(); ++i) {
    QList<std::optional<double>> linha;
    for (int c = 0; c < largura; ++c) {
      const fw::Field* f = campos[c];
      const QString celula = bloco[i].value(c);
      const fw::PastedNumber n =
          fw::ParsePastedNumber(celula, kIntDigits, casas.value(f->FieldName(), 3));
      const QString onde = QStringLiteral("Linha %1 do bloco, coluna %2 (\"%3\"): ")
                               .arg(i + 1)
                               .arg(f->DisplayLabel().trimmed(), celula);
      if (!n.refusal.isEmpty()) Recusa(onde + n.refusal + u'.');
      const int k = int(table.rowKeys.indexOf(f->FieldName()));
      if (k >= 0 && alvos[i] && n.value && *n.value != alvos[i]->value(k).toDouble())
        Recusa(onde + QStringLiteral("a linha já gravada tem %1, e a chave só se digita numa "
                                     "linha nova.")
                          .arg(f->DisplayTextOf(alvos[i]->value(k))));
      linha.append(n.value);
    }
    if (!alvos[i]) {
      QStringList faltam;
      for (const QString& k : table.rowKeys) {
        const qsizetype c = campos.indexOf(rows->FieldByName(k));
        const bool digitada = inserindo && i == 0 && !rows->FieldByName(k)->IsNull();
        if ((c < 0 || !linha[c]) && !digitada)
          faltam << rows->FieldByName(k)->DisplayLabel().trimmed();
      }
      if (!faltam.isEmpty())
        Recusa(QStringLiteral("Linha %1 do bloco: uma linha nova precisa de %2.")
                   .arg(i + 1)
                   .arg(faltam.join(QStringLiteral(" e "))));
    }
    valores.append(linha);
  }

  const QString pergunta =
      QStringLiteral("Colar %1 × %2?")
          .arg(Plural(bloco.size(), "linha", "linhas"), Plural(largura, "coluna", "colunas"));
  if (fw::Dialogs().Message(pergunta, fw::MsgType::Confirmation, fw::mbYesNo, 0) != fw::mbYes)
    return;
  grid->CloseEditor(false);  // its cell is the block's first

  for (qsizetype i = 0; i < bloco.size(); ++i) {
    try {
      if (alvos[i]) {
        if (!(i == 0 && editando)) {
          if (!rows->Locate(chaves, *alvos[i]))
            fw::MensErro(QStringLiteral("A linha %1 do bloco não está mais na tabela.").arg(i + 1));
          rows->Edit();
        }
      } else if (!(i == 0 && inserindo)) {
        rows->Append();
      }
      for (int c = 0; c < largura; ++c) {
        // A key of an existing row stays as it is (checked equal above).
        if (alvos[i] && table.rowKeys.contains(campos[c]->FieldName())) continue;
        if (valores[i][c])
          campos[c]->SetAsFloat(*valores[i][c]);
        else
          campos[c]->Clear();
      }
      rows->Post();
    } catch (...) {
      // The row in question stays as pasted for the user to correct.
      if (i + 1 < bloco.size())
        fw::Dialogs().ShowStatus(QStringLiteral("Colagem parada na linha %1 de %2: as seguintes "
                                                "não foram coladas")
                                     .arg(i + 1)
                                     .arg(bloco.size()));
      throw;
    }
  }
  grid->SetSelectedIndex(inicio);
  fw::Dialogs().ShowStatus(
      QStringLiteral("Bloco colado: %1").arg(Plural(bloco.size(), "linha", "linhas")));
}

}  // namespace trp::tabrelpeso
