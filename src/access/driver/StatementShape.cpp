#include "access/driver/StatementShape.h"

#include <cstdint>

namespace qz::access {
namespace {

// The class of each byte, looked up: every byte of a statement is
// classed on every run.
enum : unsigned char { kSpaceByte = 1, kWordByte = 2 };
struct ByteClasses {
  unsigned char of[256];
  constexpr ByteClasses() : of() {
    for (const char c : {' ', '\t', '\n', '\r', '\f', '\v'}) of[static_cast<unsigned char>(c)] = kSpaceByte;
    // Letters, digits, '_' and every byte of a multi-byte UTF-8 character:
    // the bytes of names, keywords and numbers.
    for (int u = 0; u < 256; ++u)
      if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || u == '_' || u >= 0x80)
        of[u] = kWordByte;
  }
};
constexpr ByteClasses kByteClasses;

bool IsSpace(char c) { return kByteClasses.of[static_cast<unsigned char>(c)] == kSpaceByte; }
bool IsWordByte(char c) { return kByteClasses.of[static_cast<unsigned char>(c)] == kWordByte; }

bool IsComparisonByte(char c) { return c == '=' || c == '<' || c == '>' || c == '!'; }

// Whether a literal left in a statement's text means the same whenever the
// statement is parsed. Judged only for what is sure: text without letters
// (numbers, dates and times in digits). Letters may spell a word the
// engine reads by the clock ('now', 'Today', 'tomorrow 10:00') or anything
// else it resolves when parsing, so such a literal is not judged safe.
bool FixedWhenParsed(std::string_view quoted) {
  for (char c : quoted) {
    const unsigned char u = static_cast<unsigned char>(c);
    if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || u >= 0x80) return false;
  }
  return true;
}

// word equals upper, ignoring ASCII case.
bool SameWord(std::string_view word, std::string_view upper) {
  if (word.size() != upper.size()) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    char c = word[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != upper[i]) return false;
  }
  return true;
}

bool IsComparison(std::string_view op) {
  return op == "=" || op == "==" || op == "<>" || op == "!=" || op == "<" || op == ">" || op == "<=" || op == ">=";
}

// What the token before a literal makes of it: a value compared to
// something or listed in an IN list (replaceable), or anything else.
enum class Before { kOther, kValue };

// IN lists nest no deeper than this in any text we replace literals of.
constexpr int kMaxDepth = 64;

class Shaper {
 public:
  Shaper(std::string_view sql, MarkerStyle style, StatementShape* shape) : sql_(sql), style_(style), shape_(shape) {}

  // False when the text must be left whole. The text is copied to the
  // shape a stretch at a time, between the literals that become markers:
  // everything else stays as it is written.
  bool Run() {
    shape_->is_data = IsDataStatement();
    if (!shape_->is_data) return false;
    while (i_ < sql_.size()) {
      const char c = sql_[i_];
      // Blanks and words first, the bulk of every text: no byte of theirs
      // starts anything below.
      if (IsSpace(c)) {
        ++i_;
      } else if (IsWordByte(c)) {
        Word();
      } else if (c == '\'') {
        if (!Literal()) return false;
      } else if (c == '"' || c == '`' || (c == '[' && style_ == MarkerStyle::kQuestionNumbered)) {
        if (!QuotedName(c == '[' ? ']' : c)) return false;
      } else if (c == '$' || c == '?' || StartsComment() || StartsNamedMarker()) {
        return false;
      } else if (IsComparisonByte(c)) {
        size_t end = i_;
        while (end < sql_.size() && IsComparisonByte(sql_[end])) ++end;
        const std::string_view op = sql_.substr(i_, end - i_);
        before_ = IsComparison(op) ? Before::kValue : Before::kOther;
        after_in_ = false;
        i_ = end;
      } else {
        if (!Punctuation(c)) return false;
        ++i_;
      }
    }
    if (count_ > 0) shape_->text.append(sql_.substr(copied_));
    return true;
  }

 private:
  // Only queries and row changes take parameters on every engine; other
  // statements (CREATE VIEW ... WHERE a = 'x', a trigger's WHEN) keep
  // their literals.
  bool IsDataStatement() const {
    size_t i = 0;
    while (i < sql_.size() && (IsSpace(sql_[i]) || sql_[i] == '(')) ++i;
    size_t end = i;
    while (end < sql_.size() && IsWordByte(sql_[end])) ++end;
    const std::string_view word = sql_.substr(i, end - i);
    return SameWord(word, "SELECT") || SameWord(word, "WITH") || SameWord(word, "INSERT") || SameWord(word, "UPDATE") ||
           SameWord(word, "DELETE");
  }

  bool StartsComment() const {
    const char c = sql_[i_];
    const char next = i_ + 1 < sql_.size() ? sql_[i_ + 1] : '\0';
    return (c == '-' && next == '-') || (c == '/' && next == '*');
  }

  // SQLite also takes :name and @name as parameters.
  bool StartsNamedMarker() const {
    if (style_ != MarkerStyle::kQuestionNumbered) return false;
    const char c = sql_[i_];
    return (c == ':' || c == '@') && i_ + 1 < sql_.size() && IsWordByte(sql_[i_ + 1]);
  }

  void Word() {
    size_t end = i_;
    while (end < sql_.size() && IsWordByte(sql_[end])) ++end;
    const std::string_view word = sql_.substr(i_, end - i_);
    before_ =
        SameWord(word, "LIKE") || SameWord(word, "ILIKE") || SameWord(word, "GLOB") ? Before::kValue : Before::kOther;
    after_in_ = SameWord(word, "IN");
    // A word inside an IN list's parentheses makes it a subquery or an
    // expression: its commas no longer separate plain values.
    if (depth_ > 0) in_list_ &= ~(uint64_t{1} << (depth_ - 1));
    i_ = end;
  }

  bool Punctuation(char c) {
    if (c == '(') {
      if (depth_ == kMaxDepth) return false;
      if (after_in_)
        in_list_ |= uint64_t{1} << depth_;
      else
        in_list_ &= ~(uint64_t{1} << depth_);
      ++depth_;
      before_ = after_in_ ? Before::kValue : Before::kOther;
    } else if (c == ',') {
      before_ = depth_ > 0 && (in_list_ >> (depth_ - 1)) & 1 ? Before::kValue : Before::kOther;
    } else {
      if (c == ')' && depth_ > 0) --depth_;
      before_ = Before::kOther;
    }
    after_in_ = false;
    return true;
  }

  bool QuotedName(char close) {
    const size_t end = sql_.find(close, i_ + 1);
    if (end == std::string_view::npos) return false;
    before_ = Before::kOther;
    after_in_ = false;
    i_ = end + 1;
    return true;
  }

  bool Literal() {
    // A prefix glued to the quote (E'..', X'..', U&'..') changes how the
    // text inside is read: such a text is left whole.
    if (i_ > 0 && (IsWordByte(sql_[i_ - 1]) || sql_[i_ - 1] == '&')) return false;
    size_t j = i_;
    for (;;) {
      j = sql_.find('\'', j + 1);
      if (j == std::string_view::npos) return false;  // the quote does not close
      if (j + 1 < sql_.size() && sql_[j + 1] == '\'') {
        ++j;  // a doubled quote stays inside
        continue;
      }
      break;
    }
    const size_t end = j + 1;
    // PostgreSQL joins two literals separated by a line break into one.
    size_t next = end;
    while (next < sql_.size() && IsSpace(sql_[next])) ++next;
    if (next < sql_.size() && sql_[next] == '\'') return false;

    if (before_ == Before::kValue) {
      shape_->text.append(sql_.substr(copied_, i_ - copied_));
      AddLiteral(sql_.substr(i_ + 1, j - i_ - 1));
      copied_ = end;
    } else {
      if (!FixedWhenParsed(sql_.substr(i_ + 1, j - i_ - 1))) fixed_ = false;
    }
    before_ = Before::kOther;
    after_in_ = false;
    i_ = end;
    return true;
  }

  // quoted is the text between the quotes, a doubled quote standing for one.
  void AddLiteral(std::string_view quoted) {
    std::vector<std::string>& literals = shape_->literals;
    if (count_ == literals.size()) literals.emplace_back();
    std::string& value = literals[count_++];
    value.assign(quoted);
    if (value.find('\'') != std::string::npos) {
      value.clear();
      for (size_t k = 0; k < quoted.size(); ++k) {
        value.push_back(quoted[k]);
        if (quoted[k] == '\'') ++k;  // the second quote of a pair
      }
    }
    shape_->text.push_back(style_ == MarkerStyle::kDollarNumbered ? '$' : '?');
    if (style_ != MarkerStyle::kQuestion) shape_->text.append(std::to_string(count_));
  }

 public:
  size_t count() const { return count_; }
  bool fixed() const { return fixed_; }

 private:
  std::string_view sql_;
  MarkerStyle style_;
  StatementShape* shape_;
  size_t i_ = 0;
  size_t copied_ = 0;  // sql_ before this is in the shape's text
  Before before_ = Before::kOther;
  bool after_in_ = false;
  int depth_ = 0;
  uint64_t in_list_ = 0;  // bit d: the parenthesis at depth d holds an IN list
  size_t count_ = 0;
  bool fixed_ = true;  // no literal left in the text may change with the time of parsing
};

}  // namespace

void ShapeOfStatement(std::string_view sql, MarkerStyle style, StatementShape* shape) {
  shape->text.clear();
  shape->text.reserve(sql.size() + 8);
  Shaper shaper(sql, style, shape);
  const bool shaped = shaper.Run();
  shape->keep = shaped && shape->is_data && shaper.fixed();
  if (!shaped || shaper.count() == 0) {
    shape->text.assign(sql);
    shape->literals.clear();
    return;
  }
  shape->literals.resize(shaper.count());
}

}  // namespace qz::access
