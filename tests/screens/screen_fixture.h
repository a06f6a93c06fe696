#pragma once
// A host for the maintenance screen in tests: a main window with its MDI
// area, the scripted dialogs and a real application server (in-process, over
// HTTP) on a fresh copy of the seeded sample database. The sample holds the
// CDC 2000 reference "01" and the WHO references "02" and "05"; the fixture
// gives reference "04" one row in the height-weight table only (percentile
// 050), saved through the server. "03" stays without rows.

#include "framework/ui/scripted_dialogs.h"
#include "screens/tabrelpeso/tabrelpeso_form.h"
#include "server/app_server.h"

#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace screentest {

// Captures what the process writes to stderr (the server's one line per call).
class StderrCapture {
 public:
  StderrCapture();
  ~StderrCapture();
  // The methods the server logged so far, in order.
  QStringList Calls();

 private:
  QString path_;
  int saved_ = -1;
};

enum class Sample { Seeded, Empty };

// Besides the screen's own maintainer "teste": a second maintainer and a reader.
inline const QString kAnaToken = QStringLiteral("token-ana");
inline const QString kLeitorToken = QStringLiteral("token-leitor");

class ScreenTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts the server on a fresh copy of the database; `prepare` may change
  // the file first. Fills the host registry with its address.
  void StartServer(Sample sample = Sample::Seeded,
                   const std::function<void(const QString& database)>& prepare = {});
  // Stops the server as a crash or a restart would; StartAgain starts it
  // on the same port and database, as an administrator brings it back.
  void StopServer();
  void StartAgain();
  // CriaTabRelPeso, then lets the events run until the first activation's
  // load has run; returns the screen.
  trp::tabrelpeso::TfrmTabRelPeso* Open();
  // Closes the screen as its close button does and lets it be freed.
  void CloseScreen();
  static void Flush();
  QMdiSubWindow* SubWindow() const;
  // Focuses a control of the screen as a click would.
  void Focus(QWidget* control);
  // Triggers a toolbar operation's menu twin ("sbtIncluir").
  void Press(const char* button);
  bool Enabled(const char* button) const;

  // --- as a person does it: the mouse and the keyboard
  // A click on a toolbar button ("sbtIncluir").
  void Click(const char* button);
  void ClickCell(fw::DBGrid* grid, int row, int column);
  void ClickTab(fw::TabSheet* page);
  // Keys go to the focused widget of the host, one character at a time.
  void Type(const QString& text);
  void Key(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier);
  static double Value(fw::Dataset* ds, const char* field);
  // How many times the question or message of `key` (standard catalogue) was shown.
  int Questions(const char* key) const;

  std::unique_ptr<QTemporaryDir> dir_;
  std::unique_ptr<srv::AppServer> server_;
  QString database_;
  int port_ = 0;
  std::unique_ptr<QMainWindow> main_;
  QMdiArea* area_ = nullptr;
  fw::ScriptedDialogs dialogs_;
  std::unique_ptr<fw::ScopedDialogs> useDialogs_;
  trp::tabrelpeso::TfrmTabRelPeso* form_ = nullptr;
};

// The screen open on the seeded sample, its host window active: the start
// of every test that drives it with the mouse and the keyboard.
class SampleScreenTest : public ScreenTest {
 protected:
  void SetUp() override;
  // A text of the screen's catalogue.
  QString Msg(const char* key) const { return form_->msgPadrao->Msg(QLatin1String(key)); }
  // The messages shown since the last call.
  QStringList Shown() {
    const QStringList texts = dialogs_.MessageTexts();
    dialogs_.Clear();
    return texts;
  }
};

}  // namespace screentest
