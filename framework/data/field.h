#pragma once
// A field of a Dataset: typed access to the current record's value plus the
// display properties that grids use. A field is a child QObject of its dataset
// whose objectName is the dataset's name followed by the field name
// (cdsIdPesAlt + NRIDADEINI = "cdsIdPesAltNRIDADEINI").

#include "framework/data/packet.h"

#include <QObject>
#include <QString>
#include <QVariant>

namespace fw {

class Dataset;

class Field : public QObject {
  Q_OBJECT
 public:
  Field(Dataset* dataset, const FieldDef& def, int index);

  Dataset* DataSet() const { return dataset_; }
  const QString& FieldName() const { return def_.name; }
  FieldType DataType() const { return def_.type; }
  int Size() const { return def_.size; }
  int Index() const { return index_; }
  const FieldDef& Def() const { return def_; }

  // Values of the current record (the edit buffer while editing or inserting).
  // Reading an inactive or empty dataset gives null/empty/0. Writing requires
  // the dataset to be in edit or insert (else fw::Error) and the field not
  // read-only unless `force`; SetAsString on a number field parses the host
  // locale's text and throws fw::Error ("'x' não é um valor numérico válido.")
  // on bad text; empty text clears the field. A string longer than Size() is
  // cut to Size().
  QVariant Value() const;
  void SetValue(const QVariant& value);
  QString AsString() const;  // floats: FloatToStr ("110,5"); null: ""
  void SetAsString(const QString& text);
  double AsFloat() const;  // null: 0; strings are parsed, fw::Error if not a number
  void SetAsFloat(double value);
  bool IsNull() const;
  void Clear();

  // Text for display with DisplayFormat (floats) and the text a grid cell
  // editor starts with (floats: FloatToStr, no grouping, rounded to
  // EditDecimals when set, so that what is offered can be typed over).
  QString DisplayText() const;
  QString EditText() const;
  // The display text of any value of this field (grids use it for other rows).
  QString DisplayTextOf(const QVariant& value) const;
  // Writes what a grid cell editor holds; edit-mask blanks are trimmed first.
  void SetEditText(const QString& text);

  // Properties.
  int Tag() const { return tag_; }
  void SetTag(int tag) { tag_ = tag; }
  // The decimals a value is typed with; -1 (the default) for any.
  int EditDecimals() const { return editDecimals_; }
  void SetEditDecimals(int decimals) { editDecimals_ = decimals; }
  QString EditMask() const { return editMask_; }
  void SetEditMask(const QString& mask) { editMask_ = mask; }
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool readOnly);
  QString DisplayLabel() const { return displayLabel_.isNull() ? def_.name : displayLabel_; }
  void SetDisplayLabel(const QString& label) { displayLabel_ = label; }
  int DisplayWidth() const {
    return displayWidth_ > 0 ? displayWidth_ : (def_.size > 0 ? def_.size : 10);
  }
  void SetDisplayWidth(int width) { displayWidth_ = width; }
  QString DisplayFormat() const { return displayFormat_; }
  void SetDisplayFormat(const QString& format) { displayFormat_ = format; }
  bool Visible() const { return visible_; }
  void SetVisible(bool visible) { visible_ = visible; }
  bool Required() const { return required_; }
  void SetRequired(bool required) { required_ = required; }

  // Asks the control that shows this field to take the input focus on it
  // (a grid moves to the field's column and focuses itself).
  void FocusControl();

 signals:
  void focusRequested(fw::Field* field);
  void propertiesChanged(fw::Field* field);  // read-only flag changed

 private:
  Dataset* dataset_;
  FieldDef def_;
  int index_;
  int tag_ = 0;
  QString editMask_;
  int editDecimals_ = -1;
  bool readOnly_ = false;
  QString displayLabel_;
  int displayWidth_ = 0;
  QString displayFormat_;
  bool visible_ = true;
  bool required_ = false;
};

}  // namespace fw
