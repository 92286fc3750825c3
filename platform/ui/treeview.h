// The tree view: nodes with a text, images and states, expanded on demand
// (a node that says it has children asks for them when it opens), with a
// change notification that can wait until quick selections have settled
// (ChangeDelay). Its messages (TVM_) and the notifications it reflects to
// itself (CN_NOTIFY) carry the numbers of the common controls.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/ui/listview.h"

class TCustomTreeView;
class TTreeNodes;
class TTreeNode;

using TTVCompare = std::function<Integer(TTreeNode* Node1, TTreeNode* Node2, LPARAM Data)>;

class TTreeNode : public TObject {
 public:
  explicit TTreeNode(TTreeNodes* AOwner);
  ~TTreeNode() override;
  TTreeNodes* Owner() const { return FOwner; }
  TCustomTreeView* TreeView() const;
  const WideString& Text() const { return FText; }
  void SetText(const WideString& Value);
  void* Data() const { return FData; }
  void SetData(void* Value) { FData = Value; }
  TImageIndex ImageIndex() const { return FImageIndex; }
  void SetImageIndex(TImageIndex Value);
  TImageIndex SelectedIndex() const { return FSelectedIndex; }
  void SetSelectedIndex(TImageIndex Value);
  // Image number OverlayIndex of the same list is drawn over the node's image (-1: none).
  TImageIndex OverlayIndex() const { return FOverlayIndex; }
  void SetOverlayIndex(TImageIndex Value);
  // Image number StateIndex of the state images is drawn before the image (0 or less: none).
  TImageIndex StateIndex() const { return FStateIndex; }
  void SetStateIndex(TImageIndex Value);
  // Shows an expand button before any child exists; expanding asks for them.
  bool HasChildren() const { return FHasChildren || !FChildren.empty(); }
  void SetHasChildren(bool Value);
  bool Expanded() const { return FExpanded; }
  void SetExpanded(bool Value);
  bool Selected() const;
  void SetSelected(bool Value);
  bool Focused() const { return Selected(); }
  bool Cut() const { return FCut; }
  void SetCut(bool Value);
  bool DropTarget() const { return FDropTarget; }
  void SetDropTarget(bool Value);

  TTreeNode* Parent() const { return FParent; }
  Integer Count() const { return static_cast<Integer>(FChildren.size()); }
  TTreeNode* Item(Integer Index) const;
  Integer Index() const { return FIndex; }
  Integer Level() const;
  Integer AbsoluteIndex() const;
  bool HasAsParent(const TTreeNode* Value) const;
  TTreeNode* getFirstChild() const { return FChildren.empty() ? nullptr : FChildren.front(); }
  TTreeNode* GetLastChild() const { return FChildren.empty() ? nullptr : FChildren.back(); }
  TTreeNode* getNextSibling() const;
  TTreeNode* getPrevSibling() const;
  TTreeNode* GetNextChild(const TTreeNode* Value) const { return Value ? Value->getNextSibling() : nullptr; }
  // The next node in tree order (children first), nullptr after the last.
  TTreeNode* GetNext() const;
  bool IsVisible() const;

  void Expand(bool Recurse);
  void Collapse(bool Recurse);
  void Delete();
  void DeleteChildren();
  void MakeVisible();
  // Client coordinates of the row (TextOnly: of the text).
  TRect DisplayRect(bool TextOnly) const;
  // Starts label editing (false when the tree refuses it).
  bool EditText();
  void EndEdit(bool Cancel);
  bool AlphaSort(bool Recurse = false);
  bool CustomSort(const TTVCompare& SortProc, LPARAM Data, bool Recurse = false);

 private:
  friend class TTreeNodes;
  friend class TCustomTreeView;
  friend class TTreeViewHost;
  friend class TTreeModel;
  std::vector<TTreeNode*>& Siblings() const;
  void Changed();
  TTreeNodes* FOwner;
  TTreeNode* FParent = nullptr;
  std::vector<TTreeNode*> FChildren;
  Integer FIndex = -1;
  WideString FText;
  void* FData = nullptr;
  TImageIndex FImageIndex = -1, FSelectedIndex = -1, FOverlayIndex = -1, FStateIndex = -1;
  bool FHasChildren = false, FExpanded = false, FCut = false, FDropTarget = false;
  bool FDeleting = false;
};

class TTreeNodes : public TObject {
 public:
  explicit TTreeNodes(TCustomTreeView* AOwner) : FOwner(AOwner) {}
  ~TTreeNodes() override;
  // The last sibling of Sibling (a top-level node when nullptr).
  TTreeNode* Add(TTreeNode* Sibling, const WideString& S);
  TTreeNode* AddObject(TTreeNode* Sibling, const WideString& S, void* Ptr);
  TTreeNode* AddFirst(TTreeNode* Sibling, const WideString& S);
  TTreeNode* AddChild(TTreeNode* Parent, const WideString& S);
  TTreeNode* AddChildObject(TTreeNode* Parent, const WideString& S, void* Ptr);
  TTreeNode* AddChildFirst(TTreeNode* Parent, const WideString& S);
  // Before Sibling (a last top-level node when nullptr).
  TTreeNode* Insert(TTreeNode* Sibling, const WideString& S);
  void Delete(TTreeNode* Node);
  void Clear();
  // Every node counts (in tree order for Item).
  Integer Count() const { return FCount; }
  TTreeNode* Item(Integer Index) const;
  TTreeNode* operator[](Integer Index) const { return Item(Index); }
  TTreeNode* GetFirstNode() const { return FRoots.empty() ? nullptr : FRoots.front(); }
  // Inside a bracket the view is told once, at its end, about added and removed nodes.
  void BeginUpdate();
  void EndUpdate();
  TCustomTreeView* Owner() const { return FOwner; }

 private:
  friend class TTreeNode;
  friend class TCustomTreeView;
  friend class TTreeViewHost;
  friend class TTreeModel;
  TTreeNode* InsertAt(TTreeNode* Parent, size_t Position, const WideString& S, void* Ptr);
  TCustomTreeView* FOwner;
  std::vector<TTreeNode*> FRoots;
  Integer FCount = 0;
  Integer FUpdateCount = 0;
  bool FStructureChanged = false;
};

using TTreeNodeClass = std::function<TTreeNode*(TTreeNodes* Owner)>;
using TTVChangedEvent = std::function<void(TObject* Sender, TTreeNode* Node)>;
using TTVChangingEvent = std::function<void(TObject* Sender, TTreeNode* Node, bool& AllowChange)>;
using TTVExpandingEvent = std::function<void(TObject* Sender, TTreeNode* Node, bool& AllowExpansion)>;
using TTVCollapsingEvent = std::function<void(TObject* Sender, TTreeNode* Node, bool& AllowCollapse)>;
using TTVExpandedEvent = std::function<void(TObject* Sender, TTreeNode* Node)>;
using TTVEditingEvent = std::function<void(TObject* Sender, TTreeNode* Node, bool& AllowEdit)>;
using TTVEditedEvent = std::function<void(TObject* Sender, TTreeNode* Node, WideString& S)>;
using TTVCompareEvent =
    std::function<void(TObject* Sender, TTreeNode* Node1, TTreeNode* Node2, Integer Data, Integer& Compare)>;
using TTVCustomDrawItemEvent =
    std::function<void(TCustomTreeView* Sender, TTreeNode* Node, TCustomDrawState State, bool& DefaultDraw)>;
using TTVCreateNodeClassEvent = std::function<void(TCustomTreeView* Sender, TTreeNodeClass& NodeClass)>;

class TCustomTreeView : public TWinControl {
 public:
  explicit TCustomTreeView(TComponent* AOwner);
  ~TCustomTreeView() override;

  TTreeNodes* Items() const { return FItems.get(); }
  TTreeNode* Selected() const { return FSelected; }
  void SetSelected(TTreeNode* Value);
  TTreeNode* DropTarget() const;
  TTreeNode* TopItem();
  TTreeNode* GetNodeAt(Integer X, Integer Y);
  THitTests GetHitTestInfoAt(Integer X, Integer Y);
  // Milliseconds between a change of selection and OnChange; later changes restart the wait.
  Integer ChangeDelay() const { return FChangeDelay; }
  void SetChangeDelay(Integer Value);
  bool AutoExpand() const { return FAutoExpand; }
  void SetAutoExpand(bool Value) { FAutoExpand = Value; }
  bool HideSelection() const { return FHideSelection; }
  void SetHideSelection(bool Value);
  bool RightClickSelect() const { return FRightClickSelect; }
  void SetRightClickSelect(bool Value) { FRightClickSelect = Value; }
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool Value);
  bool ShowLines() const { return FShowLines; }
  void SetShowLines(bool Value);
  bool ShowRoot() const { return FShowRoot; }
  void SetShowRoot(bool Value);
  bool ShowButtons() const { return FShowButtons; }
  void SetShowButtons(bool Value);
  bool RowSelect() const { return FRowSelect; }
  void SetRowSelect(bool Value);
  Integer Indent() const { return FIndent; }
  void SetIndent(Integer Value);
  TCustomImageList* Images() const { return FImages; }
  void SetImages(TCustomImageList* Value);
  TCustomImageList* StateImages() const { return FStateImages; }
  void SetStateImages(TCustomImageList* Value);
  TSortType SortType() const { return FSortType; }
  void SetSortType(TSortType Value);
  bool AlphaSort(bool Recurse = true);
  bool CustomSort(const TTVCompare& SortProc, LPARAM Data, bool Recurse = true);
  void FullExpand();
  void FullCollapse();
  bool IsEditing() const;
  // The canvas of the row being drawn, during OnCustomDrawItem.
  TCanvas* Canvas() const { return FCanvas.get(); }

  TTVChangedEvent OnChange;
  TTVChangingEvent OnChanging;
  TTVExpandingEvent OnExpanding;
  TTVExpandedEvent OnExpanded;
  TTVCollapsingEvent OnCollapsing;
  TTVExpandedEvent OnCollapsed;
  TTVEditingEvent OnEditing;
  TTVEditedEvent OnEdited;
  TTVCompareEvent OnCompare;
  TTVCustomDrawItemEvent OnCustomDrawItem;
  TTVExpandedEvent OnGetImageIndex;
  TTVExpandedEvent OnGetSelectedIndex;
  TTVExpandedEvent OnDeletion;
  TTVCreateNodeClassEvent OnCreateNodeClass;

 protected:
  friend class TTreeNode;
  friend class TTreeNodes;
  friend class TTreeViewHost;
  friend class TTreeQtView;
  friend class TTreeSelectionModel;
  friend struct TTreeViewAccess;
  virtual TTreeNode* CreateNode();
  virtual bool CanChange(TTreeNode* Node);
  virtual void Change(TTreeNode* Node);
  virtual bool CanExpand(TTreeNode* Node);
  virtual void Expand(TTreeNode* Node);
  virtual bool CanCollapse(TTreeNode* Node);
  virtual void Collapse(TTreeNode* Node);
  virtual bool CanEdit(TTreeNode* Node);
  // The end of label editing; Item.pszText is null when it was cancelled.
  virtual void Edit(const TVITEMW& Item);
  virtual void Delete(TTreeNode* Node);
  // Asked when a node is about to be painted (OnGetImageIndex, OnGetSelectedIndex).
  virtual void GetImageIndex(TTreeNode* Node);
  virtual void GetSelectedIndex(TTreeNode* Node);
  virtual bool IsCustomDrawn(TCustomDrawTarget Target, TCustomDrawStage Stage);
  // False: the handler drew the node itself.
  virtual bool CustomDrawItem(TTreeNode* Node, TCustomDrawState State, TCustomDrawStage Stage);
  virtual void CNNotify(TMessage& Message);
  void CreateWindowHandle(const TCreateParams& Params) override;
  void DestroyWnd() override;
  void Dispatch(TMessage& Message) override;
  void FontChanged() override;
  void ColorChanged() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  void ChangeImages(TCustomImageList*& Field, TCustomImageList* Value);
  LRESULT Notify(NMHDR& Header);
  // Selection through the tree's own path (TVN_SELCHANGING, TVN_SELCHANGED), Action a TVC_ value.
  bool SelectNode(TTreeNode* Node, UINT Action);
  bool ExpandNode(TTreeNode* Node, bool Expand);
  void NodeAdded(TTreeNode* Node);
  void NodeRemoving(TTreeNode* Node);
  void NodeRemoved(TTreeNode* Parent, Integer Index);
  void NodeChanged(TTreeNode* Node);
  void StructureChanged();
  void ChildrenReordered();
  void ImageListChanged();
  LRESULT HandleTreeMessage(TMessage& Message, bool& Handled);
  HIMAGELIST ImageListFor(UINT Kind) const { return Kind == TVSIL_STATE ? FImageHandles[1] : FImageHandles[0]; }

  std::unique_ptr<TTreeNodes> FItems;
  std::unique_ptr<TCanvas> FCanvas;
  std::unique_ptr<TChangeLink> FImageLinks[2];  // Images, StateImages (a link has one list)
  TTreeNode* FSelected = nullptr;
  Integer FChangeDelay = 0;
  bool FChangePending = false;
  bool FAutoExpand = false, FHideSelection = true, FRightClickSelect = false, FReadOnly = false;
  bool FShowLines = true, FShowRoot = true, FShowButtons = true, FRowSelect = false;
  Integer FIndent = 19;
  TCustomImageList *FImages = nullptr, *FStateImages = nullptr;
  HIMAGELIST FImageHandles[2] = {nullptr, nullptr};  // TVSIL_NORMAL, TVSIL_STATE
  TSortType FSortType = stNone;
  DWORD FExStyle = 0;
  bool FDestroying = false;
};

class TTreeView : public TCustomTreeView {
 public:
  using TCustomTreeView::TCustomTreeView;
};
