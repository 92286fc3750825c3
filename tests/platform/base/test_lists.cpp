#include <gtest/gtest.h>

#include <fstream>
#include <vector>

#include "platform/base/lists.h"
#include "platform/base/strutils.h"
#include "scratch_dir.h"

namespace test_lists_tests {

namespace {

// Records what the list reports through Notify.
class TRecordingList : public TList {
 public:
  std::vector<std::pair<intptr_t, TListNotification>> Log;

 protected:
  void Notify(void* Ptr, TListNotification Action) override {
    Log.emplace_back(reinterpret_cast<intptr_t>(Ptr), Action);
  }
};

void* P(intptr_t v) { return reinterpret_cast<void*>(v); }

std::vector<intptr_t> Items(const TList& l) {
  std::vector<intptr_t> r;
  for (Integer i = 0; i < l.Count(); ++i) r.push_back(reinterpret_cast<intptr_t>(l.Items(i)));
  return r;
}

std::vector<WideString> Strings(const TStrings& l) {
  std::vector<WideString> r;
  for (Integer i = 0; i < l.Count(); ++i) r.push_back(l.Strings(i));
  return r;
}

class TCounted : public TObject {
 public:
  explicit TCounted(int& Deaths) : FDeaths(Deaths) {}
  ~TCounted() override { ++FDeaths; }

 private:
  int& FDeaths;
};

}  // namespace

TEST(List, EditingNotifiesAndChecksIndexes) {
  TRecordingList l;
  l.Add(P(1));
  l.Add(nullptr);
  l.Insert(0, P(3));
  l.Add(P(4));
  EXPECT_EQ(Items(l), (std::vector<intptr_t>{3, 1, 0, 4}));
  l.Exchange(0, 3);
  l.Move(0, 2);  // 4 goes behind the nil entry
  EXPECT_EQ(Items(l), (std::vector<intptr_t>{1, 0, 4, 3}));
  EXPECT_EQ(l.Remove(P(4)), 2);
  EXPECT_EQ(l.Extract(P(1)), P(1));
  EXPECT_EQ(l.Extract(P(9)), nullptr);
  l.Pack();
  EXPECT_EQ(Items(l), (std::vector<intptr_t>{3}));
  l.SetItems(0, P(5));
  EXPECT_EQ(l.IndexOf(P(5)), 0);
  EXPECT_EQ(l.IndexOf(P(3)), -1);
  const std::vector<std::pair<intptr_t, TListNotification>> expected = {
      {1, lnAdded}, {3, lnAdded}, {4, lnAdded}, {4, lnDeleted}, {1, lnExtracted}, {3, lnDeleted}, {5, lnAdded}};
  EXPECT_EQ(l.Log, expected);
  for (Integer bad : {-1, 1}) {
    EXPECT_THROW(l.Items(bad), EListError);
    EXPECT_THROW(l.Delete(bad), EListError);
  }
  EXPECT_THROW(l.Insert(3, nullptr), EListError);
  EXPECT_THROW(l.SetCount(-1), EListError);
  l.SetCount(3);
  EXPECT_EQ(Items(l), (std::vector<intptr_t>{5, 0, 0}));
  l.Clear();
  EXPECT_EQ(l.Log.back(), (std::pair<intptr_t, TListNotification>{5, lnDeleted}));
}

TEST(List, SortIsStableAndSurvivesABadComparison) {
  TList l;
  for (intptr_t v : {31, 12, 22, 11, 32, 21}) l.Add(P(v));
  // Compare by tens only: equal tens keep their order.
  l.Sort([](void* a, void* b) {
    return static_cast<int>(reinterpret_cast<intptr_t>(a) / 10 - reinterpret_cast<intptr_t>(b) / 10);
  });
  EXPECT_EQ(Items(l), (std::vector<intptr_t>{12, 11, 22, 21, 31, 32}));
  // A comparison that answers "less" for everything must neither crash nor lose items.
  for (intptr_t v = 0; v < 100; ++v) l.Add(P(v));
  l.Sort([](void*, void*) { return -1; });
  EXPECT_EQ(l.Count(), 106);
}

TEST(ObjectList, FreesDeletedButNotExtractedObjects) {
  int deaths = 0;
  auto* kept = new TCounted(deaths);
  {
    TObjectList l;
    l.Add(new TCounted(deaths));
    l.Add(kept);
    l.Add(new TCounted(deaths));
    l.Delete(0);
    EXPECT_EQ(deaths, 1);
    EXPECT_EQ(l.Extract(kept), kept);
    EXPECT_EQ(deaths, 1);
    TObjectList borrowed(false);
    borrowed.Add(kept);
  }
  EXPECT_EQ(deaths, 2);  // the list's last object went with it; kept did not
  delete kept;
}

TEST(StringList, SortedListsAndDuplicates) {
  struct Case { TDuplicates dup; bool caseSensitive; std::vector<WideString> expected; bool raises; };
  const Case cases[] = {
      {dupIgnore, false, {u"a", u"b", u"c"}, false},
      {dupAccept, false, {u"a", u"B", u"b", u"c"}, false},  // an equal string goes before its peers
      {dupError, false, {u"a", u"b", u"c"}, true},
      {dupIgnore, true, {u"B", u"a", u"b", u"c"}, false},  // code point order: "B" before "a"
  };
  for (const auto& c : cases) {
    TStringList l;
    l.SetSorted(true);
    l.SetDuplicates(c.dup);
    l.SetCaseSensitive(c.caseSensitive);
    l.Add(u"c");
    l.Add(u"b");
    l.Add(u"a");
    bool raised = false;
    try {
      l.Add(u"B");
    } catch (const EStringListError&) {
      raised = true;
    }
    EXPECT_EQ(raised, c.raises) << c.dup;
    EXPECT_EQ(Strings(l), c.expected) << c.dup;
  }
  TStringList l;
  l.SetSorted(true);
  l.SetDuplicates(dupAccept);
  for (auto s : {u"x", u"m", u"m", u"M", u"a"}) l.Add(s);
  Integer i = -1;
  EXPECT_TRUE(l.Find(u"m", i));
  EXPECT_EQ(i, 1);  // the first of the equal entries
  EXPECT_FALSE(l.Find(u"n", i));
  EXPECT_EQ(i, 4);  // where it would go
  EXPECT_EQ(l.IndexOf(u"X"), 4);
  EXPECT_THROW(l.Insert(0, u"z"), EStringListError);
  EXPECT_THROW(l.SetStrings(0, u"z"), EStringListError);
  EXPECT_THROW(l.Delete(9), EStringListError);
}

TEST(StringList, ChangingTheComparisonSortsAgain) {
  TStringList l;
  l.SetCaseSensitive(true);
  for (auto s : {u"b", u"A", u"a", u"B"}) l.Add(s);
  l.SetSorted(true);
  EXPECT_EQ(Strings(l), (std::vector<WideString>{u"A", u"B", u"a", u"b"}));
  l.SetCaseSensitive(false);
  EXPECT_EQ(Strings(l), (std::vector<WideString>{u"A", u"a", u"B", u"b"}));
  Integer i;
  EXPECT_TRUE(l.Find(u"b", i));  // binary search agrees with the new order
  EXPECT_EQ(i, 2);
  // Unsorted lists search linearly.
  TStringList u;
  for (auto s : {u"z", u"y", u"x"}) u.Add(s);
  EXPECT_TRUE(u.Find(u"X", i));
  EXPECT_EQ(i, 2);
  EXPECT_FALSE(u.Find(u"a", i));
  EXPECT_EQ(i, 3);
}

TEST(StringList, ObjectsTravelWithTheirStrings) {
  int deaths = 0;
  TCounted one(deaths), two(deaths);
  TStringList l;
  l.AddObject(u"second", &two);
  l.AddObject(u"first", &one);
  l.Sort();
  EXPECT_EQ(l.Objects(0), &one);
  EXPECT_EQ(l.IndexOfObject(&two), 1);
  l.Move(0, 1);
  EXPECT_EQ(l.Strings(1), u"first");
  EXPECT_EQ(l.Objects(1), &one);
  TStringList copy;
  copy.Assign(&l);
  EXPECT_EQ(copy.Objects(1), &one);
  copy.AddStrings(&copy);  // adding a list to itself doubles it
  EXPECT_EQ(copy.Count(), 4);
  EXPECT_EQ(deaths, 0);  // a string list never frees its objects
}

TEST(StringList, NamesAndValues) {
  TStringList l;
  l.SetText(u"Width=640\r\nempty=\r\nplain\r\nHeight=480=x");
  EXPECT_EQ(l.Values(u"width"), u"640");  // names ignore case
  EXPECT_EQ(l.Values(u"Height"), u"480=x");
  EXPECT_EQ(l.Values(u"empty"), u"");
  EXPECT_EQ(l.Values(u"plain"), u"");
  EXPECT_EQ(l.Names(0), u"Width");
  EXPECT_EQ(l.Names(2), u"");
  EXPECT_EQ(l.ValueFromIndex(3), u"480=x");
  EXPECT_EQ(l.ValueFromIndex(2), u"");  // not "lain": an entry without "=" has no value
  EXPECT_EQ(l.IndexOfName(u"HEIGHT"), 3);
  l.SetValues(u"Width", u"800");
  l.SetValues(u"Depth", u"24");
  l.SetValues(u"empty", u"");  // an empty value deletes the entry
  EXPECT_EQ(Strings(l), (std::vector<WideString>{u"Width=800", u"plain", u"Height=480=x", u"Depth=24"}));
  l.SetValueFromIndex(0, u"1024");
  EXPECT_EQ(l.Strings(0), u"Width=1024");
  l.SetNameValueSeparator(u':');
  l.Add(u"Colour:red");
  EXPECT_EQ(l.Values(u"colour"), u"red");
}

TEST(StringList, CommaAndDelimitedText) {
  struct Write { std::vector<WideString> items; WideString text; };
  const Write writes[] = {
      {{u"a", u"b c", u"d\"e", u""}, u"a,\"b c\",\"d\"\"e\","},
      {{u""}, u"\"\""},
      {{}, u""},
      {{u"x,y", u"tab\there"}, u"\"x,y\",\"tab\there\""},
  };
  for (const auto& w : writes) {
    TStringList l;
    for (const auto& s : w.items) l.Add(s);
    EXPECT_EQ(l.CommaText(), w.text);
    TStringList back;
    back.SetCommaText(w.text);
    EXPECT_EQ(Strings(back), w.items) << WideToUtf8(w.text);
  }
  struct Read { WideString text; std::vector<WideString> items; };
  const Read reads[] = {
      {u"a, b ,c", {u"a", u"b", u"c"}},
      {u"a b", {u"a", u"b"}},  // blanks separate outside quotes
      {u"\"x,y\" z", {u"x,y", u"z"}},
      {u"a,", {u"a", u""}},
      {u"a,,b", {u"a", u"", u"b"}},
      {u"\"abc", {u"abc"}},  // an open quote runs to the end
      {u"  ", {}},
  };
  for (const auto& r : reads) {
    TStringList l;
    l.SetCommaText(r.text);
    EXPECT_EQ(Strings(l), r.items) << WideToUtf8(r.text);
  }
  TStringList l;
  l.SetDelimiter(u';');
  l.SetQuoteChar(u'\'');
  l.SetDelimitedText(u"a;'b;c';'it''s'");
  EXPECT_EQ(Strings(l), (std::vector<WideString>{u"a", u"b;c", u"it's"}));
  EXPECT_EQ(l.DelimitedText(), u"a;'b;c';'it''s'");
  EXPECT_EQ(l.CommaText(), u"a,b;c,it's");
  EXPECT_EQ(l.Delimiter(), u';');  // CommaText leaves the list's own settings alone
}

TEST(StringList, TextFilesAreUtf8WithCrLf) {
  ScratchDir dir;
  TStringList l;
  l.SetText(u"a\r\nb\nc\rd\r\n");
  EXPECT_EQ(Strings(l), (std::vector<WideString>{u"a", u"b", u"c", u"d"}));
  EXPECT_EQ(l.Text(), u"a\r\nb\r\nc\r\nd\r\n");
  l.Add(u"\u0416 \U0001F600");
  WideString name = dir.Wide() + u"list.txt";
  l.SaveToFile(name);
  std::ifstream f(dir.Path + "/list.txt", std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(f)), {});
  EXPECT_EQ(bytes, "a\r\nb\r\nc\r\nd\r\n\xD0\x96 \xF0\x9F\x98\x80\r\n");  // no byte-order mark
  {
    std::ofstream bom(dir.Path + "/bom.txt", std::ios::binary);
    bom << "\xEF\xBB\xBFone\ntwo";
  }
  TStringList back;
  back.LoadFromFile(dir.Wide() + u"bom.txt");
  EXPECT_EQ(Strings(back), (std::vector<WideString>{u"one", u"two"}));
  back.LoadFromFile(name);
  EXPECT_EQ(back.Strings(4), u"\u0416 \U0001F600");
  EXPECT_THROW(back.LoadFromFile(dir.Wide() + u"missing.txt"), EFOpenError);
  TMemoryStream m;
  m.WriteBuffer("skip\nx\ny", 8);
  m.SetPosition(5);  // reading starts at the position
  back.LoadFromStream(&m);
  EXPECT_EQ(Strings(back), (std::vector<WideString>{u"x", u"y"}));
}

TEST(StringList, ChangeEventsAndUpdates) {
  TStringList l;
  int changes = 0, changings = 0;
  l.OnChange = [&](TObject* sender) {
    EXPECT_EQ(sender, &l);
    ++changes;
  };
  l.OnChanging = [&](TObject*) { ++changings; };
  l.Add(u"a");
  EXPECT_EQ(changes, 1);
  l.BeginUpdate();
  l.Add(u"b");
  l.Add(u"c");
  l.Delete(0);
  EXPECT_EQ(changes, 1);
  l.EndUpdate();
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(changings, 2);
  l.SetCommaText(u"x,y,z");  // one change for the whole text
  EXPECT_EQ(changes, 3);
}

TEST(StringList, CustomSortByIndexAndWithABadComparison) {
  TStringList l;
  for (auto s : {u"ccc", u"a", u"bb", u"dddd"}) l.Add(s);
  l.CustomSort([](TStringList* list, Integer a, Integer b) {
    return static_cast<int>(list->Strings(b).size()) - static_cast<int>(list->Strings(a).size());
  });
  EXPECT_EQ(Strings(l), (std::vector<WideString>{u"dddd", u"ccc", u"bb", u"a"}));
  for (int i = 0; i < 200; ++i) l.Add(IntToStr(i));
  l.CustomSort([](TStringList*, Integer, Integer) { return -1; });  // must end, within bounds
  EXPECT_EQ(l.Count(), 204);
}

}  // namespace test_lists_tests
