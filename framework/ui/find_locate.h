#pragma once
// How the find dialogs (scripted and GUI) locate the value the user typed:
// kept out of the dialog seam, which only passes the dataset through.

#include <QString>

namespace fw {

class Dataset;

// Locates `value` in `fieldName` the way the find dialog does, among the
// visible records. A numeric field (float, integer) takes a number in the
// host locale ("8,534"; a point is accepted) and matches a value that shows
// the same at the decimals of the field's display format (with no format, the
// value exactly); text that is not a number finds nothing. Other fields: exact
// match first, then case-insensitive prefix. Returns whether a record was
// found (it is then current). Throws fw::Error on an unknown field.
bool LocateForFind(Dataset& dataset, const QString& fieldName, const QString& value);

}  // namespace fw
