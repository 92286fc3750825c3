// Shared fixture of the MDI tests: a shown MDI frame that is the main form,
// and children made on it with a caption and, optionally, no minimise box.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "platform/ui/forms.h"
#include "platform/ui/testsupport.h"

namespace mdi_test {

class MdiFrameTest : public ::testing::Test {
 protected:
  // The frame, shown; callers add what else they need, then pump.
  void MakeFrame() {
    Frame = std::make_unique<TForm>(nullptr);
    Frame->SetFormStyle(fsMDIForm);
    Frame->SetBounds(20, 20, 700, 500);
    Application->SetMainForm(Frame.get());
    Frame->Show();
  }
  void TearDown() override {
    Kids.clear();
    Frame.reset();
    Application->ProcessMessages();
  }
  TForm* AddChild(const WideString& Caption, bool MinimizeBox = true) {
    auto* F = new TForm(nullptr);
    F->SetFormStyle(fsMDIChild);
    if (!MinimizeBox) F->SetBorderIcons(TBorderIcons{biSystemMenu, biMaximize});
    F->SetCaption(Caption);
    F->SetBounds(10 + 10 * static_cast<Integer>(Kids.size()), 10, 200, 150);
    F->Show();
    Kids.emplace_back(F);
    return F;
  }
  std::unique_ptr<TForm> Frame;
  std::vector<std::unique_ptr<TForm>> Kids;
};

}  // namespace mdi_test
