// The frame controller that shares one look among many controls, the inert
// settings-store component, the shared blink timer and the colour-name tables.
#include <algorithm>
#include <typeindex>
#include <unordered_map>

#include "controls/fccommon.h"

namespace {

std::unordered_map<std::type_index, TFcFramedProperties>& FramedTables() {
  static std::unordered_map<std::type_index, TFcFramedProperties> m;
  return m;
}

}  // namespace

void RegisterFcFramedProperties(const std::type_info& Class, TFcFramedProperties Properties) {
  FramedTables()[std::type_index(Class)] = std::move(Properties);
}

TFcFrameController::TFcFrameController(TComponent* AOwner) : TComponent(AOwner) {}

TFcFrameController::~TFcFrameController() = default;

void TFcFrameController::UpdateFramedControl(TControl* Control, TFcFrameControllerProperty Property) {
  if (!Control) return;
  auto& tables = FramedTables();
  auto it = tables.find(std::type_index(typeid(*Control)));
  const TFcFramedProperties* props = it == tables.end() ? nullptr : &it->second;
  const TFcFrameControllerNotifications n =
      props && props->Notifications ? props->Notifications(Control) : fcnAll;
  if (auto* listener = dynamic_cast<IFrameSettingsListener*>(Control)) {
    listener->FrameSettingsChanged();
    return;
  }
  if (!props) return;
  auto set = [&](TFcFrameControllerProperty P, const char* Name, int64_t Value) {
    if (!HasNotification(n, P)) return;
    auto s = props->Setters.find(Name);
    if (s != props->Setters.end() && s->second) s->second(Control, Value);
  };
  auto one = [&](TFcFrameControllerProperty P) {
    switch (P) {
      case fcpColor: set(P, "Color", FColor); break;
      case fcpFocusColor: set(P, "FocusColor", FFocusColor); break;
      case fcpDisabledColor: set(P, "DisabledColor", FDisabledColor); break;
      case fcpReadOnlyColor: set(P, "ReadOnlyColor", FReadOnlyColor); break;
      case fcpReadOnlyColorOnFocus: set(P, "ReadOnlyColorOnFocus", FReadOnlyColorOnFocus); break;
      case fcpParentColor: set(P, "ParentColor", FParentColor); break;
      case fcpFlatButtonColor: set(P, "FlatButtonColor", FFlatButtonColor); break;
      case fcpFlatButtons: set(P, "FlatButtons", FFlatButtons); break;
      case fcpFrameColor: set(P, "FrameColor", FFrameColor); break;
      case fcpFrameHotColor: set(P, "FrameHotColor", FFrameHotColor); break;
      case fcpFrameHotTrack: set(P, "FrameHotTrack", FFrameHotTrack); break;
      case fcpFrameHotStyle: set(P, "FrameHotStyle", FFrameHotStyle); break;
      case fcpFrameSides: set(P, "FrameSides", FFrameSides); break;
      case fcpFrameStyle: set(P, "FrameStyle", FFrameStyle); break;
      case fcpFrameVisible: set(P, "FrameVisible", FFrameVisible); break;
      case fcpFramingPreference: set(P, "FramingPreference", FFramingPreference); break;
      case fcpAll: break;
    }
  };
  if (Property != fcpAll) {
    one(Property);
    return;
  }
  one(fcpParentColor);
  if (!FParentColor) one(fcpColor);
  for (TFcFrameControllerProperty p :
       {fcpDisabledColor, fcpReadOnlyColor, fcpReadOnlyColorOnFocus, fcpFocusColor, fcpFlatButtonColor,
        fcpFlatButtons, fcpFrameColor, fcpFrameHotColor, fcpFrameHotTrack, fcpFrameHotStyle, fcpFrameSides,
        fcpFrameStyle, fcpFrameVisible, fcpFramingPreference})
    one(p);
}

void TFcFrameController::UpdateFramedControls(TFcFrameControllerProperty Property) {
  if (FUpdateCount > 0 || !FControls) return;
  // A control may leave the list while it is updated; walk a copy.
  const std::vector<TControl*> list = *FControls;
  for (TControl* c : list) UpdateFramedControl(c, Property);
}

void TFcFrameController::AddFramedControl(TControl* Control) {
  if (!Control) return;
  if (!FControls) FControls = std::make_unique<std::vector<TControl*>>();
  if (std::find(FControls->begin(), FControls->end(), Control) != FControls->end()) return;
  FControls->push_back(Control);
  // The controller hears when the control goes, even without its own help.
  FreeNotification(Control);
  UpdateFramedControl(Control, fcpAll);
}

void TFcFrameController::RemoveFramedControl(TControl* Control) {
  if (!FControls) return;
  FControls->erase(std::remove(FControls->begin(), FControls->end(), Control), FControls->end());
  if (FControls->empty()) FControls.reset();
}

void TFcFrameController::EndFrameUpdate() {
  --FUpdateCount;
  if (FUpdateCount <= 0) {
    FUpdateCount = 0;
    UpdateFramedControls(fcpAll);
  }
}

void TFcFrameController::Assign(TPersistent* Source) {
  auto* s = dynamic_cast<TFcFrameController*>(Source);
  if (!s) {
    TComponent::Assign(Source);
    return;
  }
  BeginFrameUpdate();
  FColor = s->FColor;
  FDisabledColor = s->FDisabledColor;
  FFlatButtonColor = s->FFlatButtonColor;
  FFlatButtons = s->FFlatButtons;
  FFocusColor = s->FFocusColor;
  FFrameColor = s->FFrameColor;
  FFrameHotColor = s->FFrameHotColor;
  FFrameHotStyle = s->FFrameHotStyle;
  FFrameHotTrack = s->FFrameHotTrack;
  FFrameSides = s->FFrameSides;
  FFrameStyle = s->FFrameStyle;
  FFrameVisible = s->FFrameVisible;
  FFramingPreference = s->FFramingPreference;
  FParentColor = s->FParentColor;
  FReadOnlyColor = s->FReadOnlyColor;
  FReadOnlyColorOnFocus = s->FReadOnlyColorOnFocus;
  EndFrameUpdate();
}

void TFcFrameController::Loaded() { UpdateFramedControls(fcpAll); }

void TFcFrameController::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation != opRemove) return;
  if (AComponent == FRegIniFile) FRegIniFile = nullptr;
  // Compared as components: a control being destroyed is no TControl any more.
  if (FControls) {
    auto same = [&](TControl* c) { return static_cast<TComponent*>(c) == AComponent; };
    FControls->erase(std::remove_if(FControls->begin(), FControls->end(), same), FControls->end());
    if (FControls->empty()) FControls.reset();
  }
}

void TFcFrameController::SetColor(TColor Value) {
  if (FColor == Value) return;
  if (FColor == FFocusColor) FFocusColor = Value;
  FColor = Value;
  FParentColor = false;
  UpdateFramedControls(fcpColor);
}

void TFcFrameController::SetParentColor(bool Value) {
  if (FParentColor == Value) return;
  FParentColor = Value;
  UpdateFramedControls(fcpParentColor);
  if (!Value) UpdateFramedControls(fcpColor);
}

#define FC_SETTER(Name, Type, Field, Prop)                   \
  void TFcFrameController::Set##Name(Type Value) {           \
    if (Field == Value) return;                              \
    Field = Value;                                           \
    UpdateFramedControls(Prop);                              \
  }
FC_SETTER(FlatButtonColor, TColor, FFlatButtonColor, fcpFlatButtonColor)
FC_SETTER(FlatButtons, bool, FFlatButtons, fcpFlatButtons)
FC_SETTER(DisabledColor, TColor, FDisabledColor, fcpDisabledColor)
FC_SETTER(ReadOnlyColor, TColor, FReadOnlyColor, fcpReadOnlyColor)
FC_SETTER(ReadOnlyColorOnFocus, bool, FReadOnlyColorOnFocus, fcpReadOnlyColorOnFocus)
FC_SETTER(FocusColor, TColor, FFocusColor, fcpFocusColor)
FC_SETTER(FrameColor, TColor, FFrameColor, fcpFrameColor)
FC_SETTER(FrameHotColor, TColor, FFrameHotColor, fcpFrameHotColor)
FC_SETTER(FrameHotStyle, TFrameStyle, FFrameHotStyle, fcpFrameHotStyle)
FC_SETTER(FrameSides, TSides, FFrameSides, fcpFrameSides)
FC_SETTER(FrameStyle, TFrameStyle, FFrameStyle, fcpFrameStyle)
FC_SETTER(FrameVisible, bool, FFrameVisible, fcpFrameVisible)
FC_SETTER(FramingPreference, TFramingPreference, FFramingPreference, fcpFramingPreference)
#undef FC_SETTER

void TFcFrameController::SetFrameHotTrack(bool Value) {
  if (FFrameHotTrack == Value) return;
  FFrameHotTrack = Value;
  if (Value) {
    SetFrameVisible(true);
    if (!ComponentState().Contains(csLoading)) FFrameSides = sdAll;
  }
  UpdateFramedControls(fcpFrameHotTrack);
}

void TFcFrameController::SetRegIniFile(TFcRegIniFile* Value) {
  if (FRegIniFile == Value) return;
  FRegIniFile = Value;
  if (Value) Value->FreeNotification(this);
}

// ---------------------------------------------------------------------------

#define FC_INI_SETTER(Name, Type, Field)                \
  void TFcRegIniFile::Set##Name(Type Value) {           \
    if (Field == Value) return;                         \
    Field = Value;                                      \
    FReopen = true;                                     \
  }
FC_INI_SETTER(Path, const WideString&, FPath)
FC_INI_SETTER(PathType, TFcPathType, FPathType)
FC_INI_SETTER(RegKey, TFcRegKey, FRegKey)
FC_INI_SETTER(RegAccess, TFcRegAccess, FRegAccess)
FC_INI_SETTER(SpecialFolder, TFcSpecialFolder, FSpecialFolder)
FC_INI_SETTER(FileEncoding, TFcIniFileEncoding, FFileEncoding)
#undef FC_INI_SETTER

// ---------------------------------------------------------------------------

TFcBlinkingControlsList* BlinkingControls = nullptr;

TFcBlinkingControlsList::TFcBlinkingControlsList() : FTimer(std::make_unique<TTimer>(nullptr)) {
  FTimer->SetInterval(FIntervalOff);
  FTimer->OnTimer = [this](TObject* Sender) { OnBlinkTimer(Sender); };
  FTimer->SetEnabled(true);
}

TFcBlinkingControlsList::~TFcBlinkingControlsList() {
  FTimer->SetEnabled(false);
  FTimer->OnTimer = nullptr;
}

void TFcBlinkingControlsList::AddBlinkingControl(TControl* Control) {
  if (Control && std::find(FControls.begin(), FControls.end(), Control) == FControls.end())
    FControls.push_back(Control);
}

void TFcBlinkingControlsList::RemoveBlinkingControl(TControl* Control) {
  FControls.erase(std::remove(FControls.begin(), FControls.end(), Control), FControls.end());
}

void TFcBlinkingControlsList::OnBlinkTimer(TObject*) {
  // The blink colour shows for IntervalOn, the normal colour for IntervalOff.
  if (FPhase == 1) {
    FPhase = 0;
    FTimer->SetInterval(FIntervalOff);
  } else {
    FPhase = 1;
    FTimer->SetInterval(FIntervalOn);
  }
  const std::vector<TControl*> list = FControls;
  for (TControl* c : list)
    if (c->Perform(FC_BLINK_QUERY, 0, 0) == 1) c->Perform(FC_BLINK_PHASE, FPhase, 0);
}

void ReleaseBlinkListIfEmpty() {
  if (BlinkingControls && BlinkingControls->BlinkControlCount() == 0) {
    delete BlinkingControls;
    BlinkingControls = nullptr;
  }
}

// ---------------------------------------------------------------------------

const TFcColorRec FcDefaultColor{u"Default", 0};
const TFcColorRec FcCustomColor{u"Custom", 0};
const TFcColorRec FcStandardColors[16] = {
    {u"Black", 0x000000},  {u"Maroon", 0x000080}, {u"Green", 0x008000},  {u"Olive", 0x008080},
    {u"Navy", 0x800000},   {u"Purple", 0x800080}, {u"Teal", 0x808000},   {u"Gray", 0x808080},
    {u"Silver", 0xC0C0C0}, {u"Red", 0x0000FF},    {u"Lime", 0x00FF00},   {u"Yellow", 0x00FFFF},
    {u"Blue", 0xFF0000},   {u"Fuchsia", 0xFF00FF}, {u"Aqua", 0xFFFF00},  {u"White", 0xFFFFFF},
};
const TFcColorRec FcSystemColors[25] = {
    {u"ScrollBar", SysColor(0)},        {u"Background", SysColor(1)},     {u"ActiveCaption", SysColor(2)},
    {u"InactiveCaption", SysColor(3)},  {u"Menu", SysColor(4)},           {u"Window", SysColor(5)},
    {u"WindowFrame", SysColor(6)},      {u"MenuText", SysColor(7)},       {u"WindowText", SysColor(8)},
    {u"CaptionText", SysColor(9)},      {u"ActiveBorder", SysColor(10)},  {u"InactiveBorder", SysColor(11)},
    {u"AppWorkSpace", SysColor(12)},    {u"Highlight", SysColor(13)},     {u"HighlightText", SysColor(14)},
    {u"BtnFace", SysColor(15)},         {u"BtnShadow", SysColor(16)},     {u"GrayText", SysColor(17)},
    {u"BtnText", SysColor(18)},         {u"InactiveCaptionText", SysColor(19)},
    {u"BtnHighlight", SysColor(20)},    {u"3DDkShadow", SysColor(21)},    {u"3DLight", SysColor(22)},
    {u"InfoText", SysColor(23)},        {u"InfoBk", SysColor(24)},
};
const WideString FcEmptyColorName;

const std::vector<TColorData>& FcColorData() {
  static const std::vector<TColorData> table = [] {
    std::vector<TColorData> t = {
        {0x000000, u"Black"},        {0x003399, u"Brown"},         {0x003333, u"Olive Green"},
        {0x003300, u"Dark Green"},   {0x663300, u"Dark Teal"},     {0x800000, u"Dark Blue"},
        {0x993333, u"Indigo"},       {0x333333, u"Gray 80%"},      {0x000080, u"Dark Red"},
        {0x0066FF, u"Orange"},       {0x008080, u"Dark Yellow"},   {0x008000, u"Green"},
        {0x808000, u"Teal"},         {0xFF0000, u"Blue"},          {0x996666, u"Blue Gray"},
        {0x808080, u"Gray 50%"},     {0x0000FF, u"Red"},           {0x0099FF, u"Light Orange"},
        {0x00CC99, u"Lime"},         {0x669933, u"Sea Green"},     {0x999933, u"Aqua"},
        {0xFF6633, u"Light Blue"},   {0x800080, u"Violet"},        {0x999999, u"Gray 40%"},
        {0xFF00FF, u"Pink"},         {0x00CCFF, u"Gold"},          {0x00FFFF, u"Yellow"},
        {0x00FF00, u"Bright Green"}, {0xFFFF00, u"Turquoise"},     {0xFFCC00, u"Sky Blue"},
        {0x663399, u"Plum"},         {0xC0C0C0, u"Gray 25%"},      {0xCC99FF, u"Rose"},
        {0x99CCFF, u"Tan"},          {0x99FFFF, u"Light Yellow"},  {0xCCFFCC, u"Light Green"},
        {0xFFFFCC, u"Light Turquoise"}, {0xFFCC99, u"Pale Blue"},  {0xFF99CC, u"Lavender"},
        {0xFFFFFF, u"White"},
    };
    const char16_t* names[30] = {
        u"Scroll Bar",       u"Background",    u"Active Caption",  u"Inactive Caption",
        u"Menu",             u"Window",        u"Window Frame",    u"Menu Text",
        u"Window Text",      u"Caption Text",  u"Active Border",   u"Inactive Border",
        u"App WorkSpace",    u"Highlight",     u"Highlight Text",  u"Button Face",
        u"Button Shadow",    u"Gray Text",     u"Button Text",     u"Inactive Caption Text",
        u"Button Highlight", u"3D Dark Shadow", u"3D Light",       u"Info Text",
        u"Info Background",  u"Hot Light",     u"Gradient Active Caption", u"Gradient Inactive Caption",
        u"Menu Highlight",   u"Menu Bar",
    };
    // System colour 25 has no colour of its own and is left out.
    for (Integer i = 0; i < 30; ++i) t.push_back({SysColor(i < 25 ? i : i + 1), names[i]});
    return t;
  }();
  return table;
}

const WideString FcCalculatorKeys[19] = {
    u"0", u"1", u"2", u"3", u"4", u"5", u"6", u"7", u"8", u"9",
    u".", u"+", u"-", u"*", u"\u00F7", u"C", u"=", u"", u"",
};

// ---------------------------------------------------------------------------
// The framed controls' side of the tie

void TFcFrameLink::Attach(TControl* Control, TFcFrameController* Value) {
  if (FController == Value) return;
  if (FController) FController->RemoveFramedControl(Control);
  FController = Value;
  if (Value) {
    Value->AddFramedControl(Control);
    Value->FreeNotification(Control);
  }
}

void TFcFrameLink::Detach(TControl* Control) {
  if (FController) FController->RemoveFramedControl(Control);
  FController = nullptr;
}

void TFcFrameLink::Forget(TComponent* AComponent, TOperation Operation) {
  if (Operation == opRemove && AComponent == FController) FController = nullptr;
}

bool TFcFrameLink::ApplyCommon(TControl* Control, const std::function<void(TFrameStyleEx)>& SetStyle,
                               TColor& FlatColor, Integer& FlatAdjustment,
                               const std::function<void(TColor)>& SetColor) const {
  TFcFrameController* fc = FController;
  if (!fc || !fc->FrameVisible()) return false;
  if (Has(fcpFrameStyle)) SetStyle(fc->FrameStyle());
  if (Has(fcpFrameColor)) {
    FlatColor = fc->FrameColor();
    FlatAdjustment = 0;
  }
  if (Has(fcpColor)) SetColor(fc->Color());
  if (Has(fcpParentColor)) Control->SetParentColor(fc->ParentColor());
  return true;
}

void SetFcOpaque(TControl* Control, bool Transparent) {
  TControlStyle st = Control->ControlStyle();
  if (Transparent)
    st.Exclude(csOpaque);
  else
    st.Include(csOpaque);
  Control->SetControlStyle(st);
}
