// A stand-in module: the same exported entries as the maintenance module,
// showing one empty child window in the host.

#include "framework/ui/host_services.h"

#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QVBoxLayout>
#include <QWidget>

namespace {

QPointer<QWidget> frmPlaceholder;

}  // namespace

extern "C" Q_DECL_EXPORT void CriaTabRelPeso() {
  QMdiArea* area = fw::Host::Instance().MdiArea();
  if (!frmPlaceholder) {
    auto* form = new QWidget;
    form->setObjectName("frmPlaceholder");
    form->setAttribute(Qt::WA_DeleteOnClose);
    form->setWindowTitle(QStringLiteral("Relação Idade/Peso/Altura (módulo provisório)"));
    auto* text = new QLabel(
        QStringLiteral("O módulo de manutenção das tabelas ainda não está instalado."), form);
    text->setObjectName("lblAviso");
    text->setAlignment(Qt::AlignCenter);
    auto* layout = new QVBoxLayout(form);
    layout->addWidget(text);
    if (area) {
      QMdiSubWindow* sub = area->addSubWindow(form);
      sub->setAttribute(Qt::WA_DeleteOnClose);
      sub->resize(513, 306);
    } else {
      form->resize(513, 306);
    }
    frmPlaceholder = form;
  }
  QWidget* window = area && frmPlaceholder->parentWidget() ? frmPlaceholder->parentWidget()
                                                           : frmPlaceholder.data();
  window->showNormal();
  window->raise();
  if (area) {
    if (auto* sub = qobject_cast<QMdiSubWindow*>(window)) area->setActiveSubWindow(sub);
  }
}

extern "C" Q_DECL_EXPORT void IniProc() { CriaTabRelPeso(); }
