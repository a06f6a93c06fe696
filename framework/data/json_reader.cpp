#include "framework/data/json_reader.h"

#include "framework/data/errors.h"

#include <charconv>
#include <cmath>

namespace fw {

namespace {

QString Describe(const char* p, const char* end) {
  if (p >= end) return QStringLiteral("o fim do texto");
  const unsigned char c = static_cast<unsigned char>(*p);
  if (c >= 0x20 && c < 0x7f) return QStringLiteral("'%1'").arg(QChar(c));
  return QStringLiteral("o byte 0x%1").arg(c, 2, 16, QChar('0'));
}

constexpr int kMaxDepth = 64;

}  // namespace

JsonReader::JsonReader(QByteArrayView text, QString what)
    : begin_(text.data()),
      p_(text.data()),
      end_(text.data() + text.size()),
      what_(std::move(what)) {
  if (begin_ == nullptr) begin_ = p_ = end_ = "";
}

void JsonReader::failAt(qsizetype pos, const QString& problem) const {
  throw Error(
      QStringLiteral("%1 inválido na posição %2: %3.").arg(what_).arg(pos + 1).arg(problem));
}

void JsonReader::fail(const QString& problem) const { failAt(pos(), problem); }

void JsonReader::expect(char c) {
  skipWs();
  if (p_ < end_ && *p_ == c) {
    ++p_;
    return;
  }
  fail(QStringLiteral("esperado '%1', encontrado %2").arg(QChar(c)).arg(Describe(p_, end_)));
}

bool JsonReader::consume(char c) {
  skipWs();
  if (p_ < end_ && *p_ == c) {
    ++p_;
    return true;
  }
  return false;
}

bool JsonReader::nextItem(char close) {
  skipWs();
  if (p_ < end_) {
    if (*p_ == ',') {
      ++p_;
      return true;
    }
    if (*p_ == close) {
      ++p_;
      return false;
    }
  }
  fail(QStringLiteral("esperado ',' ou '%1', encontrado %2")
           .arg(QChar(close))
           .arg(Describe(p_, end_)));
}

unsigned JsonReader::readHex4() {
  if (end_ - p_ < 4) fail(QStringLiteral("escape \\u incompleto"));
  unsigned v = 0;
  for (int k = 0; k < 4; ++k) {
    const char c = *p_;
    unsigned d;
    if (c >= '0' && c <= '9')
      d = unsigned(c - '0');
    else if (c >= 'a' && c <= 'f')
      d = unsigned(c - 'a' + 10);
    else if (c >= 'A' && c <= 'F')
      d = unsigned(c - 'A' + 10);
    else
      fail(QStringLiteral("dígito hexadecimal inválido no escape \\u"));
    v = v * 16 + d;
    ++p_;
  }
  return v;
}

void JsonReader::appendUtf8(char32_t cp) {
  if (cp < 0x80) {
    scratch_.push_back(char(cp));
  } else if (cp < 0x800) {
    scratch_.push_back(char(0xc0 | (cp >> 6)));
    scratch_.push_back(char(0x80 | (cp & 0x3f)));
  } else if (cp < 0x10000) {
    scratch_.push_back(char(0xe0 | (cp >> 12)));
    scratch_.push_back(char(0x80 | ((cp >> 6) & 0x3f)));
    scratch_.push_back(char(0x80 | (cp & 0x3f)));
  } else {
    scratch_.push_back(char(0xf0 | (cp >> 18)));
    scratch_.push_back(char(0x80 | ((cp >> 12) & 0x3f)));
    scratch_.push_back(char(0x80 | ((cp >> 6) & 0x3f)));
    scratch_.push_back(char(0x80 | (cp & 0x3f)));
  }
}

std::string_view JsonReader::readString() {
  skipWs();
  if (p_ >= end_ || *p_ != '"')
    fail(QStringLiteral("esperado um texto entre aspas, encontrado %1").arg(Describe(p_, end_)));
  const char* const open = p_;
  ++p_;
  const char* start = p_;
  bool escaped = false;
  scratch_.clear();
  for (;;) {
    if (p_ >= end_) failAt(open - begin_, QStringLiteral("texto sem aspas de fechamento"));
    const unsigned char c = static_cast<unsigned char>(*p_);
    if (c == '"') break;
    if (c < 0x20) fail(QStringLiteral("caractere de controle dentro de um texto"));
    if (c == '\\') {
      if (!escaped) {
        scratch_.assign(start, p_);
        escaped = true;
      }
      ++p_;
      if (p_ >= end_) failAt(open - begin_, QStringLiteral("texto sem aspas de fechamento"));
      const char e = *p_++;
      switch (e) {
        case '"':
          scratch_.push_back('"');
          break;
        case '\\':
          scratch_.push_back('\\');
          break;
        case '/':
          scratch_.push_back('/');
          break;
        case 'b':
          scratch_.push_back('\b');
          break;
        case 'f':
          scratch_.push_back('\f');
          break;
        case 'n':
          scratch_.push_back('\n');
          break;
        case 'r':
          scratch_.push_back('\r');
          break;
        case 't':
          scratch_.push_back('\t');
          break;
        case 'u': {
          const qsizetype at = pos() - 2;
          char32_t cp = readHex4();
          if (cp >= 0xdc00 && cp <= 0xdfff)
            failAt(at, QStringLiteral("substituto baixo \\u%1 sem o alto")
                           .arg(uint(cp), 4, 16, QChar('0')));
          if (cp >= 0xd800 && cp <= 0xdbff) {
            if (end_ - p_ < 6 || p_[0] != '\\' || p_[1] != 'u')
              failAt(at, QStringLiteral("par substituto incompleto"));
            p_ += 2;
            const char32_t low = readHex4();
            if (low < 0xdc00 || low > 0xdfff) failAt(at, QStringLiteral("par substituto inválido"));
            cp = 0x10000 + ((cp - 0xd800) << 10) + (low - 0xdc00);
          }
          appendUtf8(cp);
          break;
        }
        default:
          failAt(pos() - 2, QStringLiteral("escape desconhecido '\\%1'").arg(QChar(e)));
      }
      continue;
    }
    if (c < 0x80) {
      if (escaped) scratch_.push_back(char(c));
      ++p_;
      continue;
    }
    // Multi-byte UTF-8: check the sequence so that bad bytes are reported, not replaced.
    int len;
    char32_t cp;
    if ((c & 0xe0) == 0xc0) {
      len = 2;
      cp = c & 0x1f;
    } else if ((c & 0xf0) == 0xe0) {
      len = 3;
      cp = c & 0x0f;
    } else if ((c & 0xf8) == 0xf0) {
      len = 4;
      cp = c & 0x07;
    } else {
      fail(QStringLiteral("UTF-8 inválido"));
    }
    if (end_ - p_ < len) fail(QStringLiteral("UTF-8 inválido"));
    for (int k = 1; k < len; ++k) {
      const unsigned char cc = static_cast<unsigned char>(p_[k]);
      if ((cc & 0xc0) != 0x80) fail(QStringLiteral("UTF-8 inválido"));
      cp = (cp << 6) | (cc & 0x3f);
    }
    static constexpr char32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[len] || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff))
      fail(QStringLiteral("UTF-8 inválido"));
    if (escaped) scratch_.append(p_, size_t(len));
    p_ += len;
  }
  const char* close = p_;
  ++p_;
  if (escaped) return scratch_;
  return std::string_view(start, size_t(close - start));
}

std::string_view JsonReader::readNumberToken() {
  skipWs();
  const char* s = p_;
  const char* q = p_;
  if (q < end_ && *q == '-') ++q;
  if (q >= end_ || *q < '0' || *q > '9')
    fail(QStringLiteral("esperado um número, encontrado %1").arg(Describe(q, end_)));
  while (q < end_ && *q >= '0' && *q <= '9') ++q;
  if (q < end_ && *q == '.') {
    ++q;
    if (q >= end_ || *q < '0' || *q > '9') failAt(q - begin_, QStringLiteral("número mal formado"));
    while (q < end_ && *q >= '0' && *q <= '9') ++q;
  }
  if (q < end_ && (*q == 'e' || *q == 'E')) {
    ++q;
    if (q < end_ && (*q == '+' || *q == '-')) ++q;
    if (q >= end_ || *q < '0' || *q > '9') failAt(q - begin_, QStringLiteral("número mal formado"));
    while (q < end_ && *q >= '0' && *q <= '9') ++q;
  }
  p_ = q;
  return std::string_view(s, size_t(q - s));
}

double JsonReader::readDouble() {
  const qsizetype at = (skipWs(), pos());
  const std::string_view tok = readNumberToken();
  double v = 0;
  const auto r = std::from_chars(tok.data(), tok.data() + tok.size(), v);
  if (r.ec != std::errc() || r.ptr != tok.data() + tok.size() || !std::isfinite(v))
    failAt(at, QStringLiteral("número fora da faixa de um valor de ponto flutuante"));
  return v;
}

qint64 JsonReader::readInteger() {
  const qsizetype at = (skipWs(), pos());
  const std::string_view tok = readNumberToken();
  qint64 v = 0;
  const auto r = std::from_chars(tok.data(), tok.data() + tok.size(), v);
  if (r.ec == std::errc() && r.ptr == tok.data() + tok.size()) return v;
  // 3.0 or 1e3 are integers too.
  double d = 0;
  const auto rd = std::from_chars(tok.data(), tok.data() + tok.size(), d);
  if (rd.ec == std::errc() && std::isfinite(d) && d == std::trunc(d) && std::fabs(d) < 9.2e18)
    return qint64(d);
  failAt(at, QStringLiteral("esperado um número inteiro"));
}

bool JsonReader::readBool() {
  skipWs();
  if (end_ - p_ >= 4 && std::string_view(p_, 4) == "true") {
    p_ += 4;
    return true;
  }
  if (end_ - p_ >= 5 && std::string_view(p_, 5) == "false") {
    p_ += 5;
    return false;
  }
  fail(QStringLiteral("esperado true ou false, encontrado %1").arg(Describe(p_, end_)));
}

bool JsonReader::consumeNull() {
  skipWs();
  if (end_ - p_ >= 4 && p_[0] == 'n' && std::string_view(p_, 4) == "null") {
    p_ += 4;
    return true;
  }
  return false;
}

void JsonReader::skipValue() {
  const char c = peek();
  switch (c) {
    case '"':
      readString();
      return;
    case 't':
    case 'f':
      readBool();
      return;
    case 'n':
      if (!consumeNull()) fail(QStringLiteral("valor desconhecido"));
      return;
    case '[':
    case '{': {
      if (++depth_ > kMaxDepth) fail(QStringLiteral("aninhamento profundo demais"));
      ++p_;
      const char close = c == '[' ? ']' : '}';
      if (!consume(close)) {
        do {
          if (c == '{') {
            readString();
            expect(':');
          }
          skipValue();
        } while (nextItem(close));
      }
      --depth_;
      return;
    }
    default:
      readNumberToken();
  }
}

void JsonReader::expectEnd() {
  skipWs();
  if (p_ != end_) fail(QStringLiteral("texto a mais depois do fim"));
}


}  // namespace fw
