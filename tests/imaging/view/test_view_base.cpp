// The view base: bitmap-change handlers (order, destroy-time calls,
// handlers that unregister while being called, handle values), resolution
// setters, and the border and 3D switches that recreate the window.
#include <limits>
#include <string>
#include <vector>

#include <exception>  // winuser.h uses std::exception_ptr

#include "platform/ui/winuser.h"
#include "view_test_util.h"

namespace test_view_base_tests {

using namespace view_test;

namespace {

using TBaseTest = ViewTest;

TEST_F(TBaseTest, DestroyCallsEveryHandlerOnceInOrderWithDestroying) {
  auto* v = new TZiduzUvView(nullptr);
  std::vector<std::string> calls;
  for (const char* name : {"a", "b", "c"})
    v->AddBitmapChangeHandler([&calls, name, v](TObject* Sender, bool Destroying) {
      EXPECT_EQ(Sender, v);
      calls.push_back(std::string(name) + (Destroying ? "+" : "-"));
    });
  delete v;
  EXPECT_EQ(calls, (std::vector<std::string>{"a+", "b+", "c+"}));
}

TEST_F(TBaseTest, HandlerThatUnregistersDuringDestroyDoesNotSkipOrFreeOthers) {
  // Taking the first record after each call would free "b" unseen when "a"
  // removes itself; every handler must still run exactly once.
  auto* v = new TZiduzUvView(nullptr);
  std::vector<std::string> calls;
  Integer ha = -1, hb = -1;
  ha = v->AddBitmapChangeHandler([&](TObject*, bool) {
    calls.push_back("a");
    v->RemoveBitmapChangeHandler(ha);
    v->RemoveBitmapChangeHandler(hb);
  });
  hb = v->AddBitmapChangeHandler([&](TObject*, bool) { calls.push_back("b"); });
  v->AddBitmapChangeHandler([&](TObject*, bool) { calls.push_back("c"); });
  delete v;
  EXPECT_EQ(calls, (std::vector<std::string>{"a", "b", "c"}));
}

TEST_F(TBaseTest, CallHandlersWalksTheHandlersPresentAtTheStart) {
  TZiduzUvView* v = MakeView(50, 50);
  v->CallBitmapChangeHandlers();  // none registered: nothing happens
  std::vector<std::string> calls;
  Integer ha = -1, hc = -1;
  ha = v->AddBitmapChangeHandler([&](TObject*, bool d) {
    calls.push_back(d ? "a+" : "a");
    v->RemoveBitmapChangeHandler(ha);  // itself, while running
    v->AddBitmapChangeHandler([&](TObject*, bool d2) { calls.push_back(d2 ? "late+" : "late"); });
  });
  v->AddBitmapChangeHandler([&](TObject*, bool d) {
    calls.push_back(d ? "b+" : "b");
    v->RemoveBitmapChangeHandler(hc);  // a later one: it is not called
  });
  hc = v->AddBitmapChangeHandler([&](TObject*, bool) { calls.push_back("c"); });
  v->CallBitmapChangeHandlers();
  EXPECT_EQ(calls, (std::vector<std::string>{"a", "b"}));
  calls.clear();
  v->CallBitmapChangeHandlers();
  EXPECT_EQ(calls, (std::vector<std::string>{"b", "late"}));
  delete v;  // the handlers refer to this test's locals
}

TEST_F(TBaseTest, HandlesArePositiveExactAndSurviveTheTopOfTheRange) {
  TZiduzUvView* v = MakeView(50, 50);
  Integer calledA = 0, calledB = 0, calledC = 0;
  // Handles near the top of the range must stay positive and removable; a
  // handle that looked negative would stay registered after its owner left.
  v->SetNextBitmapChangeHandle(std::numeric_limits<Integer>::max());
  const Integer a = v->AddBitmapChangeHandler([&](TObject*, bool) { ++calledA; });
  const Integer b = v->AddBitmapChangeHandler([&](TObject*, bool) { ++calledB; });
  v->SetNextBitmapChangeHandle(b);  // a clash with a live handle is skipped
  const Integer c = v->AddBitmapChangeHandler([&](TObject*, bool) { ++calledC; });
  EXPECT_EQ(a, std::numeric_limits<Integer>::max());
  EXPECT_GT(b, 0);
  EXPECT_GT(c, 0);
  EXPECT_NE(b, c);
  EXPECT_NE(a, c);
  v->RemoveBitmapChangeHandler(-1);         // none
  v->RemoveBitmapChangeHandler(a ^ 0x40);   // not registered
  v->RemoveBitmapChangeHandler(a);
  EXPECT_EQ(v->BitmapChangeHandlerCount(), 2);
  v->RemoveBitmapChangeHandler(b);
  v->CallBitmapChangeHandlers();
  EXPECT_EQ(calledA, 0);
  EXPECT_EQ(calledB, 0);
  EXPECT_EQ(calledC, 1);
  delete v;
}

TEST_F(TBaseTest, DpiSettersIgnoreZeroPerAxis) {
  struct Case {
    Integer X, Y, WantX, WantY;
  } cases[] = {{0, 150, 300, 150}, {72, 0, 72, 300}, {0, 0, 300, 300}, {-5, 96, -5, 96}};
  for (const Case& c : cases) {
    TZiduzUvView* v = MakeView(40, 40);
    v->SetDpi(c.X, c.Y);
    EXPECT_EQ(v->DpiX(), c.WantX) << c.X << "," << c.Y;
    EXPECT_EQ(v->DpiY(), c.WantY) << c.X << "," << c.Y;
  }
}

TEST_F(TBaseTest, BorderAndCtl3DRecreateTheWindowOnlyWhenChanged) {
  auto* v = new TZiduzUvView(Form.get());
  v->SetParent(Form.get());
  v->SetBounds(0, 0, 80, 80);
  HWND h0 = v->Handle();
  EXPECT_NE(GetWindowLong(h0, GWL_EXSTYLE) & WS_EX_CLIENTEDGE, 0);
  v->SetBorderStyle(bsSingle);
  EXPECT_EQ(v->Handle(), h0);
  v->SetCtl3D(false);
  HWND h1 = v->Handle();
  EXPECT_NE(h1, h0);
  EXPECT_EQ(GetWindowLong(h1, GWL_EXSTYLE) & WS_EX_CLIENTEDGE, 0);
  EXPECT_NE(GetWindowLong(h1, GWL_STYLE) & WS_BORDER, 0u);
  v->SetBorderStyle(bsNone);
  HWND h2 = v->Handle();
  EXPECT_NE(h2, h1);
  EXPECT_EQ(GetWindowLong(h2, GWL_STYLE) & WS_BORDER, 0u);
}

}  // namespace

}  // namespace test_view_base_tests
