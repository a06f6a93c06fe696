#pragma once
// A small pull reader for the JSON of packets and deltas. Internal to
// framework/data. It reads straight from the bytes (numbers through
// std::from_chars, strings as views into the input when they hold no escape)
// and reports malformed input as fw::Error with the byte position.

#include "framework/data/json_write.h"

#include <QByteArrayView>
#include <QString>

#include <string>
#include <string_view>

namespace fw {

class JsonReader {
 public:
  // `what` names the document in messages ("Pacote de dados").
  JsonReader(QByteArrayView text, QString what);

  void skipWs() {
    while (p_ < end_ && (*p_ == ' ' || *p_ == '\n' || *p_ == '\r' || *p_ == '\t')) ++p_;
  }
  // The next significant character, 0 at the end.
  char peek() {
    skipWs();
    return p_ < end_ ? *p_ : '\0';
  }
  void expect(char c);
  bool consume(char c);  // consumes c when it comes next
  // Reads ',' or the closing bracket of a list; returns false at the closing bracket.
  bool nextItem(char close);

  // A string; the view is valid until the next readString.
  std::string_view readString();
  double readDouble();
  qint64 readInteger();
  bool readBool();
  bool consumeNull();
  void skipValue();
  void expectEnd();

  qsizetype pos() const { return p_ - begin_; }
  void seek(qsizetype pos) { p_ = begin_ + pos; }
  [[noreturn]] void fail(const QString& problem) const;
  [[noreturn]] void failAt(qsizetype pos, const QString& problem) const;
  const QString& what() const { return what_; }

 private:
  std::string_view readNumberToken();
  void appendUtf8(char32_t cp);
  unsigned readHex4();

  const char* begin_;
  const char* p_;
  const char* end_;
  QString what_;
  std::string scratch_;
  int depth_ = 0;
};

}  // namespace fw
