// The tree view: children asked for when a node opens, ChangeDelay, the hit
// test against what is drawn, label editing, custom-draw colours and the
// cut and drop-target looks, begin-drag notifications, deletion and sorting.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/base/strutils.h"
#include "platform/ui/treeview.h"
#include "tests/platform/ui/itemview_test_util.h"
#include "tests/platform/ui/uitest.h"

namespace treeview_tests {
namespace {

using namespace gt_itemview_test;

class TRecordingTree : public TTreeView {
 public:
  using TTreeView::TTreeView;
  std::vector<NMTREEVIEWW> Drags;
  void Dispatch(TMessage& M) override {
    if (M.Msg == CN_NOTIFY) {
      auto* H = reinterpret_cast<NMHDR*>(M.LParam);
      if (H->code == TVN_BEGINDRAGW || H->code == TVN_BEGINRDRAGW) Drags.push_back(*reinterpret_cast<NMTREEVIEWW*>(H));
    }
    TTreeView::Dispatch(M);
  }
};

WideString W(const std::string& S) { return WideString(S.begin(), S.end()); }

class TreeViewTest : public UiTest {
 protected:
  TRecordingTree* MakeTree() {
    auto* TV = new TRecordingTree(Form.get());
    TV->SetBounds(0, 0, 300, 200);
    TV->SetParent(Form.get());
    return TV;
  }
  // The x of the node's expand button, found by the hit test along its row.
  static Integer ButtonX(TCustomTreeView* TV, TTreeNode* Node) {
    const Integer Y = Mid(Node->DisplayRect(false)).Y;
    for (Integer X = 0; X < 100; ++X)
      if (TV->GetHitTestInfoAt(X, Y).Contains(htOnButton)) return X;
    return -1;
  }
  static WideString Names(TCustomTreeView* TV) {
    WideString S;
    for (TTreeNode* N = TV->Items()->GetFirstNode(); N; N = N->GetNext()) S += N->Text() + u" ";
    return S;
  }
};

TEST_F(TreeViewTest, ChildrenAreAskedForWhenANodeOpens) {
  TRecordingTree* TV = MakeTree();
  Integer Asked = 0;
  std::vector<TTreeNode*> Expanded, Collapsed;
  TV->OnExpanding = [&](TObject*, TTreeNode* Node, bool& Allow) {
    ++Asked;
    if (Node->Text() == u"refused") Allow = false;
    if (Node->Text() == u"root" && Node->Count() == 0)
      for (Integer i = 0; i < 3; ++i) TV->Items()->AddChild(Node, W("child " + std::to_string(i)));
  };
  TV->OnExpanded = [&](TObject*, TTreeNode* Node) { Expanded.push_back(Node); };
  TV->OnCollapsed = [&](TObject*, TTreeNode* Node) { Collapsed.push_back(Node); };
  TTreeNode* Root = TV->Items()->Add(nullptr, u"root");
  TTreeNode* Refused = TV->Items()->Add(nullptr, u"refused");
  TTreeNode* Empty = TV->Items()->Add(nullptr, u"empty");
  for (TTreeNode* N : {Root, Refused, Empty}) N->SetHasChildren(true);
  GtTestPump(50);
  ASSERT_EQ(Asked, 0);  // nothing is asked before a node opens
  const Integer X = ButtonX(TV, Root);
  ASSERT_GE(X, 0);
  EXPECT_EQ(ButtonX(TV, Empty), X);

  GtTestClick(TV->Handle(), gmbLeft, X, Mid(Root->DisplayRect(false)).Y);
  EXPECT_EQ(Asked, 1);
  ASSERT_EQ(Root->Count(), 3);
  EXPECT_TRUE(Root->Expanded());
  EXPECT_EQ(Expanded, std::vector<TTreeNode*>{Root});
  // The children show below their parent, before the next top-level node.
  const TRect Row0 = Root->DisplayRect(false);
  EXPECT_EQ(TV->GetNodeAt(Mid(Root->DisplayRect(true)).X + 20, Row0.Bottom + Row0.Height() / 2), Root->Item(0));
  EXPECT_EQ(Refused->DisplayRect(false).Top, Row0.Bottom + 3 * Row0.Height());

  // Closing does not ask; opening again asks, and the handler adds nothing twice.
  GtTestClick(TV->Handle(), gmbLeft, X, Mid(Root->DisplayRect(false)).Y);
  EXPECT_FALSE(Root->Expanded());
  EXPECT_EQ(Collapsed, std::vector<TTreeNode*>{Root});
  EXPECT_EQ(Refused->DisplayRect(false).Top, Row0.Bottom);
  TV->SetSelected(Root);
  GtTestActivate(Form->Handle());
  TV->SetFocus();
  Press(TV->Handle(), VK_RIGHT);
  EXPECT_TRUE(Root->Expanded());
  EXPECT_EQ(Asked, 2);
  EXPECT_EQ(Root->Count(), 3);

  struct Case {
    TTreeNode* Node;
    bool HasChildren;
  };
  for (const Case& C : {Case{Refused, true}, Case{Empty, false}}) {
    SCOPED_TRACE(WideToUtf8(C.Node->Text()));
    const Integer Before = Asked;
    GtTestClick(TV->Handle(), gmbLeft, X, Mid(C.Node->DisplayRect(false)).Y);
    EXPECT_EQ(Asked, Before + 1);
    EXPECT_FALSE(C.Node->Expanded());
    EXPECT_EQ(C.Node->Count(), 0);
    // A node that had nothing to show loses its button.
    EXPECT_EQ(C.Node->HasChildren(), C.HasChildren);
    EXPECT_EQ(ButtonX(TV, C.Node) >= 0, C.HasChildren);
  }
}

TEST_F(TreeViewTest, OnlyNodesAboutToPaintAreAskedForTheirImages) {
  auto Images = SolidImages({clRed, clGreen});
  TRecordingTree* TV = MakeTree();
  TV->SetImages(Images.get());
  TV->Items()->BeginUpdate();
  for (Integer i = 0; i < 2000; ++i) TV->Items()->Add(nullptr, W("folder " + std::to_string(i)));
  TV->Items()->EndUpdate();
  std::vector<TTreeNode*> Asked, AskedSelected;
  // As the shell tree does: a node without an image gets one when it is first shown.
  TV->OnGetImageIndex = [&](TObject*, TTreeNode* N) {
    Asked.push_back(N);
    if (N->ImageIndex() < 0) N->SetImageIndex(0);
  };
  TV->OnGetSelectedIndex = [&](TObject*, TTreeNode* N) {
    AskedSelected.push_back(N);
    N->SetSelectedIndex(1);
  };
  TV->SetSelected(TV->Items()->Item(1));
  ASSERT_TRUE(GtTestPumpUntil([&] { return !Asked.empty(); }, 3000));
  GtTestPump(100);
  const Integer Rows = TV->ClientHeight() / TV->Items()->Item(0)->DisplayRect(false).Height();
  std::sort(Asked.begin(), Asked.end());
  Asked.erase(std::unique(Asked.begin(), Asked.end()), Asked.end());
  EXPECT_GE(static_cast<Integer>(Asked.size()), Rows);
  EXPECT_LE(static_cast<Integer>(Asked.size()), Rows + 2);
  ASSERT_FALSE(AskedSelected.empty());
  for (TTreeNode* N : AskedSelected) EXPECT_EQ(N, TV->Items()->Item(1));  // only the selected node shows that image
  TGrab G(TV->Handle());
  auto IconOf = [](TTreeNode* N) { return TPoint(N->DisplayRect(true).Left - 9, Mid(N->DisplayRect(false)).Y); };
  EXPECT_EQ(G.At(IconOf(TV->Items()->Item(0)).X, IconOf(TV->Items()->Item(0)).Y), Rgb(clRed));
  EXPECT_EQ(G.At(IconOf(TV->Items()->Item(1)).X, IconOf(TV->Items()->Item(1)).Y), Rgb(clGreen));
}

TEST_F(TreeViewTest, ChangeDelayTellsOnlyTheSelectionThatStays) {
  struct Case {
    Integer Delay;
    Integer AtOnce;  // changes told right after three quick selections
  };
  for (const Case& C : {Case{600, 0}, Case{0, 3}}) {
    SCOPED_TRACE(C.Delay);
    TRecordingTree* TV = MakeTree();
    for (const char* S : {"a", "b", "c", "d", "e"}) TV->Items()->Add(nullptr, W(S));
    std::vector<TTreeNode*> Changes;
    TV->OnChange = [&](TObject*, TTreeNode* Node) { Changes.push_back(Node); };
    TV->SetChangeDelay(C.Delay);
    GtTestPump(30);
    const DWORD Start = GetTickCount();
    for (Integer i = 1; i <= 3; ++i) TV->SetSelected(TV->Items()->Item(i));
    GtTestPump(100);
    EXPECT_EQ(static_cast<Integer>(Changes.size()), C.AtOnce);
    ASSERT_TRUE(GtTestPumpUntil([&] { return !Changes.empty(); }, 2000));
    if (C.Delay) {
      EXPECT_GE(GetTickCount() - Start, 550u);
    }
    GtTestPump(200);
    ASSERT_EQ(Changes.size(), C.Delay ? 1u : 3u);
    EXPECT_EQ(Changes.back(), TV->Items()->Item(3));

    // Moving with the keys is the same.
    Changes.clear();
    GtTestActivate(Form->Handle());
    TV->SetFocus();
    for (Integer i = 0; i < 3; ++i) Press(TV->Handle(), VK_UP);
    EXPECT_EQ(TV->Selected(), TV->Items()->Item(0));
    ASSERT_TRUE(GtTestPumpUntil([&] { return Changes.size() >= (C.Delay ? 1u : 3u); }, 2000));
    GtTestPump(C.Delay ? 700 : 50);
    EXPECT_EQ(Changes.size(), C.Delay ? 1u : 3u);
    EXPECT_EQ(Changes.back(), TV->Items()->Item(0));
    delete TV;
  }
}

TEST_F(TreeViewTest, HitTestFollowsWhatIsDrawn) {
  auto Images = SolidImages({clRed});
  auto States = SolidImages({clBlack, clLime});
  TRecordingTree* TV = MakeTree();
  TV->SetImages(Images.get());
  TV->SetStateImages(States.get());
  TTreeNode* Root = TV->Items()->Add(nullptr, u"root");
  TTreeNode* Child = TV->Items()->AddChild(Root, u"child");
  Root->SetImageIndex(0);
  Child->SetImageIndex(0);
  Child->SetStateIndex(1);
  Root->Expand(false);
  GtTestPump(50);
  const TRect Row = Child->DisplayRect(false);
  const TRect Text = Child->DisplayRect(true);
  const Integer Y = Mid(Row).Y;
  const Integer Indent = TV->Indent();
  // Level 1 with the root's button column: the child starts two indents in.
  const Integer StateX = Row.Left + 2 * Indent + 4;
  const Integer IconX = Row.Left + 2 * Indent + 16 + 8;
  struct Case {
    const char* Name;
    Integer X, Y;
    THitTests Hits;
    TTreeNode* Node;
  };
  const Case Cases[] = {
      {"indent", Row.Left + 3, Y, THitTests{htOnIndent}, Child},
      {"button", ButtonX(TV, Root), Mid(Root->DisplayRect(false)).Y, THitTests{htOnButton}, Root},
      {"state image", StateX, Y, THitTests{htOnStateIcon, htOnItem}, Child},
      {"image", IconX, Y, THitTests{htOnIcon, htOnItem}, Child},
      {"label", Text.Left + 4, Y, THitTests{htOnLabel, htOnItem}, Child},
      {"right of the label", Text.Right + 20, Y, THitTests{htOnRight}, Child},
      {"below the nodes", Text.Left + 4, Row.Bottom + 30, THitTests{htNowhere}, nullptr},
      {"left of the tree", -4, Y, THitTests{htToLeft}, nullptr},
      {"right of the tree", TV->ClientWidth() + 4, Y, THitTests{htToRight}, nullptr},
      {"above the tree", 10, -4, THitTests{htAbove}, nullptr},
      {"below the tree", 10, TV->ClientHeight() + 4, THitTests{htBelow}, nullptr},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    EXPECT_EQ(TV->GetHitTestInfoAt(C.X, C.Y), C.Hits);
    EXPECT_EQ(TV->GetNodeAt(C.X, C.Y), C.Node);
  }
  TGrab G(TV->Handle());
  EXPECT_EQ(G.At(StateX, Y), Rgb(clLime));
  EXPECT_EQ(G.At(IconX, Y), Rgb(clRed));
  EXPECT_EQ(G.At(Row.Left + 3, Y), Rgb(clWindow));
}

TEST_F(TreeViewTest, LabelEditingCommitsAndCancels) {
  TRecordingTree* TV = MakeTree();
  TTreeNode* Node = TV->Items()->Add(nullptr, u"old");
  std::vector<WideString> Edited;
  TV->OnEdited = [&](TObject*, TTreeNode*, WideString& S) { Edited.push_back(S); };
  bool Allow = true;
  TV->OnEditing = [&](TObject*, TTreeNode*, bool& A) { A = Allow; };
  GtTestActivate(Form->Handle());
  GtTestPump(30);
  ASSERT_TRUE(Node->EditText());
  EXPECT_TRUE(TV->IsEditing());
  Type(TV->Handle(), "fresh");
  Press(TV->Handle(), VK_RETURN);
  EXPECT_FALSE(TV->IsEditing());
  EXPECT_EQ(Node->Text(), u"fresh");
  ASSERT_TRUE(Node->EditText());
  Type(TV->Handle(), "zzz");
  Press(TV->Handle(), VK_ESCAPE);
  EXPECT_FALSE(TV->IsEditing());
  EXPECT_EQ(Node->Text(), u"fresh");
  EXPECT_EQ(Edited, std::vector<WideString>{u"fresh"});
  Allow = false;
  EXPECT_FALSE(Node->EditText());
  EXPECT_FALSE(TV->IsEditing());
}

TEST_F(TreeViewTest, CustomDrawColourCutAndDropTargetLooks) {
  auto Images = SolidImages({clRed});
  TRecordingTree* TV = MakeTree();
  TV->SetImages(Images.get());
  for (const char* S : {"WWWWWW", "WWWWWW", "WWWWWW", "WWWWWW"}) TV->Items()->Add(nullptr, W(S))->SetImageIndex(0);
  TTreeNode* Blue = TV->Items()->Item(1);
  TTreeNode* Cut = TV->Items()->Item(2);
  TTreeNode* Drop = TV->Items()->Item(3);
  // As the shell tree colours compressed folders.
  TV->OnCustomDrawItem = [&](TCustomTreeView* Sender, TTreeNode* Node, TCustomDrawState, bool&) {
    if (Node == Blue) Sender->Canvas()->Font()->SetColor(clBlue);
  };
  Cut->SetCut(true);
  Drop->SetDropTarget(true);
  GtTestPump(50);
  TGrab G(TV->Handle());
  auto Label = [](TTreeNode* N) { return N->DisplayRect(true); };
  EXPECT_EQ(G.Count(Label(TV->Items()->Item(0)), Bluish), 0);
  EXPECT_GT(G.Count(Label(Blue), Bluish), 10);
  const Integer IconX = Label(Cut).Left - 9;
  EXPECT_EQ(G.At(IconX, Mid(Label(TV->Items()->Item(0))).Y), Rgb(clRed));
  EXPECT_EQ(G.At(IconX, Mid(Label(Cut)).Y), 0xFE7F7Fu);
  EXPECT_GT(G.Count(Label(Drop), [](uint32_t P) { return P == Rgb(clHighlight); }), Label(Drop).Width() * 4);
  // One node at a time is the drop target.
  Cut->SetDropTarget(true);
  EXPECT_FALSE(Drop->DropTarget());
  EXPECT_EQ(TV->DropTarget(), Cut);
}

TEST_F(TreeViewTest, DraggingANodeReportsBeginDrag) {
  TRecordingTree* TV = MakeTree();
  TV->Items()->Add(nullptr, u"one");
  TTreeNode* Two = TV->Items()->Add(nullptr, u"two");
  GtTestPump(50);
  const TPoint P = Mid(Two->DisplayRect(true));
  GtTestMouse(TV->Handle(), gmaPress, gmbRight, P.X, P.Y);
  for (Integer dy = 2; dy <= 16; dy += 2) GtTestMouse(TV->Handle(), gmaMove, gmbRight, P.X, P.Y + dy);
  GtTestMouse(TV->Handle(), gmaRelease, gmbRight, P.X, P.Y + 16);
  ASSERT_EQ(TV->Drags.size(), 1u);
  EXPECT_EQ(TV->Drags[0].hdr.code, UINT(TVN_BEGINRDRAGW));
  EXPECT_EQ(reinterpret_cast<TTreeNode*>(TV->Drags[0].itemNew.hItem), Two);
  EXPECT_EQ(TV->Drags[0].ptDrag.Y, P.Y);
  EXPECT_EQ(TV->Selected(), nullptr);  // a right press selects only with RightClickSelect
}

TEST_F(TreeViewTest, DeletingTheSelectedNodeMovesTheSelectionAndTellsEveryNode) {
  TRecordingTree* TV = MakeTree();
  TTreeNode* A = TV->Items()->Add(nullptr, u"a");
  TTreeNode* B = TV->Items()->Add(nullptr, u"b");
  TTreeNode* B1 = TV->Items()->AddChild(B, u"b1");
  TV->Items()->AddChild(B1, u"b11");
  TTreeNode* C = TV->Items()->Add(nullptr, u"c");
  B->Expand(true);
  TV->SetSelected(B1);
  std::vector<WideString> Deleted;
  TV->OnDeletion = [&](TObject*, TTreeNode* N) { Deleted.push_back(N->Text()); };
  std::vector<TTreeNode*> Changes;
  TV->OnChange = [&](TObject*, TTreeNode* N) { Changes.push_back(N); };
  B->Delete();
  EXPECT_EQ(Deleted, (std::vector<WideString>{u"b11", u"b1", u"b"}));
  EXPECT_EQ(TV->Selected(), C);
  EXPECT_EQ(TV->Items()->Count(), 2);
  EXPECT_EQ(C->Index(), 1);
  ASSERT_FALSE(Changes.empty());
  EXPECT_EQ(Changes.back(), C);
  GtTestPump(30);
  EXPECT_EQ(TV->GetNodeAt(Mid(C->DisplayRect(true)).X, Mid(A->DisplayRect(false)).Y + A->DisplayRect(false).Height()), C);
  TV->Items()->Clear();
  EXPECT_EQ(TV->Selected(), nullptr);
  EXPECT_EQ(TV->Items()->Count(), 0);
}

TEST_F(TreeViewTest, SortingKeepsOpenNodesAndTheSelection) {
  TRecordingTree* TV = MakeTree();
  TTreeNode* Z = TV->Items()->Add(nullptr, u"Zeta");
  TV->Items()->Add(nullptr, u"alpha");
  for (const char* S : {"y", "X", "w"}) TV->Items()->AddChild(Z, W(S));
  Z->Expand(false);
  TV->SetSelected(Z->Item(1));
  TV->AlphaSort(true);
  EXPECT_EQ(Names(TV), u"alpha Zeta w X y ");
  EXPECT_TRUE(Z->Expanded());
  EXPECT_EQ(TV->Selected()->Text(), u"X");
  GtTestPump(30);
  // What shows follows the new order: the second row is the open node, then its children.
  const TRect First = TV->Items()->GetFirstNode()->DisplayRect(false);
  EXPECT_EQ(TV->GetNodeAt(Mid(Z->Item(0)->DisplayRect(true)).X, First.Bottom + First.Height() * 3 / 2), Z->Item(0));
  Z->CustomSort([](TTreeNode* A, TTreeNode* B, LPARAM) { return -WideCompareText(A->Text(), B->Text()); }, 0);
  EXPECT_EQ(Names(TV), u"alpha Zeta y X w ");
  TV->SetSortType(stText);
  TV->Items()->AddChild(Z, u"b");
  EXPECT_EQ(Names(TV), u"alpha Zeta b w X y ");
}

}  // namespace
}  // namespace treeview_tests
