#include "access/driver/odbc/OdbcStatementText.h"

namespace qz::access::odbc {
namespace {

bool IsSpace(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r' || c == L'\f' || c == L'\v'; }

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// Letters, '_' and every character past ASCII: each of the three products
// takes those in a name.
bool IsNameStart(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || c == L'_' || c >= 0x80; }

bool IsWordCharacter(wchar_t c) { return IsNameStart(c) || IsDigit(c); }

bool SameWord(std::wstring_view word, std::wstring_view upper) {
  if (word.size() != upper.size()) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    wchar_t c = word[i];
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    if (c != upper[i]) return false;
  }
  return true;
}

bool IsPlainIdentifier(std::wstring_view name) {
  if (name.empty() || IsDigit(name[0])) return false;
  for (wchar_t c : name)
    if (c >= 0x80 || !IsWordCharacter(c)) return false;
  return true;
}

// Reads a text token by token as one server reads it: enough of its
// lexical rules to know where each quote and comment ends, and so which
// ';' end statements. A name or number is read whole, so that a '$' inside
// PostgreSQL's a$b$ is part of the name, as the server reads it, and no
// dollar quote.
class StatementReader {
 public:
  StatementReader(std::wstring_view sql, SqlDialect dialect, bool escapes, bool ansi_quotes)
      : sql_(sql), dialect_(dialect), escapes_(escapes), ansi_quotes_(ansi_quotes) {}

  StatementCount Count() {
    size_t statements = 0;
    bool in_statement = false;
    while (i_ < sql_.size()) {
      const wchar_t c = sql_[i_];
      if (IsSpace(c)) {
        ++i_;
      } else if (SkipComment()) {
        if (loose_) return CountLoosely();
      } else if (c == L';' && body_depth_ == 0) {
        in_statement = false;
        ++i_;
      } else {
        if (!in_statement) {
          if (++statements > 1) return StatementCount::kSeveral;
          in_statement = true;
        }
        Token();
        if (loose_) return CountLoosely();
      }
    }
    return statements == 0 ? StatementCount::kNone : StatementCount::kOne;
  }

 private:
  wchar_t At(size_t i) const { return i < sql_.size() ? sql_[i] : L'\0'; }

  // From a construct that servers of one product read in more than one
  // way on: every ';' with text after it ends a statement, wherever it
  // stands.
  StatementCount CountLoosely() const {
    size_t end = sql_.size();
    while (end > loose_from_ && (IsSpace(sql_[end - 1]) || sql_[end - 1] == L';')) --end;
    return sql_.substr(loose_from_, end - loose_from_).find(L';') == std::wstring_view::npos ? StatementCount::kOne
                                                                                             : StatementCount::kSeveral;
  }

  void ReadLoosely() {
    loose_ = true;
    loose_from_ = i_;
  }

  // Skips a comment at i_; false when none starts there.
  bool SkipComment() {
    const wchar_t c = sql_[i_];
    const wchar_t next = At(i_ + 1);
    bool line = false;
    if (c == L'-' && next == L'-') {
      // MySQL: "--" starts a comment only before a blank or control
      // character; "1--1" is arithmetic.
      const wchar_t after = At(i_ + 2);
      line = dialect_ != SqlDialect::kMySql || i_ + 2 >= sql_.size() || after <= L' ' || after == 0x7f;
    } else if (c == L'#') {
      line = dialect_ == SqlDialect::kMySql;
    }
    if (line) {
      // PostgreSQL ends a line comment at a carriage return too.
      size_t end = i_ + 1;
      while (end < sql_.size() && sql_[end] != L'\n' && !(sql_[end] == L'\r' && dialect_ == SqlDialect::kPostgres))
        ++end;
      i_ = end;
      return true;
    }
    if (c != L'/' || next != L'*') return false;
    if (dialect_ == SqlDialect::kMySql && (At(i_ + 2) == L'!' || (At(i_ + 2) == L'M' && At(i_ + 3) == L'!'))) {
      // Code that runs or stays a comment by the server's version.
      ReadLoosely();
      return true;
    }
    if (dialect_ == SqlDialect::kPostgres) {
      // Block comments nest.
      int depth = 1;
      size_t j = i_ + 2;
      while (j < sql_.size() && depth > 0) {
        if (sql_[j] == L'/' && At(j + 1) == L'*') {
          ++depth;
          j += 2;
        } else if (sql_[j] == L'*' && At(j + 1) == L'/') {
          --depth;
          j += 2;
        } else {
          ++j;
        }
      }
      i_ = j;
      return true;
    }
    const size_t end = sql_.find(L"*/", i_ + 2);
    i_ = end == std::wstring_view::npos ? sql_.size() : end + 2;
    return true;
  }

  // Skips the quoted text that opens at i_: a doubled quote stays inside,
  // and with escapes a backslash takes the next character with it. A quote
  // that never closes runs to the end (the server refuses the text).
  void SkipQuoted(wchar_t quote, bool escapes) {
    size_t j = i_ + 1;
    while (j < sql_.size()) {
      if (escapes && sql_[j] == L'\\') {
        j += 2;
      } else if (sql_[j] != quote) {
        ++j;
      } else if (At(j + 1) == quote) {
        j += 2;
      } else {
        i_ = j + 1;
        return;
      }
    }
    i_ = sql_.size();
  }

  void Token() {
    const wchar_t c = sql_[i_];
    // END IF, END CASE: only the word straight after END closes with it.
    if (!IsNameStart(c)) after_end_ = false;
    if (c == L'\'') {
      SkipQuoted(c, escapes_);
    } else if (c == L'"') {
      SkipQuoted(c, dialect_ == SqlDialect::kMySql && !ansi_quotes_ && escapes_);
    } else if (c == L'`' && dialect_ != SqlDialect::kPostgres) {
      SkipQuoted(c, false);
    } else if (c == L'[' && dialect_ == SqlDialect::kSqlite) {
      const size_t end = sql_.find(L']', i_ + 1);
      i_ = end == std::wstring_view::npos ? sql_.size() : end + 1;
    } else if (c == L'$' && dialect_ == SqlDialect::kPostgres) {
      DollarToken();
    } else if ((c == L'$' || c == L'@' || c == L':' || c == L'#') && dialect_ == SqlDialect::kSqlite) {
      SqliteParameter();
    } else if (IsNameStart(c)) {
      Word();
    } else if (IsDigit(c)) {
      Number();
    } else {
      ++i_;
    }
  }

  void Word() {
    size_t end = i_;
    // '$' is part of a name after its first character (PostgreSQL, MySQL
    // and SQLite alike).
    while (end < sql_.size() && (IsWordCharacter(sql_[end]) || sql_[end] == L'$')) ++end;
    const std::wstring_view word = sql_.substr(i_, end - i_);
    i_ = end;
    if (dialect_ == SqlDialect::kPostgres && word.size() == 1 && At(i_) == L'\'') {
      // E'..' reads backslash escapes whatever the settings; B'..', X'..'
      // and U&'..' never do.
      const wchar_t prefix = word[0];
      if (prefix == L'E' || prefix == L'e') {
        SkipQuoted(L'\'', true);
        return;
      }
      if (prefix == L'B' || prefix == L'b' || prefix == L'X' || prefix == L'x') {
        SkipQuoted(L'\'', false);
        return;
      }
    }
    if (dialect_ == SqlDialect::kPostgres && (word == L"U" || word == L"u") && At(i_) == L'&' && At(i_ + 1) == L'\'') {
      ++i_;
      SkipQuoted(L'\'', false);
      return;
    }
    NoteWord(word);
  }

  // A trigger or routine body (CREATE ... BEGIN ... END) holds statements
  // of its own, each ended by ';'. CASE ... END nests inside it; the other
  // compound statements close with END IF, END LOOP and so on.
  void NoteWord(std::wstring_view word) {
    if (first_word_) creates_ = SameWord(word, L"CREATE");
    first_word_ = false;
    if (!creates_) return;
    if (SameWord(word, L"BEGIN") || (body_depth_ > 0 && SameWord(word, L"CASE"))) {
      if (after_end_ && SameWord(word, L"CASE")) {
        after_end_ = false;  // END CASE closed what CASE opened
        return;
      }
      ++body_depth_;
    } else if (after_end_ && (SameWord(word, L"IF") || SameWord(word, L"LOOP") || SameWord(word, L"WHILE") ||
                              SameWord(word, L"REPEAT"))) {
      ++body_depth_;  // END IF closes no BEGIN: undo the step below
    }
    after_end_ = false;
    if (body_depth_ > 0 && SameWord(word, L"END")) {
      --body_depth_;
      after_end_ = true;
    }
  }

  void Number() {
    size_t end = i_;
    while (end < sql_.size() && (IsWordCharacter(sql_[end]) || sql_[end] == L'.' ||
                                 (sql_[end] == L'$' && dialect_ != SqlDialect::kPostgres)))
      ++end;
    i_ = end;
    // PostgreSQL before 15 reads 1E'..' as the number 1 and an E'..'
    // string, later ones refuse it; 1$x$ opens a dollar quote. Read on
    // loosely rather than pick one.
    if (dialect_ == SqlDialect::kPostgres && (At(i_) == L'\'' || At(i_) == L'$' || At(i_) == L'"')) ReadLoosely();
  }

  // At a '$' that is no part of a name: a parameter ($1), a dollar quote
  // ($$...$$ or $tag$...$tag$, tag a name without '$'), or an operator.
  void DollarToken() {
    size_t j = i_ + 1;
    if (IsDigit(At(j))) {
      while (IsDigit(At(j))) ++j;
      i_ = j;
      return;
    }
    if (IsNameStart(At(j)))
      while (IsWordCharacter(At(j))) ++j;
    if (At(j) != L'$') {
      ++i_;
      return;
    }
    const std::wstring_view tag = sql_.substr(i_, j + 1 - i_);
    const size_t end = sql_.find(tag, j + 1);
    i_ = end == std::wstring_view::npos ? sql_.size() : end + tag.size();
  }

  // SQLite's $name, @name, :name and #name, with Tcl's "::" and a
  // parenthesised suffix that runs to ')' or a blank, quotes included.
  void SqliteParameter() {
    size_t j = i_ + 1;
    size_t letters = 0;
    while (j < sql_.size()) {
      const wchar_t c = sql_[j];
      if (IsWordCharacter(c) || c == L'$') {
        ++letters;
        ++j;
      } else if (c == L'(' && letters > 0) {
        ++j;
        while (j < sql_.size() && !IsSpace(sql_[j]) && sql_[j] != L')') ++j;
        if (At(j) == L')') ++j;
        break;
      } else if (c == L':' && At(j + 1) == L':') {
        j += 2;
      } else {
        break;
      }
    }
    i_ = letters > 0 ? j : i_ + 1;
  }

  std::wstring_view sql_;
  SqlDialect dialect_;
  bool escapes_;
  bool ansi_quotes_;
  size_t i_ = 0;
  bool loose_ = false;
  size_t loose_from_ = 0;
  bool first_word_ = true;
  bool creates_ = false;
  int body_depth_ = 0;
  bool after_end_ = false;
};

StatementCount Larger(StatementCount a, StatementCount b) { return static_cast<int>(a) > static_cast<int>(b) ? a : b; }

}  // namespace

SqlDialect DialectOfProduct(std::wstring_view dbms_name) {
  if (dbms_name.find(L"PostgreSQL") != std::wstring_view::npos) return SqlDialect::kPostgres;
  if (dbms_name.find(L"MySQL") != std::wstring_view::npos || dbms_name.find(L"MariaDB") != std::wstring_view::npos)
    return SqlDialect::kMySql;
  if (dbms_name.find(L"SQLite") != std::wstring_view::npos) return SqlDialect::kSqlite;
  return SqlDialect::kUnknown;
}

StatementCount CountStatements(std::wstring_view sql, const TextRules& rules) {
  if (rules.dialect == SqlDialect::kUnknown) {
    StatementCount count = StatementCount::kNone;
    for (SqlDialect dialect : {SqlDialect::kPostgres, SqlDialect::kMySql, SqlDialect::kSqlite})
      count = Larger(count, CountStatements(sql, TextRules{dialect, Backslash::kEither, false}));
    return count;
  }
  if (rules.backslash == Backslash::kEither) {
    StatementCount count = CountStatements(sql, TextRules{rules.dialect, Backslash::kPlain, false});
    count = Larger(count, CountStatements(sql, TextRules{rules.dialect, Backslash::kEscape, false}));
    if (rules.dialect == SqlDialect::kMySql)
      count = Larger(count, CountStatements(sql, TextRules{rules.dialect, Backslash::kEscape, true}));
    return count;
  }
  // SQLite reads no backslash escapes at all.
  const bool escapes = rules.backslash == Backslash::kEscape && rules.dialect != SqlDialect::kSqlite;
  return StatementReader(sql, rules.dialect, escapes, rules.ansi_quotes).Count();
}

void AppendIdentifier(std::wstring* sql, std::wstring_view name, std::wstring_view quote) {
  if (IsPlainIdentifier(name) || quote.empty() || quote == L" ") {
    sql->append(name);
    return;
  }
  sql->append(quote);
  for (size_t i = 0; i < name.size(); ++i) {
    if (name.compare(i, quote.size(), quote) == 0) sql->append(quote);
    sql->push_back(name[i]);
  }
  sql->append(quote);
}

std::wstring InsertText(const std::wstring& table, const FieldValue* fields, size_t count, std::wstring_view quote) {
  std::wstring sql = L"INSERT INTO ";
  AppendIdentifier(&sql, table, quote);
  sql += L" (";
  for (size_t i = 0; i < count; ++i) {
    if (i) sql += L',';
    AppendIdentifier(&sql, fields[i].column, quote);
  }
  sql += L") VALUES (";
  for (size_t i = 0; i < count; ++i) sql += i ? L",?" : L"?";
  sql += L')';
  return sql;
}

namespace {

// " WHERE k1=? AND k2=?".
void AppendKeyCondition(std::wstring* sql, const std::vector<std::wstring>& key, std::wstring_view quote) {
  *sql += L" WHERE ";
  for (size_t i = 0; i < key.size(); ++i) {
    if (i) *sql += L" AND ";
    AppendIdentifier(sql, key[i], quote);
    *sql += L"=?";
  }
}

}  // namespace

std::wstring KeyLookupText(const std::wstring& table, const std::vector<std::wstring>& key, std::wstring_view quote) {
  std::wstring sql = L"SELECT 1 FROM ";
  AppendIdentifier(&sql, table, quote);
  AppendKeyCondition(&sql, key, quote);
  return sql;
}

std::wstring UpdateText(const std::wstring& table, const FieldValue* fields, size_t count,
                        const std::vector<std::wstring>& key, std::wstring_view quote) {
  std::wstring sql = L"UPDATE ";
  AppendIdentifier(&sql, table, quote);
  sql += L" SET ";
  for (size_t i = 0; i < count; ++i) {
    if (i) sql += L',';
    AppendIdentifier(&sql, fields[i].column, quote);
    sql += L"=?";
  }
  AppendKeyCondition(&sql, key, quote);
  return sql;
}

}  // namespace qz::access::odbc
