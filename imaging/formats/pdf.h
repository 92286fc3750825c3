// PDF output: a small object model (the values a PDF file is made of) and the
// writer that puts one picture per page on it, scaled to the paper and placed
// at the top-left corner. Nothing here reads PDF.
#pragma once

#include <memory>
#include <utility>
#include <vector>

#include "imaging/core/base/ieprogress.h"
#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/io/ienativecodecs.h"
#include "imaging/io/ioparams.h"
#include "platform/base/classes.h"

// One value of a PDF file. Write raises the stream's own errors; the writer
// above the model turns them into the abort flag.
class TIEPDFObject {
 public:
  virtual ~TIEPDFObject() = default;
  virtual void Write(TStream* Stream) = 0;
  Integer ObjectNumber = 0;  // 0 until registered with a document
  int64_t Offset = 0;        // where its "n 0 obj" line starts, from the start of the file
  bool Shared = false;       // held by more than one container: no container frees it
};

class TIEPDFRefObject : public TIEPDFObject {
 public:
  TIEPDFRefObject(Integer ANumber, Integer AGeneration) : Number(ANumber), Generation(AGeneration) {}
  void Write(TStream* Stream) override;
  Integer Number, Generation;
};

class TIEPDFBooleanObject : public TIEPDFObject {
 public:
  explicit TIEPDFBooleanObject(bool AValue) : Value(AValue) {}
  void Write(TStream* Stream) override;
  bool Value;
};

class TIEPDFNumericObject : public TIEPDFObject {
 public:
  explicit TIEPDFNumericObject(Double AValue) : Value(AValue) {}
  void Write(TStream* Stream) override;
  Double Value;
};

// A literal string: the bytes that would end or break it are escaped.
class TIEPDFStringObject : public TIEPDFObject {
 public:
  explicit TIEPDFStringObject(AnsiString AValue) : Value(std::move(AValue)) {}
  void Write(TStream* Stream) override;
  AnsiString Value;
};

// A name: every byte outside "!".."~", the "#" escape itself and the
// delimiters are written as "#" and two hexadecimal digits, so any text
// reads back as the same name.
class TIEPDFNameObject : public TIEPDFObject {
 public:
  explicit TIEPDFNameObject(AnsiString AValue) : Value(std::move(AValue)) {}
  void Write(TStream* Stream) override;
  AnsiString Value;
};

class TIEPDFArrayObject : public TIEPDFObject {
 public:
  ~TIEPDFArrayObject() override;
  void Write(TStream* Stream) override;
  // Takes ownership (unless the item is Shared).
  void Add(TIEPDFObject* Item) { Items.push_back(Item); }
  std::vector<TIEPDFObject*> Items;
};

class TIEPDFDictionaryObject : public TIEPDFObject {
 public:
  ~TIEPDFDictionaryObject() override;
  void Write(TStream* Stream) override;
  // Appends a pair, or replaces the value of an existing key in its place.
  // Takes ownership of Value (unless it is Shared).
  void Set(const AnsiString& Key, TIEPDFObject* Value);
  void Insert(size_t Index, const AnsiString& Key, TIEPDFObject* Value);
  TIEPDFObject* Get(const AnsiString& Key) const;
  std::vector<std::pair<AnsiString, TIEPDFObject*>> Items;
};

class TIEPDFStreamObject : public TIEPDFObject {
 public:
  TIEPDFStreamObject();
  TIEPDFStreamObject(const void* AData, int64_t ASize);
  // "Length" is set to the data size just before the dictionary is written.
  void Write(TStream* Stream) override;
  std::vector<Byte> Data;
  std::unique_ptr<TIEPDFDictionaryObject> Dictionary;
};

void IEPDFWriteText(TStream* Stream, const AnsiString& Text);
void IEPDFWriteLine(TStream* Stream, const AnsiString& Text);  // the text and LF

// The objects of a document being built; it owns every registered object.
struct TIEPDFDocState {
  std::vector<std::unique_ptr<TIEPDFObject>> Objects;  // object n at index n - 1
  std::vector<TIEPDFDictionaryObject*> Pages;
  std::vector<TIEPDFStreamObject*> Images;
  std::vector<TIEPDFStreamObject*> Contents;
  TIEPDFDictionaryObject* Resources = nullptr;
  TIEPDFDictionaryObject* Catalog = nullptr;
};

// Appends Object to the document and numbers it (1 for the first).
TIEPDFObject* IEPDFRegisterObject(TIEPDFDocState& Doc, std::unique_ptr<TIEPDFObject> Object);

// Catalog (object 1) and the Resources dictionary (object 2).
std::unique_ptr<TIEPDFDocState> IECreatePDFDocument();
// Adds the picture (ie1g or ie24RGB; others go through an ie24RGB copy) as a
// new page: its image, its content stream and its page dictionary.
void IEPDFAddImagePage(TIEPDFDocState& Doc, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress);
// Writes the whole document at the stream's position and frees it. Nothing
// happens for a nil document. A failing write sets the abort flag.
void IEFinishPDF(std::unique_ptr<TIEPDFDocState>& Doc, TStream* Stream, TIOParamsVals& Params,
                 TIEProgressRec& Progress);
// A one-page document.
void IEWritePDF(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress);
