// What every driver's cursor takes from driver/: where it stands
// (ForwardCursor) and how it finds a column by name (ColumnLookup). The
// engines' own suites run the same code against real rows; these pin the
// edges a real result rarely shows: a failed first read, a link lost
// under the rows, and lookups that miss the next-column guess.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "access/driver/ColumnLookup.h"
#include "access/driver/ForwardCursor.h"

namespace {

using qz::access::ColumnLookup;
using qz::access::ForwardCursor;
using qz::access::SameIdentifier;

// The SQLSTATE of what call throws; "" when it throws nothing.
template <typename Call>
std::string StateRaisedBy(Call call) {
  try {
    call();
  } catch (CQZDBException* e) {
    std::string state = e->GetSQLState().empty() ? "(none)" : e->GetSQLState();
    e->Delete();
    return state;
  }
  return "";
}

// Rows 1..rows, read on demand; the first read fails when told to.
class CountingCursor : public ForwardCursor {
 public:
  explicit CountingCursor(int rows, bool fail_first = false) : rows_(rows), fail_first_(fail_first) {}

  int reads = 0;
  // As a driver does when its connection goes: no row is left.
  void Lose() {
    row_ = 0;
    LoseRows();
  }

  void GetValue(std::wstring_view, CQZDBVariant& value) override { value = row_; }
  bool AddNew(const std::wstring&) override { return true; }
  bool Edit(const std::wstring&) override { return true; }
  bool SetFieldValue(std::wstring_view, const CQZDBVariant&) override { return true; }
  bool Update() override { return true; }
  void Close() override { StandPastEnd(); }

 private:
  void ReadFirst() override {
    if (fail_first_) CQZDBException::Raise(L"refused", "42501", 0);
    ReadNext();
  }
  void ReadNext() override {
    ++reads;
    row_ = row_ < rows_ ? row_ + 1 : 0;
  }
  bool OnRow() const override { return row_ != 0; }

  int rows_;
  bool fail_first_;
  int row_ = 0;
};

TEST(CursorPosition, ReadsOnlyWhenAskedAndStandsWhereItSays) {
  CountingCursor rows(2);
  rows.AddNew(L"T");  // a query opened to add rows reads nothing
  EXPECT_EQ(rows.reads, 0);
  EXPECT_FALSE(rows.IsBOF());
  EXPECT_EQ(rows.reads, 1);
  EXPECT_TRUE(rows.HasRow());
  EXPECT_TRUE(rows.MoveNext());
  EXPECT_FALSE(rows.MoveNext());
  EXPECT_TRUE(rows.IsEOF());
  EXPECT_FALSE(rows.IsBOF());  // there was a first row
  EXPECT_FALSE(rows.MoveNext());
  EXPECT_EQ(rows.reads, 3);  // nothing is read past the end

  CountingCursor none(0);
  EXPECT_TRUE(none.IsEOF());
  EXPECT_TRUE(none.IsBOF());

  // A first read that failed found no first row; it is not tried again.
  CountingCursor refused(2, true);
  EXPECT_EQ(StateRaisedBy([&] { refused.IsEOF(); }), "42501");
  EXPECT_TRUE(refused.IsBOF());
  EXPECT_TRUE(refused.IsEOF());

  // A link lost under the rows is said once, then the cursor is past its end.
  CountingCursor lost(2);
  lost.HasRow();
  lost.Lose();
  EXPECT_EQ(StateRaisedBy([&] { lost.MoveNext(); }), "08003");
  EXPECT_EQ(StateRaisedBy([&] { lost.MoveNext(); }), "");
  EXPECT_TRUE(lost.IsEOF());
}

TEST(CursorPosition, ColumnsAreFoundByNameInAnyOrderAndCase) {
  const std::vector<std::wstring> names = {L"guidTask", L"nIndex", L"strName", L"Stra\u00dfe"};
  auto name_at = [&](int i) -> const std::wstring& { return names[static_cast<size_t>(i)]; };
  const int count = static_cast<int>(names.size());
  ColumnLookup lookup;
  EXPECT_EQ(lookup.Find(L"guidtask", count, name_at), 0);
  EXPECT_EQ(lookup.Find(L"NINDEX", count, name_at), 1);
  EXPECT_EQ(lookup.Find(L"GuidTask", count, name_at), 0);  // the next-column guess misses
  EXPECT_EQ(lookup.Find(L"strName", count, name_at), 2);
  EXPECT_EQ(lookup.Find(L"STRA\u00dfE", count, name_at), 3);

  // Only ASCII letters fold: other letters are compared as written.
  EXPECT_FALSE(SameIdentifier(L"\u00c4b", L"\u00e4b"));
  try {
    lookup.Find(L"strasse", count, name_at, 7);
    ADD_FAILURE() << "an unknown column was found";
  } catch (CQZDBException* e) {
    EXPECT_EQ(e->GetSQLState(), "42703");
    EXPECT_EQ(e->GetNativeError(), 7);
    e->Delete();
  }
}

}  // namespace
