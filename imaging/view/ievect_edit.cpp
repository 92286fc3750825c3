// In-place editing of text and memo objects (a single-line edit over a
// text object, the rich text editor over a memo object, both following the
// object through zoom and scroll), and the vector view's own keys and
// window messages.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "imaging/view/ietextcontrol.h"
#include "imaging/view/ievect.h"
#include "platform/base/strutils.h"
#include "platform/base/sysinfo.h"

namespace ievect_edit {

// A memo's stored format records and the editor's are the same 280 bytes.
static_assert(sizeof(TIEVectTextFormat) == sizeof(TIETextFormat));

AnsiString FaceName(const TIEVectObject& O) {
  if (!O.Font) return {};
  return AnsiString(O.Font->lfFaceName, strnlen(O.Font->lfFaceName, LF_FACESIZE));
}

}  // namespace ievect_edit

using namespace ievect_edit;

TIEEdit* TZiduzUvVect::TextEditor() {
  if (!FTextEditor) {
    FTextEditor = new TIEEdit(this);
    FTextEditor->Hide();
    FTextEditor->SetParent(this);
  }
  return FTextEditor;
}

TIETextControl* TZiduzUvVect::MemoEditor() {
  if (!FMemoEditor) {
    FMemoEditor = new TIETextControl(this);
    FMemoEditor->Hide();
    FMemoEditor->SetParent(this);
  }
  return FMemoEditor;
}

TNotifyEvent TZiduzUvVect::OnTextEditCursorMoved() { return MemoEditor()->OnCursorMoved; }

void TZiduzUvVect::SetOnTextEditCursorMoved(TNotifyEvent Value) { MemoEditor()->OnCursorMoved = std::move(Value); }

Integer TZiduzUvVect::EditCodePage() { return CharsetToCodePage(Font()->Charset()); }

void TZiduzUvVect::ApplyLocaleCharset() {
  // Greek and Russian users type in their own 8-bit code pages.
  const Word lang = GetUserDefaultPrimaryLangID();
  if (lang == 8)
    Font()->SetCharset(161);
  else if (lang == 25)
    Font()->SetCharset(204);
}

void TZiduzUvVect::ActivateTextEdit() {
  TIEVectObject* o = GetObj(FEditingObject);
  if (!o || !o->Editable || (o->Kind != vkText && o->Kind != vkMemo)) {
    FEditingObject = -1;
    return;
  }
  if (o->Kind == vkText) {
    TIEEdit* e = TextEditor();
    e->SetParent(this);
    e->SetBorderStyle(bsNone);
    e->SetCtl3D(false);
    FTextEditActive = true;
    UpdateTextEditor();
    ApplyLocaleCharset();
    e->Font()->SetCharset(Font()->Charset());
    e->OnKeyDown = [this](TObject* Sender, Word& Key, TShiftState Shift) { TextEditKeyDown(Sender, Key, Shift); };
    e->OnChange = nullptr;
    // Escape brings back the text as it was here, however many edits came since.
    FTextBeforeEdit = o->Text;
    e->SetText(AnsiToWide(o->Text, EditCodePage()));
    e->OnChange = [this](TObject*) { TextEditChanged(); };
    e->Show();
    if (e->CanFocus()) e->SetFocus();
  } else {
    TIETextControl* m = MemoEditor();
    m->BackgroundBitmap = GetBackBufferBitmap();
    m->SetParent(this);
    FTextEditActive = true;
    UpdateTextEditor();
    ApplyLocaleCharset();
    m->Font()->SetCharset(Font()->Charset());
    m->OnKeyDown = [this](TObject* Sender, Word& Key, TShiftState Shift) { MemoEditKeyDown(Sender, Key, Shift); };
    // The editor works on the object's text and formats; they go back at the end.
    FMemoText = o->Text;
    FMemoCharFormats = o->MemoCharFormats;
    FMemoCharFormats.resize(FMemoText.size(), 0);
    FMemoFormats = o->MemoFormats;
    m->Text = &FMemoText;
    m->CharFormats = &FMemoCharFormats;
    m->Formats = &FMemoFormats;
    m->Init();
    m->Show();
    if (m->CanFocus()) m->SetFocus();
  }
  if (OnActivateTextEdit) OnActivateTextEdit(this);
}

void TZiduzUvVect::UpdateTextEditor() {
  if (FEditingObject < 0 || !FTextEditActive) return;
  TIEVectObject* o = GetObj(FEditingObject);
  if (!o) return;
  const Integer x1 = ImageToClientX(o->X1), y1 = ImageToClientY(o->Y1);
  const Integer x2 = ImageToClientX(o->X2), y2 = ImageToClientY(o->Y2);
  const AnsiString face = FaceName(*o);
  if (o->Kind == vkText && FTextEditor) {
    TIEEdit* e = FTextEditor;
    e->SetBounds(x1, y1, x2 - x1, y2 - y1);
    e->Font()->SetColor(o->PenColor);
    e->SetColor(o->BrushStyle != bsSolid ? Background() : o->BrushColor);
    const Integer h = o->Font ? o->Font->lfHeight : 0;
    e->Font()->SetHeight(h != 0 ? Integer(std::trunc(h * ZoomY() / 100)) : y2 - y1);
    if (!face.empty()) e->Font()->SetName(AnsiToWide(face));
    e->Font()->SetStyle(GetObjFontStyles(FEditingObject));
  } else if (o->Kind == vkMemo && FMemoEditor) {
    TIETextControl* m = FMemoEditor;
    m->SetBounds(x1, y1, x2 - x1 + 1, y2 - y1 + 1);
    m->MarginLeft = o->MemoMargins[0];
    m->MarginTop = o->MemoMargins[1];
    m->MarginRight = o->MemoMargins[2];
    m->MarginBottom = o->MemoMargins[3];
    if (!face.empty()) m->Font()->SetName(AnsiToWide(face));
    m->Font()->SetStyle(GetObjFontStyles(FEditingObject));
    m->Font()->SetColor(o->PenColor);
    if (o->Font) m->Font()->SetHeight(o->Font->lfHeight);
    m->TextBrush()->SetColor(o->BrushColor);
    m->TextBrush()->SetStyle(o->MemoBackStyle);
    m->Alignment = o->TextAlign;
    m->BackgroundBrush()->SetColor(o->BrushColor);
    m->BackgroundBrush()->SetStyle(o->BrushStyle);
    m->SetSingleFormat(o->MemoSingleFormat);
    m->AutoHeight = o->AutoSize;
    m->LineSpacing = o->MemoLineSpacing;
    m->BorderPen()->SetColor(o->MemoBorderColor);
    m->BorderPen()->SetStyle(o->MemoBorderStyle);
    m->FixedCharHeight = o->MemoFixedCharHeight;
    m->Zoom = ZoomY() / 100;
  }
}

Integer TZiduzUvVect::EditorTextWidth(const WideString& Text) {
  TCanvas* c = Canvas();
  c->Font()->Assign(TextEditor()->Font());
  return c->TextWidth(Text);
}

void TZiduzUvVect::TextEditChanged() {
  TIEVectObject* o = GetObj(FEditingObject);
  if (!o || !FTextEditor || !FTextEditActive) return;
  if (o->AutoSize) {
    const Integer tw = EditorTextWidth(FTextEditor->Text());
    FTextEditor->SetWidth(tw);
    o->X2 = o->X1 + Integer(std::trunc((tw + EditorTextWidth(u"M")) / (ZoomX() / 100)));
  }
  Update();
}

void TZiduzUvVect::TextEditKeyDown(TObject* Sender, Word& Key, TShiftState Shift) {
  if (OnTextKeyDown) OnTextKeyDown(Sender, Key, Shift);
  if (Key == VK_RETURN) {
    Key = 0;
    CancelInteraction();
    DoVectorialChanged();
  } else if (Key == VK_ESCAPE) {
    Key = 0;
    if (FTextEditor) {
      FTextEditor->OnChange = nullptr;
      FTextEditor->SetText(AnsiToWide(FTextBeforeEdit, EditCodePage()));
    }
    CancelInteraction();
  }
}

void TZiduzUvVect::MemoEditKeyDown(TObject* Sender, Word& Key, TShiftState Shift) {
  if (OnTextKeyDown) OnTextKeyDown(Sender, Key, Shift);
  if (Key == VK_ESCAPE) {
    Key = 0;
    CancelInteraction();
  }
}

void TZiduzUvVect::DeactivateTextEdit() {
  if (FEditingObject < 0 || !FTextEditActive) return;
  FTextEditActive = false;
  TIEVectObject* o = GetObj(FEditingObject);
  if (o && o->Kind == vkText && FTextEditor) {
    FTextEditor->OnChange = nullptr;
    const WideString text = FTextEditor->Text();
    o->Text = WideToAnsi(text, EditCodePage());
    if (!FDestroyingVect && o->AutoSize)
      o->X2 = o->X1 + Integer(std::trunc(EditorTextWidth(text) / (ZoomX() / 100)));
    FTextEditor->Hide();
    if (OnDeactivateTextEdit) OnDeactivateTextEdit(this);
  } else if (o && o->Kind == vkMemo && FMemoEditor) {
    TIETextControl* m = FMemoEditor;
    m->CompactFormats();
    if (!FDestroyingVect && o->AutoSize) o->Y2 = o->Y1 + Integer(std::trunc(m->ClientHeight() / (ZoomY() / 100)));
    o->Text = FMemoText;
    o->MemoCharFormats = FMemoCharFormats;
    o->MemoFormats = FMemoFormats;
    m->Text = nullptr;
    m->CharFormats = nullptr;
    m->Formats = nullptr;
    m->BackgroundBitmap = nullptr;
    m->Hide();
    if (OnDeactivateTextEdit) OnDeactivateTextEdit(this);
  }
  if (!FDestroyingVect) {
    if (CanFocus()) SetFocus();
    DoVectorialChanged();
  }
}

void TZiduzUvVect::Update() {
  TZiduzUvView::Update();
  UpdateTextEditor();
}

void TZiduzUvVect::DoViewChange(Integer Change) {
  TZiduzUvView::DoViewChange(Change);
  if (IsEditingText()) UpdateTextEditor();
}

void TZiduzUvVect::KeyDown(Word& Key, TShiftState Shift) {
  if (Key == VK_ESCAPE) {
    DeactivateTextEdit();
    FEditingObject = -1;
  } else if (Key == VK_F2 && !FSel.empty()) {
    const TIEVectObject* o = GetObj(FSel[0]);
    if (o && (o->Kind == vkText || o->Kind == vkMemo)) {
      FEditingObject = FSel[0];
      ActivateTextEdit();
    }
  }
  TZiduzUvView::KeyDown(Key, Shift);
}

void TZiduzUvVect::WndProc(TMessage& Message) {
  if (Message.Msg == WM_GETDLGCODE) {
    // Arrow keys and characters come to the view rather than moving the focus.
    Message.Result = DLGC_WANTARROWS | DLGC_WANTCHARS;
    return;
  }
  TZiduzUvView::WndProc(Message);
  switch (Message.Msg) {
    case WM_KEYDOWN:
      if (FSel.size() == 1)
        if (TIEVectObject* o = GetObj(FSel[0]); o && o->Kind == vkCustom && o->CustomObject)
          o->CustomObject->KeyDown(Word(Message.WParam), KeyDataToShiftState(Message.LParam));
      break;
    case WM_SIZE:
      // Only a change of the window's own size ends the gesture: scroll bars
      // coming and going while the view lays itself out do not.
      if (Width() != FLastWindowSize.X || Height() != FLastWindowSize.Y) {
        FLastWindowSize = TPoint(Width(), Height());
        CancelInteraction();
        Update();
      }
      break;
    case WM_SETFOCUS:
      if (IsEditingText()) {
        if (FMemoEditor && FMemoEditor->Visible() && FMemoEditor->CanFocus())
          FMemoEditor->SetFocus();
        else if (FTextEditor && FTextEditor->Visible() && FTextEditor->CanFocus())
          FTextEditor->SetFocus();
      }
      Invalidate();
      break;
    case WM_KILLFOCUS:
      Invalidate();
      break;
    default:
      break;
  }
}
