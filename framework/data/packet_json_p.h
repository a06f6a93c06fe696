#pragma once
// Pieces of the packet JSON shared by the data and the delta packet's reader
// and writer. Internal to framework/data.

#include "framework/data/json_reader.h"
#include "framework/data/packet.h"

#include <QList>

#include <string>

namespace fw::packet_json {

// The "fields" list: [{"name":...,"type":...,"size":...},...]; names checked
// for duplicates.
QList<FieldDef> ReadFields(JsonReader& r);
void AppendFields(std::string& out, const QList<FieldDef>& fields);

void AppendInt(std::string& out, qint64 v);

}  // namespace fw::packet_json
