// In-place editing of text and memo objects on the vector view, and the
// view's own keys: starting and ending an edit, Escape bringing back the
// text, automatic widths at a zoom, the editor following the zoom, the
// charset of Greek and Russian users, arrow keys reaching the view.
#include <cmath>
#include <cstdlib>
#include <string>

#include "platform/base/strutils.h"
#include "platform/graphics/bitmap.h"
#include "platform/ui/stdctrls.h"
#include "tests/imaging/view/vect_mouse_util.h"

namespace test_vect_edit_tests {

using vect_mouse_test::VectMouseTest;
using VI = TIEVectorInteract;

class VectEditTest : public VectMouseTest {
 protected:
  static Integer AddText(TZiduzUvVect* V, const AnsiString& Text, TIEVectKind Kind = vkText) {
    TIEVectObject o = *V->GetObj(IEV_TEMPLATE);
    o.Kind = Kind;
    o.X1 = 20, o.Y1 = 30, o.X2 = 80, o.Y2 = 50;
    o.Text = Text;
    o.Font->lfHeight = -12;
    return V->AddObject(o);
  }
  static void Key(TZiduzUvVect* V, WORD Vk, WideChar Ch = 0, Cardinal Mods = 0) {
    ASSERT_TRUE(GtTestKey(V->Handle(), true, Vk, Mods, Ch));
    ASSERT_TRUE(GtTestKey(V->Handle(), false, Vk, Mods));
  }
  static void Type(TZiduzUvVect* V, const std::string& S) {
    for (char c : S) Key(V, WORD(std::toupper(static_cast<unsigned char>(c))), WideChar(c));
  }
  // The width of a text in the editor's font, measured on a canvas of its own.
  static Integer WidthIn(TFont* Font, const WideString& Text) {
    TBitmap b;
    b.SetWidth(8);
    b.SetHeight(8);
    b.Canvas()->Font()->Assign(Font);
    return b.Canvas()->TextWidth(Text);
  }
};

TEST_F(VectEditTest, ADoubleClickEditsOnlyEditableTexts) {
  TZiduzUvVect* v = MakeVect();
  v->SetVectorInteract(VI{viEdit});
  const Integer h = AddText(v, "abc");
  v->GetObj(h)->Editable = false;
  DoubleClick(v, 50, 40);
  EXPECT_EQ(v->SelObjects(), std::vector<Integer>{h});
  EXPECT_FALSE(v->IsEditingText());
  EXPECT_FALSE(v->TextEditor()->Visible());
  v->GetObj(h)->Editable = true;
  int activated = 0;
  v->OnActivateTextEdit = [&](TObject*) { ++activated; };
  Press(v, 150, 120);
  Release(v, 150, 120);
  DoubleClick(v, 50, 40);
  ASSERT_TRUE(v->IsEditingText());
  EXPECT_EQ(v->EditingObject(), h);
  EXPECT_TRUE(v->TextEditor()->Visible());
  EXPECT_EQ(v->TextEditor()->Text(), u"abc");
  EXPECT_EQ(activated, 1);
}

TEST_F(VectEditTest, TheTextEditorIsAFramelessBoxInTheObjectsColours) {
  TZiduzUvVect* v = MakeVect();
  const Integer h = AddText(v, "");
  v->GetObj(h)->BrushStyle = bsSolid;
  v->GetObj(h)->BrushColor = 0x00FF00;
  v->SetEditingObject(h);
  v->ActivateTextEdit();
  GtTestPump(20);
  std::vector<uint32_t> px;
  Integer w = 0, ht = 0;
  ASSERT_TRUE(GtTestGrab(v->TextEditor()->Handle(), px, w, ht));
  ASSERT_EQ(w, 60);
  ASSERT_EQ(ht, 20);
  // Corners and edges show the box's colour, not a frame.
  for (const TPoint p : {TPoint(0, 0), TPoint(59, 0), TPoint(0, 19), TPoint(59, 19), TPoint(30, 0)})
    EXPECT_EQ(px[size_t(p.Y * w + p.X)], 0x00FF00u) << p.X << "," << p.Y;
}

TEST_F(VectEditTest, EscapeBringsBackTheTextAfterSeveralEdits) {
  TZiduzUvVect* v = MakeVect();
  const Integer h = AddText(v, "abc");
  v->AddSelObject(h);
  v->SetFocus();
  Key(v, VK_F2);
  ASSERT_TRUE(v->IsEditingText());
  // Two runs of typing with a caret move between them: the edit control's
  // own undo would take back only the second.
  Key(v, VK_END);
  Type(v, "x");
  Key(v, VK_HOME);
  Type(v, "y");
  EXPECT_EQ(v->TextEditor()->Text(), u"yabcx");
  Key(v, VK_ESCAPE);
  EXPECT_FALSE(v->IsEditingText());
  EXPECT_FALSE(v->TextEditor()->Visible());
  EXPECT_EQ(v->GetObj(h)->Text, "abc");
  // Enter keeps what was typed.
  Key(v, VK_F2);
  ASSERT_TRUE(v->IsEditingText());
  Key(v, VK_END);
  Type(v, "z");
  Key(v, VK_RETURN);
  EXPECT_FALSE(v->IsEditingText());
  EXPECT_EQ(v->GetObj(h)->Text, "abcz");
}

TEST_F(VectEditTest, AutoSizeAtTwoHundredPercentFollowsTheText) {
  TZiduzUvVect* v = MakeVect();
  const Integer h = AddText(v, "");
  v->GetObj(h)->AutoSize = true;
  v->SetZoom(200);
  v->AddSelObject(h);
  v->SetFocus();
  Key(v, VK_F2);
  ASSERT_TRUE(v->IsEditingText());
  TFont* f = v->TextEditor()->Font();
  EXPECT_EQ(f->Height(), -24);
  const TIEVectObject* o = v->GetObj(h);
  std::string typed;
  for (char c : std::string("Wide")) {
    typed += c;
    Type(v, std::string(1, c));
    const Integer tw = WidthIn(f, AnsiToWide(typed)), mw = WidthIn(f, u"M");
    EXPECT_EQ(o->X2 - o->X1, Integer(std::trunc((tw + mw) / 2.0))) << typed;
  }
  Key(v, VK_RETURN);
  EXPECT_EQ(o->Text, "Wide");
  EXPECT_EQ(o->X2 - o->X1, Integer(std::trunc(WidthIn(f, u"Wide") / 2.0)));
}

TEST_F(VectEditTest, TheEditorFollowsTheZoomAndF2NeedsATextFirst) {
  TZiduzUvVect* v = MakeVect();
  const Integer box = AddBox(v, 100, 100, 150, 140);
  const Integer h = AddText(v, "abc");
  v->AddSelObject(box);
  v->AddSelObject(h);
  v->SetFocus();
  Key(v, VK_F2);
  EXPECT_FALSE(v->IsEditingText()) << "a box is first in the selection";
  v->UnSelAllObjects();
  v->AddSelObject(h);
  Key(v, VK_F2);
  ASSERT_TRUE(v->IsEditingText());
  TIEEdit* e = v->TextEditor();
  EXPECT_EQ(Str(e->Left(), e->Top(), e->Width(), e->Height()), Str(20, 30, 60, 20));
  v->SetZoom(200);
  const Integer x1 = v->ImageToClientX(20), y1 = v->ImageToClientY(30);
  EXPECT_EQ(Str(e->Left(), e->Top(), e->Width(), e->Height()),
            Str(x1, y1, v->ImageToClientX(80) - x1, v->ImageToClientY(50) - y1));
  EXPECT_EQ(e->Width(), 120);
  EXPECT_EQ(e->Font()->Height(), -24);
  v->SetViewOrigin(30, 20);
  EXPECT_EQ(e->Left(), v->ImageToClientX(20));
  EXPECT_EQ(e->Top(), v->ImageToClientY(30));
}

TEST_F(VectEditTest, APressOnTheViewCommitsTheTextFirst) {
  TZiduzUvVect* v = MakeVect();
  v->SetVectorInteract(VI{viEdit});
  const Integer h = AddText(v, "abc");
  const Integer box = AddBox(v, 100, 100, 150, 140);
  DoubleClick(v, 50, 40);
  ASSERT_TRUE(v->IsEditingText());
  Key(v, VK_END);
  Type(v, "q");
  // The press that ends the edit is handled as a press: it selects the box.
  Press(v, 120, 120);
  EXPECT_FALSE(v->IsEditingText());
  EXPECT_EQ(v->GetObj(h)->Text, "abcq");
  EXPECT_EQ(v->SelObjects(), std::vector<Integer>{box});
  Release(v, 120, 120);
}

TEST_F(VectEditTest, ArrowKeysReachTheView) {
  TZiduzUvVect* v = MakeVect();
  // Another control that could take the focus by an arrow key.
  auto* other = new TEdit(Form.get());
  other->SetParent(Form.get());
  other->SetBounds(300, 10, 80, 24);
  GtTestPump(5);
  EXPECT_EQ(v->Perform(WM_GETDLGCODE, 0, 0), LRESULT(DLGC_WANTARROWS | DLGC_WANTCHARS));
  std::vector<Word> keys;
  v->OnKeyDown = [&](TObject*, Word& K, TShiftState) { keys.push_back(K); };
  v->SetFocus();
  GtTestPump(5);
  Key(v, VK_LEFT);
  Key(v, VK_DOWN);
  EXPECT_EQ(keys, (std::vector<Word>{VK_LEFT, VK_DOWN}));
  EXPECT_TRUE(v->Focused());
}

TEST_F(VectEditTest, GreekAndRussianUsersEditInTheirCharset) {
  struct TCase {
    const char* Locale;
    Integer Charset;
    const char16_t* Shown;
  };
  const char* saved = std::getenv("LC_ALL");
  const std::string keep = saved ? saved : "";
  // 0xC1 is Cyrillic Be in code page 1251 and Greek capital alpha in 1253.
  for (const TCase& c : {TCase{"ru_RU.UTF-8", 204, u"\u0411"}, TCase{"el_GR.UTF-8", 161, u"\u0391"},
                         TCase{"de_DE.UTF-8", -1, u"\u00C1"}}) {
    SCOPED_TRACE(c.Locale);
    setenv("LC_ALL", c.Locale, 1);
    TZiduzUvVect* v = MakeVect();
    const Integer before = v->Font()->Charset();
    const Integer h = AddText(v, "\xC1");
    v->SetEditingObject(h);
    v->ActivateTextEdit();
    EXPECT_EQ(v->Font()->Charset(), c.Charset < 0 ? before : c.Charset);
    EXPECT_EQ(v->TextEditor()->Font()->Charset(), v->Font()->Charset());
    EXPECT_EQ(v->TextEditor()->Text(), WideString(c.Shown));
    v->CancelInteraction();
    EXPECT_EQ(v->GetObj(h)->Text, "\xC1");
    delete v;
  }
  if (saved)
    setenv("LC_ALL", keep.c_str(), 1);
  else
    unsetenv("LC_ALL");
}

TEST_F(VectEditTest, AMemoIsEditedInPlaceAndEscapeKeepsItsText) {
  TZiduzUvVect* v = MakeVect();
  v->SetVectorInteract(VI{viEdit});
  const Integer h = AddText(v, "ab", vkMemo);
  int ended = 0;
  v->OnDeactivateTextEdit = [&](TObject*) { ++ended; };
  DoubleClick(v, 50, 40);
  ASSERT_TRUE(v->IsEditingText());
  TIETextControl* m = v->MemoEditor();
  EXPECT_TRUE(m->Visible());
  EXPECT_DOUBLE_EQ(m->Zoom, 1.0);
  m->CaretPos = 2;
  Type(v, "c");
  Key(v, VK_RETURN);
  Type(v, "d");
  Key(v, VK_ESCAPE);
  EXPECT_FALSE(v->IsEditingText());
  EXPECT_FALSE(m->Visible());
  EXPECT_EQ(ended, 1);
  const TIEVectObject* o = v->GetObj(h);
  EXPECT_EQ(o->Text, "abc\nd");
  EXPECT_EQ(o->MemoCharFormats.size(), o->Text.size());
  EXPECT_FALSE(o->MemoFormats.empty());
}

struct TKeyedObject : TIEVectCustomObject {
  static inline std::vector<Word>* Keys = nullptr;
  std::unique_ptr<TIEVectCustomObject> Clone() override { return std::make_unique<TKeyedObject>(); }
  void KeyDown(Word Key, TShiftState) override {
    if (Keys) Keys->push_back(Key);
  }
};

TEST_F(VectEditTest, KeysGoFirstToTheHandlerAndToALoneSelectedCustomObject) {
  TZiduzUvVect* v = MakeVect();
  std::vector<Word> keys;
  TKeyedObject::Keys = &keys;
  TIEVectObject o;
  o.Kind = vkCustom;
  o.X1 = 120, o.Y1 = 100, o.X2 = 160, o.Y2 = 140;
  o.CustomObject.P = std::make_unique<TKeyedObject>();
  const Integer c = v->AddObject(o);
  const Integer b = AddBox(v, 10, 10, 20, 20);
  v->AddSelObject(c);
  v->SetFocus();
  Key(v, 'K', u'k');
  EXPECT_EQ(keys, std::vector<Word>{'K'});
  // Not when other objects are selected too.
  v->AddSelObject(b);
  Key(v, 'L', u'l');
  EXPECT_EQ(keys, std::vector<Word>{'K'});
  TKeyedObject::Keys = nullptr;

  // The editor's keys reach OnTextKeyDown before the view acts on them:
  // a handler that takes Enter keeps the edit open.
  const Integer t = AddText(v, "abc");
  v->UnSelAllObjects();
  v->AddSelObject(t);
  std::vector<Word> seen;
  v->OnTextKeyDown = [&](TObject* Sender, Word& K, TShiftState) {
    EXPECT_EQ(Sender, v->TextEditor());
    seen.push_back(K);
    if (K == VK_RETURN) K = 0;
  };
  Key(v, VK_F2);
  ASSERT_TRUE(v->IsEditingText());
  Key(v, VK_RETURN);
  EXPECT_TRUE(v->IsEditingText());
  EXPECT_EQ(seen, std::vector<Word>{VK_RETURN});
}

}  // namespace test_vect_edit_tests
