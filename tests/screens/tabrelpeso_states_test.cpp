// The state rules and the toolbar: what is enabled for the dataset being
// worked on, and which dataset each button acts on.

#include "framework/ui/dialogs.h"
#include "framework/ui/messages.h"
#include "screens/tabrelpeso/tabrelpeso_module.h"
#include "tests/screens/screen_fixture.h"

using trp::tabrelpeso::TfrmTabRelPeso;

namespace screentest {
namespace {

const char* const kOperations[] = {"sbtIncluir",   "sbtAlterar",   "sbtExcluir",  "sbtProcurar",
                                   "sbtVerificar", "sbtConfirmar", "sbtCancelar", "sbtCopiar"};

class States : public ScreenTest {
 protected:
  // The enabled operations, in the order of kOperations.
  QStringList EnabledOperations() const {
    QStringList on;
    for (const char* op : kOperations)
      if (Enabled(op)) on << QLatin1String(op);
    return on;
  }
  void ExpectTwinsAgree() const {
    for (const char* op : kOperations) {
      const QAction* twin = QLatin1String(op) == QLatin1String("sbtCopiar")
                                ? form_->mnuCopiar
                                : form_->Twin(QLatin1String(op));
      EXPECT_EQ(twin->isEnabled(), Enabled(op)) << op;
    }
  }
  QList<fw::TabSheet*> EnabledPages() const {
    QList<fw::TabSheet*> on;
    for (fw::TabSheet* p :
         {form_->tshPadrao, form_->tshIdPesAlt, form_->tshPesAlt, form_->tshPesAltNCHS})
      if (p->isEnabled()) on << p;
    return on;
  }
  void ExpectPageMenusFollowTabs() const {
    EXPECT_EQ(form_->mnuReferncia->isEnabled(), form_->tshPadrao->isEnabled());
    EXPECT_EQ(form_->mnuIdPesAlt->isEnabled(), form_->tshIdPesAlt->isEnabled());
    EXPECT_EQ(form_->mnuPesAlt->isEnabled(), form_->tshPesAlt->isEnabled());
    EXPECT_EQ(form_->mnuPesAltNCHS->isEnabled(), form_->tshPesAltNCHS->isEnabled());
  }
  fw::ButtonStyle CodeButton(fw::DBGrid* grid, const char* field) const {
    for (fw::DBGridColumn* c : grid->Columns())
      if (c->FieldName() == QLatin1String(field)) return c->GetButtonStyle();
    ADD_FAILURE() << "no column " << field;
    return fw::ButtonStyle::None;
  }
};

TEST_F(States, ReferencePageWithNoReferencesOffersOnlyInsert) {
  StartServer(Sample::Empty);
  Open();
  ASSERT_TRUE(form_->cdsReferencia->Active());
  ASSERT_TRUE(form_->cdsReferencia->IsEmpty());
  EXPECT_EQ(EnabledOperations(), QStringList{"sbtIncluir"});
  ExpectTwinsAgree();
  EXPECT_EQ(EnabledPages(), QList<fw::TabSheet*>{form_->tshPadrao});
  ExpectPageMenusFollowTabs();
}

TEST_F(States, InsertingAReferenceLocksTheScreenUntilPosted) {
  StartServer();
  Open();
  Focus(form_->dbgPadrao);
  ASSERT_EQ(EnabledOperations(),
            (QStringList{"sbtIncluir", "sbtExcluir", "sbtProcurar", "sbtVerificar"}));
  Press("sbtIncluir");
  ASSERT_EQ(form_->cdsReferencia->State(), fw::DatasetState::Insert);
  EXPECT_EQ(EnabledOperations(), (QStringList{"sbtConfirmar", "sbtCancelar"}));
  ExpectTwinsAgree();
  EXPECT_FALSE(form_->dbnPadrao->isEnabled());
  EXPECT_EQ(EnabledPages(), QList<fw::TabSheet*>{form_->tshPadrao});
  ExpectPageMenusFollowTabs();
  EXPECT_EQ(CodeButton(form_->dbgPadrao, "CDREFEBIBL"), fw::ButtonStyle::Ellipsis);

  form_->cdsReferencia->FieldByName(u"CDREFEBIBL")->SetAsString(QStringLiteral("03"));
  dialogs_.Clear();
  Press("sbtConfirmar");
  EXPECT_EQ(form_->cdsReferencia->State(), fw::DatasetState::Browse);
  EXPECT_EQ(CodeButton(form_->dbgPadrao, "CDREFEBIBL"), fw::ButtonStyle::None);
  EXPECT_EQ(EnabledPages().size(), 4);
  ExpectPageMenusFollowTabs();
  EXPECT_TRUE(form_->dbnPadrao->isEnabled());
  // Confirm shows the saving indicator and hides it again.
  ASSERT_FALSE(dialogs_.BusyEvents().isEmpty());
  EXPECT_EQ(dialogs_.BusyEvents().first().kind, fw::bkSaving);
  EXPECT_EQ(dialogs_.BusyDepth(), 0);
}

TEST_F(States, FocusedEmptyPercentileGridOffersOnlyInsert) {
  StartServer();
  Open();
  ASSERT_TRUE(form_->cdsReferencia->Locate(QStringLiteral("CDREFEBIBL"), QStringLiteral("04")));
  form_->mnuIdPesAlt->trigger();
  Focus(form_->dbgPercIdade);
  ASSERT_EQ(form_->ActiveControl(), form_->dbgPercIdade);
  ASSERT_TRUE(form_->cdsPercIdade->IsEmpty());
  EXPECT_EQ(EnabledOperations(), QStringList{"sbtIncluir"});
  ExpectTwinsAgree();
  EXPECT_FALSE(form_->dbgIdPesAltMasc->isEnabled());
  EXPECT_FALSE(form_->dbgIdPesAltFem->isEnabled());
  EXPECT_EQ(EnabledPages().size(), 4);
}

TEST_F(States, CopyActionNeedsAPercentileWithRows) {
  StartServer();
  Open();
  form_->mnuIdPesAlt->trigger();
  Focus(form_->dbgPercIdade);
  ASSERT_FALSE(form_->cdsIdPesAlt->IsEmpty());
  EXPECT_EQ(EnabledOperations(),
            (QStringList{"sbtIncluir", "sbtExcluir", "sbtProcurar", "sbtVerificar", "sbtCopiar"}));
  EXPECT_TRUE(form_->mnuCopiar->isEnabled());

  // A percentile added to the list has no rows yet.
  Press("sbtIncluir");
  ASSERT_EQ(form_->cdsPercIdade->State(), fw::DatasetState::Insert);
  EXPECT_EQ(EnabledOperations(), (QStringList{"sbtConfirmar", "sbtCancelar"}));
  EXPECT_FALSE(form_->cdsPercIdade->FieldByName(u"CDPERCENTIL")->ReadOnly());
  EXPECT_EQ(CodeButton(form_->dbgPercIdade, "CDPERCENTIL"), fw::ButtonStyle::Ellipsis);
  EXPECT_EQ(EnabledPages(), QList<fw::TabSheet*>{form_->tshIdPesAlt});
  EXPECT_FALSE(form_->dbgIdPesAltMasc->isEnabled());
  EXPECT_FALSE(form_->cbbSexoIdPesAlt->isEnabled());
  form_->cdsPercIdade->FieldByName(u"CDREFEBIBL")->SetAsString(QStringLiteral("01"));
  form_->cdsPercIdade->FieldByName(u"CDPERCENTIL")->SetAsString(QStringLiteral("015"));
  Press("sbtConfirmar");
  ASSERT_TRUE(form_->cdsPercIdade->Locate(QStringLiteral("CDPERCENTIL"), QStringLiteral("015")));
  EXPECT_TRUE(form_->cdsIdPesAlt->IsEmpty());
  EXPECT_FALSE(Enabled("sbtCopiar"));
  EXPECT_FALSE(form_->mnuCopiar->isEnabled());
  EXPECT_TRUE(form_->cdsPercIdade->FieldByName(u"CDPERCENTIL")->ReadOnly());
  // Back on a percentile of the sample, which has rows.
  ASSERT_TRUE(form_->cdsPercIdade->Locate(QStringLiteral("CDPERCENTIL"), QStringLiteral("050")));
  EXPECT_FALSE(form_->cdsIdPesAlt->IsEmpty());
  EXPECT_TRUE(Enabled("sbtCopiar"));
  ExpectTwinsAgree();
}

TEST_F(States, EditingAndInsertingAnAgeRowLockTheRestOfTheScreen) {
  StartServer();
  Open();
  form_->mnuIdPesAlt->trigger();
  Focus(form_->dbgIdPesAltMasc);
  ASSERT_EQ(form_->ActiveControl(), form_->dbgIdPesAltMasc);
  EXPECT_EQ(EnabledOperations(), (QStringList{"sbtIncluir", "sbtAlterar", "sbtExcluir",
                                              "sbtProcurar", "sbtVerificar", "sbtCopiar"}));
  fw::Field* anos = form_->cdsIdPesAlt->FieldByName(u"NRIDADEINI");
  fw::Field* meses = form_->cdsIdPesAlt->FieldByName(u"NRIDADEFIN");
  struct Case {
    const char* button;
    fw::DatasetState state;
    bool keysReadOnly;
  };
  for (const Case& c : {Case{"sbtAlterar", fw::DatasetState::Edit, true},
                        Case{"sbtIncluir", fw::DatasetState::Insert, false}}) {
    Press(c.button);
    ASSERT_EQ(form_->cdsIdPesAlt->State(), c.state) << c.button;
    EXPECT_EQ(anos->ReadOnly(), c.keysReadOnly) << c.button;
    EXPECT_EQ(meses->ReadOnly(), c.keysReadOnly) << c.button;
    EXPECT_EQ(EnabledOperations(), (QStringList{"sbtConfirmar", "sbtCancelar"})) << c.button;
    ExpectTwinsAgree();
    EXPECT_FALSE(form_->dbgPercIdade->isEnabled());
    EXPECT_FALSE(form_->cbbSexoIdPesAlt->isEnabled());
    EXPECT_FALSE(form_->lblSexoIdPesAlt->isEnabled());
    EXPECT_EQ(EnabledPages(), QList<fw::TabSheet*>{form_->tshIdPesAlt});
    ExpectPageMenusFollowTabs();
    dialogs_.QueueAnswer(fw::mbYes);
    Press("sbtCancelar");
    ASSERT_EQ(form_->cdsIdPesAlt->State(), fw::DatasetState::Browse);
    EXPECT_TRUE(anos->ReadOnly());
    EXPECT_TRUE(form_->dbgPercIdade->isEnabled());
    EXPECT_TRUE(form_->cbbSexoIdPesAlt->isEnabled());
    EXPECT_EQ(EnabledPages().size(), 4);
  }
}

TEST_F(States, CancelAnsweredNoKeepsTheRecordAndItsInput) {
  StartServer();
  Open();
  form_->mnuPesAlt->trigger();
  Focus(form_->dbgPesAlt);
  Press("sbtAlterar");
  ASSERT_EQ(form_->cdsPesAlt->State(), fw::DatasetState::Edit);
  fw::Field* peso = form_->cdsPesAlt->FieldByName(u"VRPESOMASALT");
  const double before = peso->AsFloat();
  peso->SetAsFloat(before + 1.5);
  dialogs_.QueueAnswer(fw::mbNo);
  Press("sbtCancelar");
  EXPECT_EQ(dialogs_.LastMessage().text, fw::StandardMsg(QStringLiteral("Canc")));
  EXPECT_EQ(dialogs_.LastMessage().type, fw::MsgType::Confirmation);
  EXPECT_EQ(form_->cdsPesAlt->State(), fw::DatasetState::Edit);
  EXPECT_EQ(peso->AsFloat(), before + 1.5);
  EXPECT_TRUE(Enabled("sbtConfirmar"));
  EXPECT_FALSE(form_->dbgPercAltura->isEnabled());
  dialogs_.QueueAnswer(fw::mbYes);
  Press("sbtCancelar");
  EXPECT_EQ(form_->cdsPesAlt->State(), fw::DatasetState::Browse);
  EXPECT_EQ(peso->AsFloat(), before);
  EXPECT_EQ(form_->cdsPesAlt->ChangeCount(), 0);
  EXPECT_TRUE(form_->dbgPercAltura->isEnabled());
}

TEST_F(States, InsertOnTheAgePageNeedsOneOfItsGridsFocused) {
  StartServer();
  Open();
  form_->mnuIdPesAlt->trigger();
  Focus(form_->cbbSexoIdPesAlt);
  ASSERT_EQ(form_->ActiveControl(), form_->cbbSexoIdPesAlt);
  Press("sbtIncluir");
  EXPECT_EQ(form_->cdsIdPesAlt->State(), fw::DatasetState::Browse);
  EXPECT_EQ(form_->cdsPercIdade->State(), fw::DatasetState::Browse);
}

TEST_F(States, RowsStateChangeWithoutTheFocusLeavesTheToolbarAlone) {
  StartServer();
  Open();
  form_->mnuIdPesAlt->trigger();
  Focus(form_->dbgPercIdade);
  const QStringList before = EnabledOperations();
  ASSERT_EQ(before,
            (QStringList{"sbtIncluir", "sbtExcluir", "sbtProcurar", "sbtVerificar", "sbtCopiar"}));
  // A state change from code, without the before-edit focus move.
  form_->cdsIdPesAlt->BeforeEdit = nullptr;
  form_->cdsIdPesAlt->Edit();
  EXPECT_EQ(EnabledOperations(), before);
  EXPECT_TRUE(form_->dbgPercIdade->isEnabled());
  EXPECT_EQ(EnabledPages().size(), 4);
  form_->cdsIdPesAlt->Cancel();
}

TEST_F(States, FindActsOnTheDatasetOfThePageAndTheFocusedGrid) {
  StartServer();
  Open();
  struct Case {
    QAction* page;
    QWidget* focus;
    fw::Dataset* target;
    const char* field;
    const char* value;
  };
  const QList<Case> cases{
      {form_->mnuPesAlt, form_->dbgPercAltura, form_->cdsPercAltura, "CDPERCENTIL", "050"},
      {form_->mnuPesAlt, form_->dbgPesAlt, form_->cdsPesAlt, "VRALTURA", "50,5"},
      {form_->mnuPesAltNCHS, form_->dbgPercAlturaNCHS, form_->cdsPercAlturaNCHS, "CDPERCENTIL",
       "075"},
      {form_->mnuPesAltNCHS, form_->dbgPesAltMascNCHS, form_->cdsPesAltNCHS, "VRALTURAN2", "80,5"},
      {form_->mnuIdPesAlt, form_->dbgPercIdade, form_->cdsPercIdade, "CDPERCENTIL", "097"},
      {form_->mnuIdPesAlt, form_->dbgIdPesAltMasc, form_->cdsIdPesAlt, "NRIDADEINI", "2"},
      {form_->mnuReferncia, form_->dbgPadrao, form_->cdsReferencia, "CDREFEBIBL", "02"}};
  for (const Case& c : cases) {
    c.page->trigger();
    Focus(c.focus);
    ASSERT_TRUE(Enabled("sbtProcurar")) << c.focus->objectName().toStdString();
    dialogs_.QueueFind(QLatin1String(c.field), QLatin1String(c.value));
    Press("sbtProcurar");
    EXPECT_EQ(dialogs_.PendingScript(), 0);
    EXPECT_EQ(c.target->FieldByName(QString::fromLatin1(c.field))->AsString(),
              QLatin1String(c.value))
        << c.focus->objectName().toStdString();
  }
  EXPECT_TRUE(dialogs_.Messages().isEmpty()) << dialogs_.MessageTexts().join('\n').toStdString();
}

TEST_F(States, HeightWeightListShowsItsSearchButtonWithoutFocus) {
  StartServer();
  Open();
  form_->mnuPesAlt->trigger();
  Focus(form_->dbgPesAlt);
  form_->cdsPercAltura->Insert();
  EXPECT_EQ(CodeButton(form_->dbgPercAltura, "CDPERCENTIL"), fw::ButtonStyle::Ellipsis);
  form_->cdsPercAltura->Cancel();
  EXPECT_EQ(CodeButton(form_->dbgPercAltura, "CDPERCENTIL"), fw::ButtonStyle::None);
  // The age list sets it only with the focus on its grid (an insert from
  // code, without the focus move of its before-insert handler).
  form_->mnuIdPesAlt->trigger();
  Focus(form_->dbgIdPesAltMasc);
  form_->cdsPercIdade->BeforeInsert = nullptr;
  form_->cdsPercIdade->Insert();
  EXPECT_EQ(CodeButton(form_->dbgPercIdade, "CDPERCENTIL"), fw::ButtonStyle::None);
  form_->cdsPercIdade->Cancel();
}

}  // namespace
}  // namespace screentest
