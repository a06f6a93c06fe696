#pragma once
// The chart as SVG text: DrawChart painted on an SVG generator, so the web
// view shows the very drawing of the report and of the curves window.

#include "report/chart.h"

#include <QByteArray>
#include <QSize>

namespace report {

// `data` drawn in a `size` (pixels at 96 dpi) picture, with `title` as the
// SVG's title for screen readers. Needs a QGuiApplication (fonts).
QByteArray ChartSvg(const ChartData& data, QSize size, const QString& title);

}  // namespace report
