// The import wizard opened from the module's entry as a child of the host
// window on the real server, driven with the mouse and the keyboard: a file
// saved by LibreOffice into a new reference, and cells pasted from a
// spreadsheet with an implausible value marked before anything is stored.

#include "screen_fixture.h"

#include "screens/importacao/importacao_form.h"
#include "server/admin.h"
#include "server/storage.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QPointer>
#include <QTest>

extern "C" void CriaImportacao();

namespace trp::importacao {
extern QPointer<TfrmImportacao> frmImportacao;
}

namespace {

using trp::importacao::TfrmImportacao;

class ImportacaoTest : public screentest::ScreenTest {
 protected:
  void SetUp() override {
    ScreenTest::SetUp();
    StartServer();
    CriaImportacao();
    Flush();
    screen_ = trp::importacao::frmImportacao;
    ASSERT_NE(screen_, nullptr);
    (void)QTest::qWaitForWindowActive(main_.get());
  }
  void TearDown() override {
    if (screen_) screen_->Close();
    Flush();
    ScreenTest::TearDown();
  }
  void Click(QWidget* w) {
    QTest::mouseClick(w, Qt::LeftButton);
    Flush();
  }
  void TypeInto(QWidget* edit, const QString& text) {
    QTest::mouseClick(edit, Qt::LeftButton);
    QTest::keyClicks(edit, text);
    Flush();
  }
  void ClickImportar() {
    QTest::mouseClick(screen_->ToolButton(QStringLiteral("sbtImportar")), Qt::LeftButton);
    Flush();
  }
  qint64 Count(const std::string& sql) {
    auto db = srv::OpenDb(database_);
    return srv::QueryInt(*db, sql, {}, -1);
  }
  QPointer<TfrmImportacao> screen_;
};

TEST_F(ImportacaoTest, AFileSavedByLibreOfficeBecomesANewReferenceWithoutTypingAValue) {
  EXPECT_FALSE(screen_->ToolButton(QStringLiteral("sbtImportar"))->isEnabled());
  dialogs_.QueueOpenFile(QStringLiteral(TRP_SOURCE_DIR "/tests/import/data/servico.ods"));
  Click(screen_->btnAbrir);
  // The headers (merged over two rows) said what the columns are.
  EXPECT_EQ(screen_->edtColunas->text(), QStringLiteral("A=chave,B=P3,C=P50,D=P97"));
  EXPECT_TRUE(screen_->lblMapa->text().contains(QStringLiteral("linha 3")))
      << screen_->lblMapa->text().toStdString();
  TypeInto(screen_->edtCodigo, QStringLiteral("07"));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("Servico local"));
  TypeInto(screen_->memCitacao, QStringLiteral("Tabela do servico, 2024."));
  Click(screen_->btnPrevia);
  ASSERT_TRUE(screen_->TemPrevia()) << screen_->lblResumo->text().toStdString()
                                    << dialogs_.MessageTexts().join('\n').toStdString();
  EXPECT_EQ(screen_->tblPrevia->rowCount(), 21);
  EXPECT_TRUE(screen_->lblResumo->text().startsWith(QStringLiteral("21 linha(s) por idade")));
  EXPECT_EQ(Count("SELECT COUNT(*) FROM REFEBIBL WHERE CDREFEBIBL = '07'"), 0);

  dialogs_.QueueAnswer(fw::mbYes);
  ClickImportar();
  EXPECT_EQ(Count("SELECT COUNT(*) FROM REFEBIBL WHERE CDREFEBIBL = '07' AND NMREFEBIBL = "
                  "'Servico local' AND DSCITACAO = 'Tabela do servico, 2024.'"),
            1);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM PESALTIDADE WHERE CDREFEBIBL = '07' AND VRPESOMASIDA IS "
                  "NOT NULL AND VRPESOFEMIDA IS NOT NULL"),
            21);
  // The rows and the reference's own creation, filed under its code.
  EXPECT_EQ(Count("SELECT COUNT(*) FROM AUDITORIA WHERE NMMETODO = 'ImportaTabela' AND "
                  "NMUSUARIO = 'teste' AND CDREFEBIBL = '07' AND NMTABELA <> 'REFEBIBL'"),
            21);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM AUDITORIA WHERE NMMETODO = 'ImportaTabela' AND "
                  "CDREFEBIBL = '07' AND NMTABELA = 'REFEBIBL'"),
            1);
  // The preview is gone with the import; the new reference is in the list.
  EXPECT_FALSE(screen_->TemPrevia());
  EXPECT_EQ(screen_->cbbReferencia->currentData().toString(), QStringLiteral("07"));
}

TEST_F(ImportacaoTest, PastedCellsShowTheOddValueMarkedAndAnEditDropsThePreview) {
  QApplication::clipboard()->setText(
      "Sexo\tIdade (meses)\tP50\n1\t0\t3,3\n1\t1\t4,5\n1\t2\t45\n1\t3\t6,4\n1\t4\t7,0\n");
  Click(screen_->btnColar);
  screen_->cbbReferencia->setFocus();
  // The reference 04 of the sample, picked with the keyboard.
  while (screen_->cbbReferencia->currentData().toString() != QLatin1String("04") &&
         screen_->cbbReferencia->currentIndex() < screen_->cbbReferencia->count() - 1)
    QTest::keyClick(screen_->cbbReferencia, Qt::Key_Down);
  Flush();
  Click(screen_->btnPrevia);
  ASSERT_TRUE(screen_->TemPrevia());
  // 45 kg at two months: marked on its cell, with the file's line and column.
  QTableWidgetItem* marked = nullptr;
  for (int r = 0; r < screen_->tblPrevia->rowCount(); ++r)
    for (int c = 0; c < screen_->tblPrevia->columnCount(); ++c)
      if (auto* item = screen_->tblPrevia->item(r, c); item && item->text() == u"45") marked = item;
  ASSERT_NE(marked, nullptr);
  EXPECT_TRUE(marked->toolTip().startsWith(QStringLiteral("Linha 4, coluna C do arquivo: salto")))
      << marked->toolTip().toStdString();
  EXPECT_GT(screen_->lstOcorrencias->count(), 0);
  EXPECT_TRUE(screen_->ToolButton(QStringLiteral("sbtImportar"))->isEnabled());
  // Any change of what is imported drops the preview until Pré-visualizar.
  TypeInto(screen_->edtPercentis, QStringLiteral(",15"));
  EXPECT_FALSE(screen_->TemPrevia());
  EXPECT_FALSE(screen_->ToolButton(QStringLiteral("sbtImportar"))->isEnabled());
  EXPECT_EQ(Count("SELECT COUNT(*) FROM PESALTIDADE WHERE CDREFEBIBL = '04'"), 0);
}

}  // namespace

namespace {

// Exportar on the maintenance screen: the current reference to XLSX, read
// back as the same rows the database holds.
class ExportarTest : public screentest::SampleScreenTest {};

TEST_F(ExportarTest, TheCurrentReferenceGoesToXlsxWithTheSameRows) {
  const QString path = dir_->filePath(QStringLiteral("ref01.xlsx"));
  dialogs_.QueueSaveFile(path);
  form_->findChild<QAction*>(QStringLiteral("mnuExportar"))->trigger();
  Flush();
  ASSERT_TRUE(QFile::exists(path)) << dialogs_.MessageTexts().join('\n').toStdString();
  const trp::tableimport::Result back =
      trp::tableimport::ReadExported(trp::sheet::ReadWorkbook(path));
  ASSERT_TRUE(back.errors.empty());
  const srv::ExportedReference stored = srv::ReadForExport(
      database_, form_->cdsReferencia->FieldByName(u"CDREFEBIBL")->AsString(),
      {srv::TableId::Age, srv::TableId::Height, srv::TableId::Nchs}, {});
  QList<QVariantMap> file, db;
  for (const auto& r : back.rows.age) file << r.Columns();
  for (QVariantMap r : stored.tables[0].rows) {
    r.remove(QStringLiteral("CDREFEBIBL"));
    db << r;
  }
  ASSERT_FALSE(db.isEmpty());
  auto same = [](QList<QVariantMap> rows) {
    for (QVariantMap& r : rows)
      for (auto it = r.begin(); it != r.end();)
        it = it.value().isNull() ? r.erase(it) : std::next(it);
    return rows;
  };
  EXPECT_EQ(same(file), same(db));
  EXPECT_EQ(back.rows.height.size(), size_t(stored.tables[1].rows.size()));
  EXPECT_EQ(back.rows.nchs.size(), size_t(stored.tables[2].rows.size()));
}

}  // namespace
