// The in-place rich text editor: a multi-line control with a format per
// character, word wrap, margins, zoom, caret and selection, and the one-line
// edit used over single-line text objects. The layout-and-draw routine
// (TIETextControl::DrawTo) also renders memo objects when no editor is open,
// so that an edited memo and a drawn memo look the same.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/core/render/iegdiplus.h"
#include "platform/graphics/bitmap.h"
#include "platform/ui/controls.h"
#include "platform/ui/stdctrls.h"

// The format of one character. The record is stored byte for byte in object
// streams and on the clipboard, so its layout is fixed (280 bytes) and every
// byte that is not a field (padding, the unused tail of the name) is kept zero:
// equality compares bytes 4 to 279.
#pragma pack(push, 1)
struct TIETextFormat {
  Integer RefCount = 0;      // 0: characters of the owning text that use the entry
  Byte Name[256] = {};       // 4: length byte, then up to 255 characters (8-bit)
  Integer Height = 0;        // 260: font height (negative: character height in pixels)
  Byte Style = 0;            // 264: bit 0 bold, 1 italic, 2 underline, 3 strike-out
  Byte Pad1[3] = {};         // 265
  TColor Color = 0;          // 268: font colour
  TColor BackColor = 0;      // 272: background colour
  Byte BrushStyle = 0;       // 276: TBrushStyle of the background
  Byte Alignment = 0;        // 277: 0 left, 1 right, 2 centre, 3 justified
  Byte Pad2[2] = {};         // 278

  AnsiString FontName() const;
  // Stores at most 255 characters and zeroes the rest of the field.
  void SetFontName(const AnsiString& Value);
  TFontStyles FontStyles() const;
  // Bytes 4..279 (the use count is not part of the format).
  bool SameFormat(const TIETextFormat& Other) const;
};
#pragma pack(pop)
static_assert(sizeof(TIETextFormat) == 280, "TIETextFormat is stored as 280 bytes");
static_assert(offsetof(TIETextFormat, Name) == 4 && offsetof(TIETextFormat, Height) == 260 &&
                  offsetof(TIETextFormat, Style) == 264 && offsetof(TIETextFormat, Color) == 268 &&
                  offsetof(TIETextFormat, BackColor) == 272 && offsetof(TIETextFormat, BrushStyle) == 276 &&
                  offsetof(TIETextFormat, Alignment) == 277,
              "TIETextFormat field offsets");

using TIETextFormatList = std::vector<TIETextFormat>;

// Style bits of TIETextFormat::Style (the same order as TFontStyle).
enum : Byte { ietfBold = 1, ietfItalic = 2, ietfUnderline = 4, ietfStrikeOut = 8 };

// The registered number of the private clipboard format "ZIDUZUV TEXTMEMO"
// (registered by the library's start-up, or on first use).
UINT IETextCMemoFormat();
void IETextCInitialize();
void IETextCFinalize();

// The editor's Ctrl shortcuts. The vector view's start-up owns the table; the
// defaults are the letters the editor documents.
struct TIETextShortcuts {
  Word AlignLeft = 'L', AlignCenter = 'E', AlignRight = 'R', Justify = 'J';
  Word Copy = 'C', Cut = 'X', Paste = 'V', FontDialog = 'F';
  Word Bold = 'B', Italic = 'I', Underline = 'U', BackColorDialog = 'G';
};
extern TIETextShortcuts IETextShortcuts;

// Reads a "ZIDUZUV TEXTMEMO" block: n text bytes, a 0, then one format per
// byte. Another program may have filled it, so it is refused unless it holds
// all n + 1 + 280 x n bytes; the formats come back with their padding zeroed.
bool IEParseTextMemoBlock(const Byte* Data, size_t Size, AnsiString& Text, TIETextFormatList& Formats);

class TIETextControl : public TCustomControl {
 public:
  explicit TIETextControl(TComponent* AOwner);
  ~TIETextControl() override;

  // Data. Text, CharFormats and Formats may belong to the caller (the vector
  // view hands its memo object's buffers in and takes them back); the control
  // frees only those it made itself in Init or on the first insertion.
  AnsiString* Text = nullptr;
  Integer TextLength = 0;
  Integer CaretPos = 0;
  Integer CaretX = 0, CaretY = 0, CaretHeight = 0;
  // Font (the control's own font) is the format of new text when there is no format list.
  TBrush* TextBrush() const { return FTextBrush.get(); }
  TPen* BorderPen() const { return FBorderPen.get(); }
  TBrush* BackgroundBrush() const { return FBackgroundBrush.get(); }
  bool InsertMode = true;
  Byte Alignment = 0;
  double Zoom = 1.0;
  Integer SelStart = 0, SelEnd = 0;
  TIETextFormat* CurrentFormat() const { return FCurrentFormat.get(); }
  bool IgnoreColors = false;
  bool SingleFormat() const { return FSingleFormat; }
  bool AutoHeight = false;
  Integer LineSpacing = 0;
  Integer FixedCharHeight = 0;
  TIETextFormatList* Formats = nullptr;
  std::vector<Integer>* CharFormats = nullptr;
  AnsiString WrappedText;
  TNotifyEvent OnCursorMoved;
  TBitmap* BackgroundBitmap = nullptr;
  bool RecordWrappedText = false;
  double MarginLeft = 0, MarginTop = 0, MarginRight = 0, MarginBottom = 0;

  // Layout caches, one entry per character and one for the caret after the
  // last one; X and Y are output positions (zoom applied), -1 when stale.
  struct TCharCache {
    int16_t Height = 0, Width = 0;  // the cell at scale 1 (Height 0: not measured)
    int16_t LineHeight = 0;         // the height of its line, zoom applied
    Byte Ascent = 0, Descent = 0;
    Integer X = -1, Y = -1;
  };
  const std::vector<TCharCache>& Caches() const { return FCaches; }

  void Init();
  void CompactFormats();
  void DrawTo(TIECanvas* Canvas, Integer X, Integer Y, Integer Width, Integer Height);
  void SetSingleFormat(bool Value);

  void InsertChar(char Ch);
  void DeleteChar(Integer Index);
  void DeleteSelection();
  // False when nothing was selected or the clipboard could not be opened.
  bool CopyToClipboard();
  // Deletes the selection and inserts the clipboard's text, with the private
  // format's formats when it holds them; false (nothing deleted) when there
  // was nothing to paste or the clipboard could not be opened.
  bool PasteFromClipboard();
  void SetAlignment(Byte Value);
  void ToggleStyle(Byte Bit);
  void SetFont(TFont* Value);
  void SetBackColor(TColor Value);
  void GrowFont();
  void ShrinkFont();

  // Lays the text out on the back buffer when the caches are stale, so that
  // caret keys and mouse points can use line positions.
  void EnsureLayout();
  void Update() override;

 protected:
  void CreateParams(TCreateParams& Params) override;
  void Paint() override;
  void Dispatch(TMessage& Message) override;
  void WMSize(TMessage& Message) override;
  void WMEraseBkgnd(TMessage& Message) override;
  void WMKillFocus(TMessage& Message) override;
  void CMWantSpecialKey(TMessage& Message) override;
  void KeyDown(Word& Key, TShiftState Shift) override;
  void KeyPress(WideChar& Key) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) override;
  void MouseMove(TShiftState Shift, Integer X, Integer Y) override;
  void DblClick() override;

 private:
  struct TLine;
  // What a key does in the editor (KeyDown adds the OnKeyDown event).
  void HandleKey(Word Key, TShiftState Shift);
  void EnsureText();
  void ClearCaches(Integer From);
  void ResizeCaches();
  Integer AddFormat(const TIETextFormat& Format);
  void GiveFormat(Integer Index, const TIETextFormat& Format);
  void ReleaseFormat(Integer Index);
  void BuildDefaultFormat(TIETextFormat& Format) const;
  void CurrentFormatFromCaret();
  // Applies Change to a copy of every selected character's format and to CurrentFormat.
  template <class F>
  void ChangeSelection(F Change);
  void Refresh();
  void AfterCaretMove(Integer Previous, bool Shift);
  Integer PointToCaret(Integer X, Integer Y);
  Integer LineStartOf(Integer Index);
  Integer LineEndOf(Integer Index);
  Integer VerticalTarget(bool Down);
  Integer CodePage() const;
  void FormatFont(TFont* Target, Integer FormatIndex, double Scale) const;

  std::unique_ptr<TBrush> FTextBrush;
  std::unique_ptr<TPen> FBorderPen;
  std::unique_ptr<TBrush> FBackgroundBrush;
  std::unique_ptr<TBitmap> FBackBuffer;
  std::unique_ptr<TIETextFormat> FCurrentFormat;
  bool FSingleFormat = false;
  TPoint FClickPoint;
  std::vector<TCharCache> FCaches;
  // What the control made itself (the caller's buffers are never freed here).
  std::unique_ptr<AnsiString> FOwnText;
  std::unique_ptr<TIETextFormatList> FOwnFormats;
  std::unique_ptr<std::vector<Integer>> FOwnCharFormats;
};

// The one-line editor over single-line text objects: a plain edit that keeps
// Tab and the caret keys and types no Tab character.
class TIEEdit : public TEdit {
 public:
  using TEdit::TEdit;

 protected:
  void CMWantSpecialKey(TMessage& Message) override;
  void KeyPress(WideChar& Key) override;
};
