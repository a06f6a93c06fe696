#pragma once
// The assessment screen opened from the module's entry as a child of the
// host window on the real server, driven with the mouse and the keyboard;
// the WHO's z computed here from the shipped LMS files with the WHO's
// formula, never taken from the program.

#include "screen_fixture.h"

#include "framework/ui/host_services.h"
#include "screens/avaliacao/avaliacao_form.h"

#include <QFile>
#include <QPointer>
#include <QProcess>
#include <QTest>

#include <cmath>

extern "C" void CriaAvaliacao();

namespace trp::avaliacao {
extern QPointer<TfrmAvaliacao> frmAvaliacao;
}

namespace avaliacaotest {

using trp::avaliacao::TfrmAvaliacao;

// z = ((y/M)^L - 1)/(L S) at the row of `file` (data/who) for sex 1 or 2 and
// the age in days; NaN when the file has no such row.
inline double WhoZ(const char* file, int sex, int ageDays, double y) {
  QFile f(QStringLiteral(TRP_SOURCE_DIR "/data/who/") + QLatin1String(file));
  if (!f.open(QIODevice::ReadOnly)) return std::nan("");
  while (!f.atEnd()) {
    const QList<QByteArray> c = f.readLine().trimmed().split('\t');
    if (c.size() < 5 || c[0].toInt() != sex || c[1] != QByteArray::number(ageDays)) continue;
    const double l = c[2].toDouble(), m = c[3].toDouble(), s = c[4].toDouble();
    return (std::pow(y / m, l) - 1) / (l * s);
  }
  return std::nan("");
}

// M at that row of `file`; NaN when absent.
inline double WhoM(const char* file, int sex, int ageDays) {
  QFile f(QStringLiteral(TRP_SOURCE_DIR "/data/who/") + QLatin1String(file));
  if (!f.open(QIODevice::ReadOnly)) return std::nan("");
  while (!f.atEnd()) {
    const QList<QByteArray> c = f.readLine().trimmed().split('\t');
    if (c.size() >= 5 && c[0].toInt() == sex && c[1] == QByteArray::number(ageDays))
      return c[3].toDouble();
  }
  return std::nan("");
}

// "0,24": a z as the printout shows it.
inline QString Shown(double z) {
  return QString::number(std::round(z * 100) / 100 + 0.0, 'f', 2).replace('.', ',');
}

inline QString Run(const QString& program, const QStringList& args) {
  QProcess p;
  p.start(program, args);
  if (!p.waitForFinished(60000)) return {};
  return QString::fromUtf8(p.readAllStandardOutput());
}

class AvaliacaoTest : public screentest::ScreenTest {
 protected:
  void SetUp() override {
    ScreenTest::SetUp();
    fw::Host::Instance().SetWindowStateFile(dir_->filePath(QStringLiteral("janelas.ini")));
    StartServer();
    OpenAvaliacao();
  }
  void OpenAvaliacao() {
    CriaAvaliacao();
    Flush();
    screen_ = trp::avaliacao::frmAvaliacao;
    ASSERT_NE(screen_, nullptr);
    (void)QTest::qWaitForWindowActive(main_.get());
  }
  void TearDown() override {
    if (screen_) screen_->Close();
    Flush();
    ScreenTest::TearDown();
  }
  // Clicks into `edit`, clears it and types `text` key by key.
  void TypeInto(QLineEdit* edit, const QString& text) {
    QTest::mouseClick(edit, Qt::LeftButton);
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClick(edit, Qt::Key_Home);
    QTest::keyClicks(edit, text);
    Flush();
  }
  void Choose(fw::ComboBox* combo, int index) {
    QTest::mouseClick(combo, Qt::LeftButton);
    combo->hidePopup();
    while (combo->currentIndex() < index) QTest::keyClick(combo, Qt::Key_Down);
    while (combo->currentIndex() > index) QTest::keyClick(combo, Qt::Key_Up);
    Flush();
  }
  void Avaliar() {
    QTest::mouseClick(screen_->btnAvaliar, Qt::LeftButton);
    Flush();
  }
  // The reference `code`'s item clicked and its box toggled with the space bar.
  void Toggle(const char* code) {
    QListWidget* list = screen_->lstReferencias;
    for (int i = 0; i < list->count(); ++i)
      if (list->item(i)->data(Qt::UserRole).toString() == QLatin1String(code)) {
        const QRect r = list->visualItemRect(list->item(i));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          QPoint(r.right() - 4, r.center().y()));
        QTest::keyClick(list, Qt::Key_Space);
        Flush();
        return;
      }
    ADD_FAILURE() << "no reference " << code;
  }
  QStringList Checked() const {
    QStringList codes;
    for (int i = 0; i < screen_->lstReferencias->count(); ++i)
      if (screen_->lstReferencias->item(i)->checkState() == Qt::Checked)
        codes << screen_->lstReferencias->item(i)->data(Qt::UserRole).toString();
    return codes;
  }
  // The row of `ref` and `indicator` made current; false when absent.
  bool Row(const char* ref, const char* indicator) {
    fw::Dataset* ds = screen_->cdsAvaliacao;
    if (!ds->Active()) return false;
    for (ds->First(); !ds->Eof(); ds->Next())
      if (ds->FieldByName(u"CDREFEBIBL")->AsString() == QLatin1String(ref) &&
          ds->FieldByName(u"CDINDICADOR")->AsString() == QLatin1String(indicator))
        return true;
    return false;
  }
  QString Text(const char* field) {
    return screen_->cdsAvaliacao->FieldByName(QString::fromLatin1(field))->AsString();
  }
  double Number(const char* field) {
    return screen_->cdsAvaliacao->FieldByName(QString::fromLatin1(field))->AsFloat();
  }
  // Every cell of the results grid is as wide as its text.
  void ExpectColumnsShowTheirText() {
    fw::DBGrid* grid = screen_->dbgPadrao;
    QAbstractItemModel* model = grid->model();
    for (int c = 0; c < model->columnCount(); ++c)
      for (int r = 0; r < model->rowCount(); ++r) {
        const QString text = model->index(r, c).data().toString();
        EXPECT_GE(grid->columnWidth(c), grid->fontMetrics().horizontalAdvance(text) + 4)
            << model->headerData(c, Qt::Horizontal).toString().toStdString() << ": "
            << text.toStdString();
      }
  }
  // "Salvar em PDF" clicked, answering `path`; the messages shown.
  QStringList SavePdf(const QString& path) {
    dialogs_.Clear();
    dialogs_.QueueSaveFile(path);
    QTest::mouseClick(screen_->ToolButton("sbtPdf"), Qt::LeftButton);
    Flush();
    return dialogs_.MessageTexts();
  }
  // The girl born on 10/01/2021 measured on 20/01/2024 (1105 days): 14,2 kg, 95 cm.
  void TypeGirl() {
    Choose(screen_->cbbSexo, 1);
    TypeInto(screen_->medNascimento, "10012021");
    TypeInto(screen_->medMedicao, "20012024");
    TypeInto(screen_->edtPeso, "14,2");
    TypeInto(screen_->edtMedida, "95");
  }
  QPointer<TfrmAvaliacao> screen_;
};

}  // namespace avaliacaotest
