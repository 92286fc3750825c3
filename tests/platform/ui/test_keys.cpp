// How a key message reaches a control's key events: the parent form first
// when it previews keys, then the control, either of which may change the key
// or swallow it by setting it to 0; the same for key down, key up and
// character messages.
#include "uitest.h"

namespace test_keys_tests {

namespace {

// Makes the key steps callable from the test.
class TKeyProbe : public TCustomControl {
 public:
  using TCustomControl::TCustomControl;
  using TWinControl::DoKeyDown;
  using TWinControl::DoKeyPress;
  using TWinControl::DoKeyUp;
};

enum TKeyKind { kkDown, kkUp, kkPress };

// What a handler does with the key it receives: 0 leaves it, -1 swallows it,
// any other value replaces it.
struct KeyCase {
  const char* Name;
  bool Preview;        // the form previews keys
  Integer FormDoes;    // only when previewing
  Integer ControlDoes;
  bool NoStdEvents;    // the control has csNoStdEvents
  bool Taken;          // what the step returns
  Integer ControlSaw;  // the key the control's event got; -1 not called
  WPARAM WParamAfter;
};

const KeyCase kCases[] = {
    {"control leaves the key", false, 0, 0, false, false, 'A', 'A'},
    {"control replaces the key", false, 0, 'B', false, false, 'A', 'B'},
    {"control swallows the key", false, 0, -1, false, true, 'A', 0},
    {"form not previewing is skipped", false, -1, 0, false, false, 'A', 'A'},
    {"previewing form swallows the key", true, -1, 'B', false, true, -1, 0},
    {"previewing form's replacement reaches the control", true, 'C', 0, false, false, 'C', 'C'},
    {"control without standard events", false, 0, -1, true, false, -1, 'A'},
    {"previewing form still sees keys of such a control", true, -1, 0, true, true, -1, 0},
};

class KeySteps : public UiTest, public ::testing::WithParamInterface<std::tuple<KeyCase, TKeyKind>> {};

template <class TKey>
void Apply(Integer Does, TKey& Key) {
  if (Does == -1)
    Key = 0;
  else if (Does != 0)
    Key = static_cast<TKey>(Does);
}

TEST_P(KeySteps, FormFirstThenControlEachMayChangeOrSwallow) {
  const auto& [C, Kind] = GetParam();
  auto* P = new TKeyProbe(Form.get());
  P->SetParent(Form.get());
  if (C.NoStdEvents) {
    TControlStyle S = P->ControlStyle();
    S.Include(csNoStdEvents);
    P->SetControlStyle(S);
  }
  Form->SetKeyPreview(C.Preview);
  Integer FormCalls = 0;
  Integer Saw = -1;
  TShiftState SawShift;
  Form->OnKeyDown = Form->OnKeyUp = [&](TObject*, Word& K, TShiftState) {
    ++FormCalls;
    Apply(C.FormDoes, K);
  };
  Form->OnKeyPress = [&](TObject*, WideChar& K) {
    ++FormCalls;
    Apply(C.FormDoes, K);
  };
  P->OnKeyDown = P->OnKeyUp = [&](TObject*, Word& K, TShiftState S) {
    Saw = K;
    SawShift = S;
    Apply(C.ControlDoes, K);
  };
  P->OnKeyPress = [&](TObject*, WideChar& K) {
    Saw = K;
    Apply(C.ControlDoes, K);
  };

  const UINT Msg = Kind == kkDown ? WM_KEYDOWN : Kind == kkUp ? WM_KEYUP : WM_CHAR;
  const LPARAM AltDown = LPARAM(1) << 29;
  TMessage M{Msg, 'A', AltDown, 0};
  const bool Taken = Kind == kkDown ? P->DoKeyDown(M) : Kind == kkUp ? P->DoKeyUp(M) : P->DoKeyPress(M);

  EXPECT_EQ(Taken, C.Taken);
  EXPECT_EQ(Saw, C.ControlSaw);
  EXPECT_EQ(M.WParam, C.WParamAfter);
  EXPECT_EQ(FormCalls, C.Preview ? 1 : 0);
  if (Kind != kkPress && Saw != -1) {
    EXPECT_TRUE(SawShift.Contains(ssAlt));
  }
}

std::string CaseName(const ::testing::TestParamInfo<KeySteps::ParamType>& Info) {
  static const char* const kKinds[] = {"Down", "Up", "Press"};
  std::string N = std::string(kKinds[std::get<1>(Info.param)]) + "_" + std::get<0>(Info.param).Name;
  for (char& Ch : N)
    if (!isalnum(static_cast<unsigned char>(Ch))) Ch = '_';
  return N;
}

INSTANTIATE_TEST_SUITE_P(AllKinds, KeySteps,
                         ::testing::Combine(::testing::ValuesIn(kCases), ::testing::Values(kkDown, kkUp, kkPress)),
                         CaseName);

}  // namespace

}  // namespace test_keys_tests
