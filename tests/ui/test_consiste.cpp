// Services of the screen framework: validation helpers, catalogues, the
// guard, the dialog seam and the busy indicator.
#include "framework/data/errors.h"
#include "framework/ui/busy.h"
#include "framework/ui/consiste.h"
#include "framework/ui/dbgrid.h"
#include "framework/ui/guard.h"
#include "framework/ui/gui_dialogs.h"
#include "framework/ui/gui_widgets.h"
#include "framework/ui/host_services.h"
#include "framework/ui/messages.h"
#include "framework/ui/number_entry.h"
#include "framework/ui/scripted_dialogs.h"
#include "ui_support.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QPushButton>

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

struct AjustaCase {
  const char* text;
  int width;
  const char* expected;
};

TEST(Ajusta, NormalisesCodes) {
  const AjustaCase cases[] = {
      {"5", 3, "005"},     {"1", 2, "01"},    {" 7 ", 3, "007"}, {"050", 3, "050"},
      {"1234", 3, "1234"}, {"ab", 2, "AB"},   {" x1 ", 3, "X1"}, {"", 3, ""},
      {"   ", 2, ""},      {" 11 ", 0, "11"}, {"ab", 0, "ab"},   {"5,5", 3, "5,5"},
  };
  for (const AjustaCase& c : cases)
    EXPECT_EQ(fw::Ajusta(QString::fromUtf8(c.text), c.width), QString::fromUtf8(c.expected))
        << '"' << c.text << "\" width " << c.width;
}

struct MaxNumberCase {
  const char* text;
  char key;
  int selStart;
  int selLength;
  bool accepted;
};

TEST(MaxNumber, ThreeIntegerAndTwoDecimalDigits) {
  const MaxNumberCase cases[] = {
      {"123,4", '5', 5, 0, true},    // second decimal fits
      {"123,45", '6', 6, 0, false},  // a third decimal does not
      {"123", '4', 3, 0, false},     // a fourth integer digit does not
      {"123", '9', 0, 3, true},      // the selection is replaced
      {"123", '9', 1, 1, true},      // one digit replaced: still three
      {"12", '3', 2, 0, true},
      {"123", ',', 3, 0, true},
      {"123,4", ',', 5, 0, false},  // a second comma
      {"", '0', 0, 0, true},
      {"999,99", '1', 0, 6, true},  // everything selected: the key alone
      {"123", '.', 3, 0, true},     // the point is the comma
      {"123,4", '.', 5, 0, false},  // a second one
  };
  for (const MaxNumberCase& c : cases) {
    const QString text = QString::fromLatin1(c.text);
    QChar key = QLatin1Char(c.key);
    fw::MaxNumber(text, 3, 2, key, c.selStart, c.selLength);
    EXPECT_EQ(!key.isNull(), c.accepted) << c.text << " + " << c.key << " at " << c.selStart;
  }
}

TEST(MaxNumber, CountsDigitsOnBothSidesOfTheComma) {
  QChar key = QLatin1Char('4');
  fw::MaxNumber(QStringLiteral("1,23"), 3, 2, key, 1, 0);  // "14,23"
  EXPECT_EQ(key, QLatin1Char('4'));
  key = QLatin1Char('4');
  fw::MaxNumber(QStringLiteral("1,23"), 3, 2, key, 3, 0);  // "1,243"
  EXPECT_TRUE(key.isNull());
  key = QLatin1Char('5');
  fw::MaxNumber(QStringLiteral("12,34"), 3, 2, key, 0, 0);  // "512,34"
  EXPECT_EQ(key, QLatin1Char('5'));
  key = QLatin1Char('5');
  fw::MaxNumber(QStringLiteral("123,4"), 3, 3, key, 5, 0);  // three decimals allowed
  EXPECT_EQ(key, QLatin1Char('5'));
  key = QLatin1Char(',');
  fw::MaxNumber(QStringLiteral("12"), 3, 0, key, 2, 0);  // no decimals at all
  EXPECT_TRUE(key.isNull());
}

TEST(MaxNumber, ControlAndOtherKeysPass) {
  for (QChar original : {QChar(8), QChar(9), QChar(13), QChar(QLatin1Char('a'))}) {
    QChar key = original;
    fw::MaxNumber(QStringLiteral("123,45"), 3, 2, key, 6, 0);
    EXPECT_EQ(key, original) << int(original.unicode());
  }
}

TEST(MaxNumber, TheDecimalPointComesOutAsTheComma) {
  QChar key = QLatin1Char('.');
  fw::MaxNumber(QStringLiteral("12"), 3, 2, key, 2, 0);
  EXPECT_EQ(key, QLatin1Char(','));
}

// Every refusal says why, in the words the status bar shows.
TEST(NumberRefusal, SaysWhyAKeyCannotStay) {
  struct Case {
    const char* text;
    char key;
    int decimals;
    const char* reason;  // "" when the key stays
  };
  const Case cases[] = {
      {"12", '5', 2, ""},
      {"12,34", '5', 2, "Máximo de 2 casas decimais"},
      {"12,3", '5', 1, "Máximo de 1 casa decimal"},
      {"12", ',', 0, "Este valor não tem casas decimais"},
      {"12,3", ',', 2, "O valor já tem vírgula"},
      {"123", '4', 2, "Máximo de 3 algarismos antes da vírgula"},
      {"12", '-', 2, "Valores negativos não são aceitos"},
      {"12", 'x', 2, "Use só algarismos e vírgula"},
      {"12", ' ', 2, "Use só algarismos e vírgula"},
      {"12", '\b', 2, ""},
  };
  for (const Case& c : cases) {
    const QString text = QString::fromLatin1(c.text);
    EXPECT_EQ(fw::NumberRefusal(text, 3, c.decimals, QLatin1Char(c.key), int(text.size()), 0),
              QString::fromUtf8(c.reason))
        << c.text << " + " << c.key;
  }
}

TEST(EmptyString, BlanksAreEmpty) {
  EXPECT_TRUE(fw::EmptyString(QString()));
  EXPECT_TRUE(fw::EmptyString(QStringLiteral("   ")));
  EXPECT_FALSE(fw::EmptyString(QStringLiteral(" a ")));
}

TEST(EditMask, ConvertsToQtInputMasks) {
  EXPECT_EQ(fw::ToQtInputMask(QStringLiteral("999;0; ")), QStringLiteral("000; "));
  EXPECT_EQ(fw::ToQtInputMask(QStringLiteral("99;0; ")), QStringLiteral("00; "));
  EXPECT_EQ(fw::ToQtInputMask(QStringLiteral("00/00;1;_")), QStringLiteral("99/99;_"));
  EXPECT_EQ(fw::ToQtInputMask(QStringLiteral(">LL")), QStringLiteral(">AA;_"));
  EXPECT_EQ(fw::ToQtInputMask(QString()), QString());
}

// --- catalogues ------------------------------------------------------------------

TEST(TMessages, ReturnsTextsUnchanged) {
  fw::TMessages msg(QStringLiteral("msgPadrao"));
  msg.SetLines({QStringLiteral("Perc_deve|Código deve ser informado. "),
                QStringLiteral("Arq|Arquivo '%s' em '%s'."), QStringLiteral("Barra|a|b")});
  EXPECT_EQ(msg.objectName(), QStringLiteral("msgPadrao"));
  EXPECT_EQ(msg.Msg(QStringLiteral("Perc_deve")), QStringLiteral("Código deve ser informado. "));
  EXPECT_EQ(msg.Msg(QStringLiteral("Arq")), QStringLiteral("Arquivo '%s' em '%s'."));
  EXPECT_EQ(msg.Msg(QStringLiteral("Barra")), QStringLiteral("a|b"));
  EXPECT_EQ(msg.Lines().size(), 3);
}

TEST(TMessages, UnknownKeyNamesKeyAndCatalogue) {
  fw::TMessages msg(QStringLiteral("msgPadrao"));
  msg.SetLines({QStringLiteral("A|a")});
  try {
    msg.Msg(QStringLiteral("Nada"));
    FAIL() << "no error";
  } catch (const fw::Error& e) {
    EXPECT_TRUE(e.message().contains(QStringLiteral("Nada")));
    EXPECT_TRUE(e.message().contains(QStringLiteral("msgPadrao")));
  }
  EXPECT_THROW(msg.SetLines({QStringLiteral("sem barra")}), fw::Error);
  EXPECT_EQ(msg.Msg(QStringLiteral("A")), QStringLiteral("a"));  // the catalogue was kept
}

TEST(TMessages, ShowMsgAsksThroughTheSeam) {
  fw::ScriptedDialogs dlg;
  fw::ScopedDialogs use(dlg);
  fw::TMessages msg(QStringLiteral("msgMensagensPadroes"));
  msg.SetLines(fw::StandardMessages());
  dlg.QueueAnswer(fw::mbYes);
  EXPECT_EQ(msg.ShowMsg(QStringLiteral("Excl"), fw::MsgType::Confirmation, fw::mbYesNo, 0),
            fw::mbYes);
  EXPECT_EQ(msg.ShowMsg(QStringLiteral("Canc"), fw::MsgType::Confirmation, fw::mbYesNo, 0),
            fw::mbNo);
  ASSERT_EQ(dlg.Messages().size(), 2);
  EXPECT_EQ(dlg.Messages()[0].text, QStringLiteral("Confirma exclusão?"));
  EXPECT_EQ(dlg.Messages()[1].text, QStringLiteral("Confirma cancelamento?"));
  EXPECT_EQ(dlg.Messages()[1].type, fw::MsgType::Confirmation);
  EXPECT_EQ(dlg.Unanswered(), 1);
  EXPECT_EQ(fw::StandardMsg(QStringLiteral("Excl")), QStringLiteral("Confirma exclusão?"));
}

// --- guard and MensErro ----------------------------------------------------------------

TEST(Guard, AbortIsSilentErrorsAreShown) {
  fw::ScriptedDialogs dlg;
  fw::ScopedDialogs use(dlg);
  EXPECT_TRUE(fw::Guard([] {}));
  EXPECT_FALSE(fw::Guard([] { fw::Abort(); }));
  EXPECT_TRUE(dlg.Messages().isEmpty());
  EXPECT_FALSE(fw::Guard([] { throw fw::Error(QStringLiteral("Falhou a gravação.")); }));
  EXPECT_FALSE(fw::Guard([] { throw std::runtime_error("quebrou"); }));
  EXPECT_FALSE(fw::Guard([] { throw 42; }));
  ASSERT_EQ(dlg.Messages().size(), 3);
  EXPECT_EQ(dlg.Messages()[0].text, QStringLiteral("Falhou a gravação."));
  EXPECT_EQ(dlg.Messages()[0].type, fw::MsgType::Error);
  EXPECT_EQ(dlg.Messages()[1].text, QStringLiteral("quebrou"));
  EXPECT_FALSE(dlg.Messages()[2].text.isEmpty());
}

TEST(Guard, GuardedSlotsNeverLetExceptionsOut) {
  fw::ScriptedDialogs dlg;
  fw::ScopedDialogs use(dlg);
  QPushButton button;
  int runs = 0;
  fw::GuardedConnect(&button, &QPushButton::clicked, &button, [&] {
    ++runs;
    throw fw::Error(QStringLiteral("Erro no clique."));
  });
  fw::GuardedConnect(&button, &QPushButton::clicked, &button, [&](bool) { ++runs; });
  button.click();
  EXPECT_EQ(runs, 2);
  EXPECT_EQ(dlg.MessageTexts(), QStringList{QStringLiteral("Erro no clique.")});
}

TEST(MensErro, ShowsThenAbortsSilently) {
  fw::ScriptedDialogs dlg;
  fw::ScopedDialogs use(dlg);
  EXPECT_THROW(fw::MensErro(QStringLiteral("Mês deve estar entre 0 e 11.")), fw::EAbort);
  fw::MensErro(QStringLiteral("Só aviso."), false);
  EXPECT_FALSE(fw::Guard([] { fw::MensErro(QStringLiteral("Outra.")); }));
  EXPECT_EQ(dlg.MessageTexts(),
            (QStringList{QStringLiteral("Mês deve estar entre 0 e 11."),
                         QStringLiteral("Só aviso."), QStringLiteral("Outra.")}));
  for (const auto& m : dlg.Messages()) EXPECT_EQ(m.type, fw::MsgType::Error);
}

// --- widgets helpers -------------------------------------------------------------------------

TEST(IndiceCol, FindsTheColumnOfAField) {
  uitest::Data data;
  fw::DBGrid grid(QStringLiteral("dbgTeste"));
  grid.SetDataSource(data.source.get());
  grid.AddColumn(QStringLiteral("NAME"));
  grid.AddColumn(QStringLiteral("CODE"));
  EXPECT_EQ(fw::IndiceCol(&grid, QStringLiteral("CODE")), 1);
  EXPECT_EQ(fw::IndiceCol(&grid, QStringLiteral("NAME")), 0);
  EXPECT_EQ(fw::IndiceCol(&grid, QStringLiteral("VALUE")), -1);
  EXPECT_EQ(fw::IndiceCol(&grid, QStringLiteral("code")), -1);
  EXPECT_EQ(fw::IndiceCol(nullptr, QStringLiteral("CODE")), -1);
}

TEST(SetChildEnabled, TogglesTheControlsInside) {
  QFrame panel;
  auto* layout = new QHBoxLayout(&panel);
  auto* combo = new QComboBox(&panel);
  auto* check = new QCheckBox(&panel);
  layout->addWidget(combo);
  layout->addWidget(check);
  fw::SetChildEnabled(&panel, false);
  EXPECT_TRUE(panel.isEnabled());
  EXPECT_FALSE(combo->isEnabled());
  EXPECT_FALSE(check->isEnabled());
  fw::SetChildEnabled(&panel, true);
  EXPECT_TRUE(combo->isEnabled());
  EXPECT_TRUE(check->isEnabled());
}

// --- busy indicator ---------------------------------------------------------------------------

TEST(Busy, ShowsAndHidesThroughTheSeamNestedAndTwice) {
  fw::ScriptedDialogs dlg;
  fw::ScopedDialogs use(dlg);
  fw::ActiveShowAvi(nullptr, fw::bkLoading);
  fw::ActiveShowAvi(nullptr, fw::bkSaving);
  EXPECT_EQ(dlg.BusyDepth(), 2);
  fw::DeactiveShowAvi();
  fw::DeactiveShowAvi();
  fw::DeactiveShowAvi();  // one too many: ignored
  EXPECT_EQ(dlg.BusyDepth(), 0);
  ASSERT_EQ(dlg.BusyEvents().size(), 4);
  EXPECT_EQ(dlg.BusyEvents()[0].kind, 0);
  EXPECT_EQ(dlg.BusyEvents()[2].show, false);
  EXPECT_EQ(dlg.BusyEvents()[2].kind, 1);
  EXPECT_EQ(dlg.BusyEvents()[3].kind, 0);
  try {
    fw::BusyScope busy(nullptr, fw::bkVerifying);
    throw std::runtime_error("falha");
  } catch (const std::exception&) {
  }
  EXPECT_EQ(dlg.BusyDepth(), 0);
  EXPECT_EQ(dlg.BusyEvents().last().kind, 6);
}

TEST(Busy, GuiWindowShowsCaptionPerKind) {
  fw::GuiDialogs gui;
  fw::ScopedDialogs use(gui);
  QWidget main;
  main.resize(400, 300);
  main.show();
  fw::ActiveShowAvi(&main, fw::bkLoading);
  ASSERT_NE(gui.Busy(), nullptr);
  EXPECT_TRUE(gui.Busy()->isVisible());
  EXPECT_EQ(gui.Busy()->Caption(), QStringLiteral("Carregando..."));
  fw::ActiveShowAvi(&main, fw::bkVerifying);
  EXPECT_EQ(gui.Busy()->Caption(), QStringLiteral("Verificando..."));
  fw::DeactiveShowAvi();
  ASSERT_NE(gui.Busy(), nullptr);  // still one show open
  fw::DeactiveShowAvi();
  EXPECT_EQ(gui.Busy(), nullptr);
  fw::DeactiveShowAvi();
  EXPECT_EQ(gui.BusyDepth(), 0);
  EXPECT_EQ(fw::BusyCaption(fw::bkSaving), QStringLiteral("Gravando..."));
}

TEST(Busy, GuiWindowIsReusedHiddenBetweenShows) {
  fw::GuiDialogs gui;
  fw::ScopedDialogs use(gui);
  QWidget main;
  main.resize(400, 300);
  main.show();
  fw::ActiveShowAvi(&main, fw::bkLoading);
  const QPointer<fw::BusyWindow> first = gui.Busy();
  ASSERT_NE(first, nullptr);
  fw::DeactiveShowAvi();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  ASSERT_NE(first, nullptr) << "hidden, not destroyed";
  EXPECT_FALSE(first->isVisible());
  fw::ActiveShowAvi(&main, fw::bkSaving);
  EXPECT_EQ(gui.Busy(), first.data());
  EXPECT_TRUE(first->isVisible());
  EXPECT_EQ(first->Caption(), QStringLiteral("Gravando..."));
  fw::DeactiveShowAvi();
  // Over another window it moves there; a window that goes takes it along.
  {
    QWidget other;
    other.resize(300, 200);
    other.show();
    fw::ActiveShowAvi(&other, fw::bkLoading);
    ASSERT_NE(gui.Busy(), nullptr);
    EXPECT_EQ(gui.Busy()->parentWidget(), &other);
    EXPECT_TRUE(gui.Busy()->isVisible());
    fw::DeactiveShowAvi();
  }
  fw::ActiveShowAvi(&main, fw::bkVerifying);
  ASSERT_NE(gui.Busy(), nullptr);
  EXPECT_TRUE(gui.Busy()->isVisible());
  EXPECT_EQ(gui.Busy()->Caption(), QStringLiteral("Verificando..."));
  fw::DeactiveShowAvi();
}

// --- host registry ------------------------------------------------------------------------------

TEST(Host, ForwardsCacheNotificationsAndKeepsSettings) {
  fw::Host& host = fw::Host::Instance();
  host.Reset();
  fw::AtualizaLocalCache({QStringLiteral("PESOALTU")});  // no callback: nothing happens
  QStringList told;
  host.OnAtualizaLocalCache = [&](const QStringList& tables) { told += tables; };
  host.SetServer(QStringLiteral("127.0.0.1"), 8123);
  fw::AtualizaLocalCache({QStringLiteral("PESALTIDADE")});
  EXPECT_EQ(told, QStringList{QStringLiteral("PESALTIDADE")});
  EXPECT_EQ(fw::WebURL(), QStringLiteral("127.0.0.1"));
  EXPECT_EQ(fw::WebPort(), 8123);
  host.Reset();
  EXPECT_EQ(fw::WebPort(), 0);
  EXPECT_FALSE(host.OnAtualizaLocalCache);
}

TEST(ScriptedDialogs, UnansweredQuestionsSayNo) {
  fw::ScriptedDialogs dlg;
  EXPECT_EQ(dlg.Message(QStringLiteral("Q?"), fw::MsgType::Confirmation, fw::mbYesNo, 0), fw::mbNo);
  EXPECT_EQ(dlg.Message(QStringLiteral("Q?"), fw::MsgType::Confirmation, fw::mbOKCancel, 0),
            fw::mbCancel);
  EXPECT_EQ(dlg.Message(QStringLiteral("Info"), fw::MsgType::Information, fw::mbOK, 0), fw::mbOK);
  EXPECT_EQ(dlg.Unanswered(), 2);
  dlg.QueueAnswer(fw::mbYes);
  EXPECT_EQ(dlg.PendingScript(), 1);
  dlg.Clear();
  EXPECT_EQ(dlg.PendingScript(), 0);
  EXPECT_TRUE(dlg.Messages().isEmpty());
}

}  // namespace
