// How windows hand out accessibility objects: the WM_GETOBJECT answer and
// the token that carries the object to the asker exactly once, and the
// standard objects of a window's frame and client area.
#include <gtest/gtest.h>

#include "platform/ui/accbridge.h"
#include "platform/ui/winuser.h"
#include "tests/platform/ui/uitest.h"

namespace test_accbridge_tests {

const VARIANT Self = VARIANT::I4(CHILDID_SELF);

// A control that answers WM_GETOBJECT for its client area with Obj.
class TAnswering : public TCustomControl {
 public:
  using TCustomControl::TCustomControl;
  TAccRef Obj;
  Integer Asked = 0;
  void Dispatch(TMessage& M) override {
    if (M.Msg == WM_GETOBJECT && static_cast<LONG>(M.LParam) == OBJID_CLIENT && Obj) {
      ++Asked;
      M.Result = LresultFromObject(M.WParam, Obj.get());
      return;
    }
    TCustomControl::Dispatch(M);
  }
};

class AccBridge : public UiTest {};

TEST_F(AccBridge, StandardObjectsOfAWindow) {
  TRecorder* R = AddRecorder(10, 20, 100, 50);
  R->HandleNeeded();
  SetWindowText(R->Handle(), u"Pane");
  struct {
    LONG Id;
    LONG Role;
  } Cases[] = {{OBJID_WINDOW, ROLE_SYSTEM_WINDOW}, {OBJID_CLIENT, ROLE_SYSTEM_CLIENT}};
  for (const auto& C : Cases) {
    TAccRef Obj;
    ASSERT_EQ(AccessibleObjectFromWindow(R->Handle(), C.Id, Obj), S_OK) << C.Id;
    VARIANT Role, State;
    ASSERT_EQ(Obj->get_accRole(Self, Role), S_OK);
    EXPECT_EQ(Role.lVal, C.Role);
    WideString Name;
    EXPECT_EQ(Obj->get_accName(Self, Name), S_OK);
    EXPECT_EQ(Name, u"Pane");
    HWND Wnd = nullptr;
    EXPECT_EQ(Obj->GetWindow(Wnd), S_OK);
    EXPECT_EQ(Wnd, R->Handle());
    LONG L, T, W, H;
    ASSERT_EQ(Obj->accLocation(L, T, W, H, Self), S_OK);
    TPoint Origin;
    ClientToScreen(R->Handle(), &Origin);
    EXPECT_EQ(TRect(L, T, L + W, T + H), TRect(Origin.X, Origin.Y, Origin.X + 100, Origin.Y + 50)) << C.Id;
    EXPECT_EQ(Obj->get_accRole(VARIANT::I4(1), Role), E_INVALIDARG);
    // State follows the window.
    ASSERT_EQ(Obj->get_accState(Self, State), S_OK);
    EXPECT_EQ(State.lVal & (STATE_SYSTEM_INVISIBLE | STATE_SYSTEM_UNAVAILABLE), 0);
    EnableWindow(R->Handle(), FALSE);
    ShowWindow(R->Handle(), SW_HIDE);
    ASSERT_EQ(Obj->get_accState(Self, State), S_OK);
    EXPECT_EQ(State.lVal & (STATE_SYSTEM_INVISIBLE | STATE_SYSTEM_UNAVAILABLE),
              STATE_SYSTEM_INVISIBLE | STATE_SYSTEM_UNAVAILABLE);
    EnableWindow(R->Handle(), TRUE);
    ShowWindow(R->Handle(), SW_SHOW);
    // The client's parent is the frame; the frame's is the form's client.
    TAccRef Parent;
    ASSERT_EQ(Obj->get_accParent(Parent), S_OK);
    ASSERT_EQ(Parent->GetWindow(Wnd), S_OK);
    EXPECT_EQ(Wnd, C.Id == OBJID_CLIENT ? R->Handle() : Form->Handle()) << C.Id;
  }
  // An object kept after its window has gone answers E_FAIL.
  TAccRef Kept;
  ASSERT_EQ(AccessibleObjectFromWindow(R->Handle(), OBJID_WINDOW, Kept), S_OK);
  delete R;
  VARIANT Role;
  WideString Name;
  EXPECT_EQ(Kept->get_accRole(Self, Role), E_FAIL);
  EXPECT_EQ(Kept->get_accName(Self, Name), E_FAIL);
  TAccRef None;
  EXPECT_EQ(AccessibleObjectFromWindow(nullptr, OBJID_CLIENT, None), E_INVALIDARG);
  EXPECT_FALSE(None);
}

TEST_F(AccBridge, AWindowsOwnObjectTravelsOnceThroughItsAnswer) {
  auto* A = new TAnswering(Form.get());
  A->SetBounds(0, 0, 50, 50);
  A->SetParent(Form.get());
  // The window's own object: here the standard frame object of the form.
  ASSERT_EQ(AccessibleObjectFromWindow(Form->Handle(), OBJID_WINDOW, A->Obj), S_OK);
  IAccessible* Own = A->Obj.get();
  TAccRef Got;
  const Integer Before = A->Asked;
  ASSERT_EQ(AccessibleObjectFromWindow(A->Handle(), OBJID_CLIENT, Got), S_OK);
  EXPECT_EQ(Got.get(), Own);
  EXPECT_EQ(A->Asked, Before + 1);

  // The answer holds a reference until it is taken, and is taken once.
  const LRESULT Token = SendMessage(A->Handle(), WM_GETOBJECT, 0, static_cast<LPARAM>(OBJID_CLIENT));
  ASSERT_NE(Token, 0);
  Got.reset();
  A->Obj.reset();  // the answer's reference alone keeps the object
  TAccRef Taken;
  ASSERT_EQ(ObjectFromLresult(Token, 0, Taken), S_OK);
  ASSERT_TRUE(Taken);
  VARIANT Role;
  EXPECT_EQ(Taken->get_accRole(Self, Role), S_OK);
  EXPECT_EQ(Role.lVal, ROLE_SYSTEM_WINDOW);
  TAccRef Again;
  EXPECT_EQ(ObjectFromLresult(Token, 0, Again), E_INVALIDARG);
  EXPECT_FALSE(Again);
  EXPECT_EQ(ObjectFromLresult(0, 0, Again), E_INVALIDARG);
  EXPECT_EQ(LresultFromObject(0, nullptr), 0);
}

}  // namespace test_accbridge_tests
