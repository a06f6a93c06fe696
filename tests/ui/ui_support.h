#pragma once
// Shared by the screen framework's tests: a small dataset and a window that
// holds a control next to another focusable widget.

#include "framework/data/dataset.h"
#include "framework/data/datasource.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include <memory>

namespace uitest {

// cdsTeste: CODE (string 3), NAME (string 20), VALUE (float); rows
// ("001","Um",1.5), ("002","Dois",2.5), ("003","Tres",3.5).
inline fw::DataPacket SamplePacket(int rows = 3) {
  fw::DataPacket packet({{"CODE", fw::FieldType::String, 3},
                         {"NAME", fw::FieldType::String, 20},
                         {"VALUE", fw::FieldType::Float, 0}});
  static const char* names[] = {"Um", "Dois", "Tres", "Quatro", "Cinco"};
  for (int i = 0; i < rows; ++i)
    packet.appendRow(
        {QString::asprintf("%03d", i + 1), QString::fromLatin1(names[i % 5]), 1.5 + i});
  return packet;
}

struct Data {
  explicit Data(int rows = 3)
      : dataset(std::make_unique<fw::Dataset>(QStringLiteral("cdsTeste"))),
        source(std::make_unique<fw::DataSource>(QStringLiteral("dtsTeste"))) {
    dataset->AddField({"CODE", fw::FieldType::String, 3});
    dataset->AddField({"NAME", fw::FieldType::String, 20});
    dataset->AddField({"VALUE", fw::FieldType::Float, 0});
    dataset->SetData(SamplePacket(rows));
    source->SetDataSet(dataset.get());
  }
  fw::Field* Code() const { return dataset->FieldByName(u"CODE"); }
  fw::Field* Name() const { return dataset->FieldByName(u"NAME"); }
  fw::Field* Value() const { return dataset->FieldByName(u"VALUE"); }
  std::unique_ptr<fw::Dataset> dataset;
  std::unique_ptr<fw::DataSource> source;
};

// A shown, active window with `control` and an edit to move the focus to.
class Window {
 public:
  explicit Window(QWidget* control) : window_(std::make_unique<QWidget>()) {
    auto* layout = new QVBoxLayout(window_.get());
    other_ = new QLineEdit(window_.get());
    other_->setObjectName(QStringLiteral("edtOutro"));
    layout->addWidget(other_);
    layout->addWidget(control);
    window_->resize(600, 400);
    window_->show();
    window_->activateWindow();
    QApplication::setActiveWindow(window_.get());
    (void)QTest::qWaitForWindowActive(window_.get());
  }
  QWidget* window() const { return window_.get(); }
  QLineEdit* other() const { return other_; }

 private:
  std::unique_ptr<QWidget> window_;
  QLineEdit* other_;
};

}  // namespace uitest
