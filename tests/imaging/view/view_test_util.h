// Shared fixtures of the view tests: a shown form holding a view without a
// border, so that the view's client area is exactly the size it is given.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "imaging/core/base/iestartup.h"
#include "imaging/view/ziduzuvview.h"
#include "platform/ui/forms.h"
#include "platform/ui/testsupport.h"
#include "tests/support/process.h"

namespace view_test {

class ViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Form = std::make_unique<TForm>(nullptr);
    Form->SetBounds(20, 20, 900, 700);
    Form->Show();
    GtTestPump(10);
  }
  void TearDown() override {
    Form.reset();
    Application->ProcessMessages();
  }
  // A view (or a view of a derived class) of ClientW x ClientH client pixels
  // on the form, its window made.
  template <class TView = TZiduzUvView>
  TView* MakeView(Integer ClientW, Integer ClientH) {
    auto* v = new TView(Form.get());
    v->SetBorderStyle(bsNone);
    v->SetParent(Form.get());
    v->SetBounds(0, 0, ClientW, ClientH);
    v->HandleNeeded();
    GtTestPump(5);
    return v;
  }
  // Gives the view a W x H 24-bit picture and lays it out.
  static void SetPicture(TZiduzUvView* V, Integer W, Integer H) {
    ASSERT_TRUE(V->GetIEBitmap()->Allocate(W, H, ie24RGB));
    V->Update();
  }
  std::unique_ptr<TForm> Form;
};

// A view test with the library started, for tests that load, save or use
// the registered formats.
class StartedViewTest : public ViewTest {
 protected:
  void SetUp() override {
    IEStartup();
    ViewTest::SetUp();
  }
  void TearDown() override {
    ViewTest::TearDown();
    IEShutdown();
  }
};

// Runs a command and returns its standard output; Status gets the exit code.
inline std::string RunOutput(const std::string& Command, int& Status) { return gt_test::Capture(Command, &Status); }

inline const std::string kHere = std::string(GT_TEST_DATA_DIR) + "/../imaging/view";

}  // namespace view_test
