// The master tables screen as a person uses it: the real host on its
// embedded server and a fresh sample database, the screen opened from the
// Cadastros menu, the toolbar clicked and the keys typed; then the
// maintenance screen, a second MDI child, offers the new reference at once.

#include "framework/ui/consiste.h"
#include "framework/ui/scripted_dialogs.h"
#include "host/hostapp.h"
#include "host/mainwindow.h"
#include "screens/cadreferencia/cadreferencia_form.h"
#include "screens/historico/historico_form.h"
#include "screens/tabrelpeso/tabrelpeso_form.h"
#include "screens/tabrelpeso/tabrelpeso_module.h"
#include "server/master_data.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using trp::cadreferencia::TfrmCadReferencia;

namespace {

class UserEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    qputenv("HOME", home_.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", home_.filePath(".config").toUtf8());
    qputenv("XDG_DATA_HOME", home_.filePath(".local/share").toUtf8());
    app_ = std::make_unique<QApplication>(argc_, argv_);
    QApplication::setApplicationName("tabrelpeso");
  }
  void TearDown() override { app_.reset(); }

 private:
  static inline QTemporaryDir home_;
  int argc_ = 1;
  char name_[16] = "cadreferencia";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};
const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new UserEnvironment);

void Flush() {
  for (int i = 0; i < 3; ++i) {
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
}

template <class Done>
void WaitFor(Done done) {
  QDeadlineTimer deadline(10000);
  while (!done() && !deadline.hasExpired())
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

void Click(fw::TfrmPadraoGrid* form, const char* button) {
  QToolButton* b = form->ToolButton(QLatin1String(button));
  ASSERT_NE(b, nullptr) << button;
  QTest::mouseClick(b, Qt::LeftButton);
  Flush();
}

// Keys as typed, accents included (QTest's key table is ASCII only).
void Type(const QString& text) {
  for (QChar c : text) {
    QWidget* target = QApplication::focusWidget();
    ASSERT_NE(target, nullptr);
    if (c.unicode() < 128) {
      QTest::keyClick(target, c.toLatin1());
    } else {
      QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
      QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
      QApplication::sendEvent(target, &press);
      QApplication::sendEvent(target, &release);
    }
  }
  Flush();
}

void Key(Qt::Key key) {
  ASSERT_NE(QApplication::focusWidget(), nullptr);
  QTest::keyClick(QApplication::focusWidget(), key);
  Flush();
}

QString Text(const fw::Dataset* ds, const char* field) {
  return ds->FieldByName(QString::fromLatin1(field))->AsString();
}

TEST(MasterScreen, ANewReferenceAndPercentileAreKeptAndOfferedAtOnce) {
  const host::ParsedArguments parsed = host::ParseHostArguments({"tabrelpeso"});
  fw::ScriptedDialogs dialogs;
  host::HostApp app(parsed.config, &dialogs);
  app.Start();
  app.Window()->show();
  QApplication::setActiveWindow(app.Window());
  const QString database = parsed.config.EffectiveDatabase();

  app.Window()->ReferencesAction()->trigger();
  auto* form = app.Window()->MdiArea()->findChild<TfrmCadReferencia*>("frmCadReferencia");
  ASSERT_NE(form, nullptr) << dialogs.MessageTexts().join('\n').toStdString();
  fw::Dataset* refs = form->cdsReferencia;
  WaitFor([&] { return refs->RecordCount() == 5; });
  ASSERT_EQ(refs->RecordCount(), 5) << dialogs.MessageTexts().join('\n').toStdString();

  // Reference "6" with a two-line citation.
  Click(form, "sbtIncluir");
  Type(QStringLiteral("6"));
  Key(Qt::Key_Tab);
  EXPECT_EQ(Text(refs, "CDREFEBIBL"), "06");  // adjusted on leaving the code
  Type(QStringLiteral("Referência nacional"));
  QTest::mouseClick(form->memCitacao->viewport(), Qt::LeftButton);
  Type(QStringLiteral("Autor A."));
  Key(Qt::Key_Return);
  Type(QStringLiteral("Título, 2026."));
  Click(form, "sbtConfirmar");
  EXPECT_EQ(dialogs.MessageTexts(), QStringList());
  EXPECT_EQ(refs->State(), fw::DatasetState::Browse);
  {
    auto db = srv::OpenDb(database);
    const auto stored = srv::FindReference(*db, "06");
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(stored->name, "Referência nacional");
    EXPECT_EQ(stored->citation.value_or(""), "Autor A.\nTítulo, 2026.");
  }
  const auto cached = app.Cache().Table("REFEBIBL");
  EXPECT_TRUE(
      std::any_of(cached.begin(), cached.end(), [](const auto& r) { return r.first == "06"; }));

  // A reference in use is refused with its counts; the row stays.
  ASSERT_TRUE(refs->Locate("CDREFEBIBL", QStringLiteral("01")));
  dialogs.QueueAnswer(fw::mbYes);
  Click(form, "sbtExcluir");
  EXPECT_TRUE(dialogs.LastMessage().text.contains("está em uso"))
      << dialogs.LastMessage().text.toStdString();
  EXPECT_TRUE(refs->Locate("CDREFEBIBL", QStringLiteral("01")));
  dialogs.Clear();

  // Cadastros › Percentis: the same screen on its other page. A taken code is
  // refused and the typing stays; a new one is kept with its value.
  app.Window()->PercentilesAction()->trigger();
  Flush();
  EXPECT_EQ(form->pgcPadrao->ActivePage(), form->tshPercentil);
  fw::Dataset* percs = form->cdsPercentil;
  Click(form, "sbtIncluir");
  Type(QStringLiteral("15"));
  Key(Qt::Key_Tab);
  Type(QStringLiteral("Outro"));
  Click(form, "sbtConfirmar");
  EXPECT_TRUE(dialogs.LastMessage().text.contains("Percentil '015' já cadastrado"))
      << dialogs.MessageTexts().join('\n').toStdString();
  EXPECT_EQ(percs->State(), fw::DatasetState::Insert);
  EXPECT_EQ(Text(percs, "NMPERCENTIL"), "Outro");
  Click(form, "sbtCancelar");
  dialogs.Clear();
  Click(form, "sbtIncluir");
  Type(QStringLiteral("7"));
  Key(Qt::Key_Tab);
  Type(QStringLiteral("Percentil 7"));
  Key(Qt::Key_Tab);
  Type(QStringLiteral("7"));
  Click(form, "sbtConfirmar");
  EXPECT_EQ(dialogs.MessageTexts(), QStringList());
  {
    auto db = srv::OpenDb(database);
    const auto stored = srv::FindPercentile(*db, "007");
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(stored->value.value_or(0), 7);
  }

  // The maintenance screen, a second MDI child, offers "06" in its search.
  app.Window()->ModuleAction()->trigger();
  WaitFor([] { return trp::tabrelpeso::frmTabRelPeso && !trp::tabrelpeso::boPrimVez; });
  trp::tabrelpeso::TfrmTabRelPeso* tables = trp::tabrelpeso::frmTabRelPeso;
  ASSERT_NE(tables, nullptr);
  EXPECT_EQ(app.Window()->MdiArea()->subWindowList().size(), 2);
  Click(tables, "sbtIncluir");
  fw::DBGrid* grid = tables->dbgPadrao;
  const QModelIndex cell = grid->model()->index(tables->cdsReferencia->RecNo(), 0);
  ASSERT_TRUE(grid->IsCellButton(cell));
  dialogs.QueuePick(QStringLiteral("CDREFEBIBL"), QStringLiteral("06"));
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->CellButtonRect(cell).center());
  Flush();
  EXPECT_EQ(Text(tables->cdsReferencia, "CDREFEBIBL"), "06");
  EXPECT_EQ(Text(tables->cdsReferencia, "NMREFEBIBL"), "Referência nacional");
  Click(tables, "sbtConfirmar");
  EXPECT_EQ(dialogs.MessageTexts(), QStringList());
  EXPECT_EQ(tables->cdsReferencia->State(), fw::DatasetState::Browse);
}

void ClickCell(fw::DBGrid* grid, int row, int column) {
  const QModelIndex index = grid->model()->index(row, column);
  grid->scrollTo(index);
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(index).center());
  Flush();
}

TEST(MasterScreen, ARenamedReferenceShowsAtOnceOnTheOpenTableScreenAndInItsHistory) {
  const host::ParsedArguments parsed = host::ParseHostArguments({"tabrelpeso"});
  fw::ScriptedDialogs dialogs;
  host::HostApp app(parsed.config, &dialogs);
  app.Start();
  app.Window()->show();
  QApplication::setActiveWindow(app.Window());

  // The table screen first, open on reference 02.
  app.Window()->ModuleAction()->trigger();
  WaitFor([] { return trp::tabrelpeso::frmTabRelPeso && !trp::tabrelpeso::boPrimVez; });
  trp::tabrelpeso::TfrmTabRelPeso* tables = trp::tabrelpeso::frmTabRelPeso;
  ASSERT_NE(tables, nullptr);
  ASSERT_TRUE(tables->cdsReferencia->Locate("CDREFEBIBL", QStringLiteral("02")));
  const QString old = Text(tables->cdsReferencia, "NMREFEBIBL");

  // Renamed in Cadastros › Referências bibliográficas, by keys.
  app.Window()->ReferencesAction()->trigger();
  auto* form = app.Window()->MdiArea()->findChild<TfrmCadReferencia*>("frmCadReferencia");
  ASSERT_NE(form, nullptr);
  fw::Dataset* refs = form->cdsReferencia;
  WaitFor([&] { return refs->RecordCount() >= 5; });
  ASSERT_TRUE(refs->Locate("CDREFEBIBL", QStringLiteral("02")));
  const int name = fw::IndiceCol(form->dbgPadrao, "NMREFEBIBL");
  ClickCell(form->dbgPadrao, refs->RecNo(), name);
  Click(form, "sbtAlterar");
  ClickCell(form->dbgPadrao, refs->RecNo(), name);
  Key(Qt::Key_F2);
  QLineEdit* editor = form->dbgPadrao->Editor();
  ASSERT_NE(editor, nullptr);
  editor->selectAll();
  Type(QStringLiteral("OMS 2006/2007 revista"));
  Click(form, "sbtConfirmar");
  ASSERT_EQ(dialogs.MessageTexts(), QStringList());
  ASSERT_EQ(Text(refs, "NMREFEBIBL"), QStringLiteral("OMS 2006/2007 revista"));

  // The open table screen shows the new name without Verificar.
  tables->dbgPadrao->setFocus();
  EXPECT_TRUE(tables->cdsReferencia->Locate("CDREFEBIBL", QStringLiteral("02")));
  EXPECT_EQ(Text(tables->cdsReferencia, "NMREFEBIBL").toStdString(), "OMS 2006/2007 revista");

  // Its history has the rename, under its code, in words.
  app.Window()->MdiArea()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(tables->parentWidget()));
  Flush();
  tables->pgcPadrao->setCurrentIndex(0);
  Click(tables, "sbtHistorico");
  trp::historico::TfrmHistorico* history = tables->frmHistorico;
  ASSERT_NE(history, nullptr);
  int line = -1;
  for (int r = 0; r < history->Linhas() && line < 0; ++r)
    if (history->grdHistorico->item(r, 2)->text() == QStringLiteral("Alterado") &&
        history->grdHistorico->item(r, 3)->text() == QStringLiteral("Referência bibliográfica"))
      line = r;
  ASSERT_GE(line, 0) << "the rename is not in the reference's history";
  EXPECT_EQ(history->grdHistorico->item(line, 4)->text(), QStringLiteral("02"));
  history->grdHistorico->selectRow(line);
  Flush();
  bool named = false;
  for (int r = 0; r < history->grdValores->rowCount(); ++r)
    if (history->grdValores->item(r, 0)->text() == QStringLiteral("Nome")) {
      named = true;
      EXPECT_EQ(history->grdValores->item(r, 1)->text().toStdString(), old.toStdString());
      EXPECT_EQ(history->grdValores->item(r, 2)->text().toStdString(), "OMS 2006/2007 revista");
    }
  EXPECT_TRUE(named);
}

}  // namespace
