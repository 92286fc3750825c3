// Pointer lists and string lists.
#pragma once

#include <functional>
#include <vector>

#include "platform/base/classes.h"

enum TListNotification { lnAdded, lnExtracted, lnDeleted };
// <0 when Item1 goes before Item2, 0 when equal, >0 after.
using TListSortCompare = std::function<int(void* Item1, void* Item2)>;

// A list of untyped pointers. Index errors raise EListError
// "List index out of bounds (n)". Notify sees every non-nil pointer that
// enters (lnAdded) or leaves (lnDeleted, or lnExtracted by Extract) the list,
// after the list has changed.
class TList : public TObject {
 public:
  TList() = default;
  ~TList() override;

  Integer Add(void* Item);
  void Insert(Integer Index, void* Item);
  void Delete(Integer Index);
  // Deletes the first occurrence; returns its former index or -1.
  Integer Remove(void* Item);
  // Takes the first occurrence out without deleting it; nullptr when absent.
  void* Extract(void* Item);
  Integer IndexOf(void* Item) const;
  void Clear();
  void Exchange(Integer Index1, Integer Index2);
  // Moves the item at CurIndex so that it ends up at NewIndex.
  void Move(Integer CurIndex, Integer NewIndex);
  // Removes every nil entry.
  void Pack();
  // Stable: equal items keep their order.
  void Sort(const TListSortCompare& Compare);

  Integer Count() const { return static_cast<Integer>(FList.size()); }
  // Shrinking deletes from the end; growing appends nil entries.
  void SetCount(Integer NewCount);
  Integer Capacity() const { return static_cast<Integer>(FList.capacity()); }
  void SetCapacity(Integer NewCapacity);
  void* Items(Integer Index) const;
  void SetItems(Integer Index, void* Item);
  void* First() const { return Items(0); }
  void* Last() const { return Items(Count() - 1); }

 protected:
  virtual void Notify(void* Ptr, TListNotification Action);
  void CheckIndex(Integer Index) const;

 private:
  std::vector<void*> FList;
};

// A list of objects that frees the objects it deletes when OwnsObjects is set
// (extracted objects are handed back, never freed).
class TObjectList : public TList {
 public:
  explicit TObjectList(bool OwnsObjects = true) : FOwnsObjects(OwnsObjects) {}
  ~TObjectList() override;

  Integer Add(TObject* Item) { return TList::Add(Item); }
  void Insert(Integer Index, TObject* Item) { TList::Insert(Index, Item); }
  Integer Remove(TObject* Item) { return TList::Remove(Item); }
  TObject* Extract(TObject* Item) { return static_cast<TObject*>(TList::Extract(Item)); }
  Integer IndexOf(TObject* Item) const { return TList::IndexOf(Item); }
  TObject* Items(Integer Index) const { return static_cast<TObject*>(TList::Items(Index)); }
  void SetItems(Integer Index, TObject* Item) { TList::SetItems(Index, Item); }
  bool OwnsObjects() const { return FOwnsObjects; }
  void SetOwnsObjects(bool Value) { FOwnsObjects = Value; }

 protected:
  void Notify(void* Ptr, TListNotification Action) override;

 private:
  bool FOwnsObjects;
};

enum TDuplicates { dupIgnore, dupAccept, dupError };

// An ordered list of strings, each with an optional object (never owned).
// Lines of Text end with CR LF; reading accepts CR LF, LF and CR. Files and
// streams are UTF-8 (a byte-order mark is skipped when reading, never written).
class TStrings : public TPersistent {
 public:
  virtual Integer Add(const WideString& S);
  virtual Integer AddObject(const WideString& S, TObject* AObject);
  void AddStrings(TStrings* Strings);
  // Copies the strings, objects, delimiters and quote character of another TStrings.
  void Assign(TPersistent* Source) override;
  void BeginUpdate();
  void EndUpdate();
  virtual void Clear() = 0;
  virtual void Delete(Integer Index) = 0;
  virtual void Exchange(Integer Index1, Integer Index2);
  virtual Integer IndexOf(const WideString& S) const;
  // Index of the first "Name=..." entry, or -1.
  Integer IndexOfName(const WideString& Name) const;
  Integer IndexOfObject(TObject* AObject) const;
  virtual void Insert(Integer Index, const WideString& S) = 0;
  virtual void InsertObject(Integer Index, const WideString& S, TObject* AObject);
  void Move(Integer CurIndex, Integer NewIndex);
  void LoadFromFile(const WideString& FileName);
  virtual void LoadFromStream(TStream* Stream);  // from the position to the end
  void SaveToFile(const WideString& FileName);
  virtual void SaveToStream(TStream* Stream);

  Integer Count() const { return GetCount(); }
  WideString Strings(Integer Index) const { return Get(Index); }
  void SetStrings(Integer Index, const WideString& S) { Put(Index, S); }
  TObject* Objects(Integer Index) const { return GetObject(Index); }
  void SetObjects(Integer Index, TObject* AObject) { PutObject(Index, AObject); }

  // Name=Value entries. Names(i) is empty for an entry without the separator,
  // and so is ValueFromIndex(i). SetValues with an empty value deletes the entry.
  WideString Names(Integer Index) const;
  WideString Values(const WideString& Name) const;
  void SetValues(const WideString& Name, const WideString& Value);
  WideString ValueFromIndex(Integer Index) const;
  void SetValueFromIndex(Integer Index, const WideString& Value);
  WideChar NameValueSeparator() const { return FNameValueSeparator; }
  void SetNameValueSeparator(WideChar C) { FNameValueSeparator = C; }

  // Entries joined by Delimiter; an entry holding a blank, a control
  // character, the delimiter or the quote character is quoted, quotes inside
  // doubled. Reading splits at delimiters and at blanks outside quotes.
  WideString DelimitedText() const;
  void SetDelimitedText(const WideString& Value);
  WideChar Delimiter() const { return FDelimiter; }
  void SetDelimiter(WideChar C) { FDelimiter = C; }
  WideChar QuoteChar() const { return FQuoteChar; }
  void SetQuoteChar(WideChar C) { FQuoteChar = C; }
  // DelimitedText with "," and '"'.
  WideString CommaText() const;
  void SetCommaText(const WideString& Value);
  WideString Text() const;
  void SetText(const WideString& Value);

 protected:
  virtual WideString Get(Integer Index) const = 0;
  virtual void Put(Integer Index, const WideString& S);
  virtual TObject* GetObject(Integer Index) const;
  virtual void PutObject(Integer Index, TObject* AObject);
  virtual Integer GetCount() const = 0;
  // Used by IndexOf, IndexOfName and Values; ignores ASCII case here.
  virtual int CompareStrings(const WideString& S1, const WideString& S2) const;
  // Called when the update count leaves and returns to zero.
  virtual void SetUpdateState(bool Updating);
  Integer UpdateCount() const { return FUpdateCount; }

 private:
  WideString JoinDelimited(WideChar Delim, WideChar Quote) const;
  void SplitDelimited(const WideString& Value, WideChar Delim, WideChar Quote);
  Integer FUpdateCount = 0;
  WideChar FNameValueSeparator = u'=';
  WideChar FDelimiter = u',';
  WideChar FQuoteChar = u'"';
};

class TStringList;
using TStringListSortCompare = std::function<int(TStringList* List, Integer Index1, Integer Index2)>;

// The string list. When Sorted, Add puts a string in order and Duplicates
// decides what happens to an equal one (dupError raises EStringListError);
// Insert and Put raise EStringListError on a sorted list. Comparison follows
// CaseSensitive (see WideCompareStr and WideCompareText).
class TStringList : public TStrings {
 public:
  TStringList() = default;
  ~TStringList() override;

  Integer Add(const WideString& S) override;
  Integer AddObject(const WideString& S, TObject* AObject) override;
  void Clear() override;
  void Delete(Integer Index) override;
  void Exchange(Integer Index1, Integer Index2) override;
  // Index of S (true) or where it would go (false). On a sorted list the
  // search is binary and finds the first of equal entries; on an unsorted
  // list it is linear and Index is Count when S is absent.
  virtual bool Find(const WideString& S, Integer& Index) const;
  Integer IndexOf(const WideString& S) const override;
  void Insert(Integer Index, const WideString& S) override;
  void InsertObject(Integer Index, const WideString& S, TObject* AObject) override;
  // Sorts an unsorted list (stable); a sorted list is in order already.
  virtual void Sort();
  virtual void CustomSort(const TStringListSortCompare& Compare);

  TDuplicates Duplicates() const { return FDuplicates; }
  void SetDuplicates(TDuplicates Value) { FDuplicates = Value; }
  bool Sorted() const { return FSorted; }
  void SetSorted(bool Value);
  bool CaseSensitive() const { return FCaseSensitive; }
  // A sorted list is sorted again under the new comparison.
  void SetCaseSensitive(bool Value);

  TNotifyEvent OnChange;
  TNotifyEvent OnChanging;

 protected:
  virtual void Changed();
  virtual void Changing();
  WideString Get(Integer Index) const override;
  void Put(Integer Index, const WideString& S) override;
  TObject* GetObject(Integer Index) const override;
  void PutObject(Integer Index, TObject* AObject) override;
  Integer GetCount() const override { return static_cast<Integer>(FList.size()); }
  int CompareStrings(const WideString& S1, const WideString& S2) const override;
  void SetUpdateState(bool Updating) override;
  virtual void InsertItem(Integer Index, const WideString& S, TObject* AObject);

 private:
  struct TStringItem {
    WideString FString;
    TObject* FObject;
  };
  void CheckIndex(Integer Index) const;
  void SortItems();
  void QuickSort(Integer L, Integer R, const TStringListSortCompare& Compare);
  std::vector<TStringItem> FList;
  TDuplicates FDuplicates = dupIgnore;
  bool FSorted = false;
  bool FCaseSensitive = false;
};
