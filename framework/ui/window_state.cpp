#include "framework/ui/window_state.h"

#include "framework/ui/dbgrid.h"

#include <QHeaderView>
#include <QRect>
#include <QScrollBar>
#include <QSettings>
#include <QSplitter>
#include <QTableView>
#include <QWidget>

namespace fw {

namespace {

QString Key(const QWidget& screen, const QString& what) {
  return screen.objectName() + QLatin1Char('/') + what;
}

QList<QVariant> Widths(const QTableView& view) {
  QList<QVariant> widths;
  const QHeaderView* header = view.horizontalHeader();
  for (int i = 0; i < header->count(); ++i) widths << header->sectionSize(i);
  return widths;
}

void SetWidths(QTableView& view, const QList<QVariant>& widths) {
  // A grid whose columns changed since keeps its own widths.
  if (widths.size() != view.horizontalHeader()->count()) return;
  auto* grid = qobject_cast<DBGrid*>(&view);
  for (int i = 0; i < widths.size(); ++i) {
    const int width = widths[i].toInt();
    if (width < 8 || width > 2000) continue;
    // A grid lays its columns out again from the columns' own widths.
    if (DBGridColumn* column = grid ? grid->Column(i) : nullptr)
      column->SetWidthPixels(width);
    else
      view.setColumnWidth(i, width);
  }
}

}  // namespace

void SaveWindowState(const QString& file, const QWidget& screen, const QWidget& frame) {
  if (file.isEmpty() || screen.objectName().isEmpty()) return;
  QSettings settings(file, QSettings::IniFormat);
  const bool maximized = frame.isMaximized();
  settings.setValue(Key(screen, QStringLiteral("maximizada")), maximized);
  // A maximized or minimized frame keeps the normal geometry it had.
  if (!maximized && !frame.isMinimized())
    settings.setValue(Key(screen, QStringLiteral("geometria")), frame.geometry());
  for (const QSplitter* splitter : screen.findChildren<QSplitter*>())
    if (!splitter->objectName().isEmpty())
      settings.setValue(Key(screen, QStringLiteral("divisor_") + splitter->objectName()),
                        splitter->saveState());
  for (const QTableView* view : screen.findChildren<QTableView*>())
    if (!view->objectName().isEmpty())
      settings.setValue(Key(screen, QStringLiteral("colunas_") + view->objectName()),
                        Widths(*view));
}

bool RestoreWindowState(const QString& file, QWidget& screen, QWidget& frame, const QSize& bounds,
                        bool& found) {
  found = false;
  if (file.isEmpty() || screen.objectName().isEmpty()) return false;
  QSettings settings(file, QSettings::IniFormat);
  const QRect kept = settings.value(Key(screen, QStringLiteral("geometria"))).toRect();
  if (kept.isValid() && kept.width() >= 100 && kept.height() >= 60) {
    found = true;
    QRect rect = kept;
    if (bounds.isValid()) {
      // A smaller screen than last time: the window still fits and shows.
      rect.setSize(rect.size().boundedTo(bounds));
      rect.moveLeft(qBound(0, rect.left(), qMax(0, bounds.width() - rect.width())));
      rect.moveTop(qBound(0, rect.top(), qMax(0, bounds.height() - rect.height())));
    }
    frame.setGeometry(rect);
  }
  for (QSplitter* splitter : screen.findChildren<QSplitter*>()) {
    const QVariant state =
        settings.value(Key(screen, QStringLiteral("divisor_") + splitter->objectName()));
    if (!splitter->objectName().isEmpty() && state.isValid() &&
        splitter->restoreState(state.toByteArray()))
      found = true;
  }
  for (QTableView* view : screen.findChildren<QTableView*>()) {
    const QVariant widths =
        settings.value(Key(screen, QStringLiteral("colunas_") + view->objectName()));
    if (view->objectName().isEmpty() || !widths.isValid()) continue;
    SetWidths(*view, widths.toList());
    found = true;
  }
  return found && settings.value(Key(screen, QStringLiteral("maximizada"))).toBool();
}

int WidthForAllColumns(const QWidget& screen, int chrome) {
  int widest = 0;
  for (const QTableView* view : screen.findChildren<QTableView*>()) {
    const QHeaderView* header = view->horizontalHeader();
    int width =
        view->verticalHeader()->isVisible() ? view->verticalHeader()->sizeHint().width() : 0;
    for (int i = 0; i < header->count(); ++i)
      if (!header->isSectionHidden(i)) width += header->sectionSize(i);
    width += view->verticalScrollBar()->sizeHint().width() + 2 * view->frameWidth();
    widest = qMax(widest, width);
  }
  return widest + chrome;
}

}  // namespace fw
