#pragma once
// TfrmHistorico: the history of a reference, a percentile or a row of the
// maintenance screen: when, who, what (inserted, changed, deleted) and the
// values before and after side by side, the changed ones marked. From a
// deletion a maintainer restores the deleted rows ("Restaurar"); readers see
// the history only. A window of its own beside the screen.

#include "framework/data/packet.h"
#include "framework/net/netconnection.h"
#include "framework/ui/dialog_forms.h"

#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QList>
#include <QPushButton>
#include <QTableWidget>

#include <functional>

namespace trp::historico {

// What the window shows the history of. Empty parts match anything.
struct Contexto {
  QString tabela;      // stored table name ("PESALTIDADE"); empty: the three tables
  QString referencia;  // reference code
  QString percentil;   // percentile code
  QString chave;       // a row's key as the server stores it ("2/6", "110.5")
  QString usuario;     // who made the change
  QString desde;       // "DD/MM/AAAA" or "AAAA-MM-DD"
  QString descricao;   // for the title: "da referência 01 - CDC 2000"
  // What a restore from this window puts back: "L" the row, "P" the
  // percentile's deletion, "R" the whole reference's.
  QString abrangencia;
  // Per table, its columns in the screen's order, the labels users know
  // (the sex named where the table holds both) and the display formats that
  // give each value its column's decimals.
  QHash<QString, QStringList> colunas;
  QHash<QString, QHash<QString, QString>> rotulos;
  QHash<QString, QHash<QString, QString>> formatos;
  QHash<QString, QString> nomesTabelas;  // "PESALTIDADE" -> "Idade/Peso/Altura"
};

// One line of the before/after comparison.
struct Valor {
  QString campo;          // column name
  QString antes, depois;  // as users read them (decimal comma); empty: none
  bool alterado = false;
};

// Compares a stored row before and after a change (JSON objects; an empty
// text: no row). Columns in `ordem` first, then any others by name. Every
// column counts as changed for an insert or a deletion. A number is shown
// with its column's display format in `formatos` (none: as stored).
QList<Valor> ComparaValores(const QString& antes, const QString& depois, const QStringList& ordem,
                            const QHash<QString, QString>& formatos = {});

// A field's label with its sex where the name carries it ("VRPESOMASIDA":
// "Peso (kg), masculino"), unless the label says it already.
QString RotuloComSexo(const QString& campo, const QString& rotulo);

// A row key as users read it: "2 ano(s) e 6 mês(es)", "110,5 cm".
QString ChaveLegivel(const QString& tabela, const QString& chave);

// What a restore of the audit line `registro` puts back: "L" the row, "P" a
// percentile's deletion, "R" a whole reference's (a deletion made in one
// action over the three tables).
QString AbrangenciaDaLinha(const QVariantMap& registro);

// The key text the server stores for a row of `tabela`.
QString ChaveDaLinha(const QString& tabela, const QVariantMap& linha);

class TfrmHistorico : public fw::TfrmDialogBase {
  Q_OBJECT
 public:
  TfrmHistorico(fw::TNetConnection& net, Contexto contexto, QWidget* parent = nullptr);

  QLabel* lblContexto;
  // Filters the user may change: reference, percentile, user, since when.
  QLineEdit* edtReferencia;
  QLineEdit* edtPercentil;
  QLineEdit* edtUsuario;
  QLineEdit* edtDesde;
  QPushButton* btnFiltrar;
  QTableWidget* grdHistorico;  // one line an audit row, newest first
  QTableWidget* grdValores;    // Campo, Antes, Depois of the selected line
  QPushButton* btnMaisAntigos;
  QPushButton* btnRestaurar;
  QPushButton* btnAjuda;
  QPushButton* btnFechar;

  // After a restore, so that the screen reloads what it shows.
  std::function<void()> AposRestaurar;

  void FormCreate(QObject* sender) override;
  // Reads the newest page again.
  void Carrega();
  void btnMaisAntigosClick();
  // Takes the filters typed: a changed reference or percentile widens the
  // history to every table (and every row) of it; a restore then puts back
  // the deletion of the percentile, or of the whole reference.
  void btnFiltrarClick();
  void grdHistoricoSelecao();
  // Asks, then restores the selected deletion through the server.
  void btnRestaurarClick();

  bool PodeRestaurar() const { return podeRestaurar_; }
  int Linhas() const { return grdHistorico->rowCount(); }

 private:
  void Acrescenta(const fw::DataPacket& pagina);
  QString PerguntaRestaurar(const QVariantMap& registro) const;
  void CarregaPagina(qint64 antes);
  fw::TNetConnection& net_;
  Contexto contexto_;
  QList<QVariantMap> registros_;
  bool podeRestaurar_ = false;
  qint64 proximo_ = 0;
};

}  // namespace trp::historico
