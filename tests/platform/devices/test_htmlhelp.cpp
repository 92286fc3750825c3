// The help engine over a help folder: which page or popup text each command
// reaches, help folders named like compiled help files, popup topics files,
// and a browser that is or is not there.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/base/sysutils.h"
#include "platform/devices/htmlhelp.h"
#include "platform/ui/forms.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

namespace htmlhelp_tests {
namespace {

const char* const Topics = ".topic 10\nCrops the picture\nto the selection.\n\n.topic 20\r\nRotates it.\r\n"
                           ".topic x\nnot a topic\n.topic   30  \nThirty\n";

// A help folder "app" beside a folder "book.chm" that is named like the file.
struct THelpFolder {
  gt_test::TempDir Dir{"helpfolder"};
  THelpFolder() {
    std::filesystem::create_directories(Dir.File("app"));
    std::filesystem::create_directories(Dir.File("book.chm"));
    std::ofstream(Dir.File("app/index.html")) << "<p>contents</p>";
    std::ofstream(Dir.File("app/crop.html")) << "<p>crop</p>";
    std::ofstream(Dir.File("app/context.txt")) << "42 crop.html\n43 missing.html\n44 ../../etc/passwd\n";
    std::ofstream(Dir.File("app/CSHelp.txt"), std::ios::binary) << Topics;
    std::ofstream(Dir.File("book.chm/index.html")) << "<p>book</p>";
  }
  WideString W(const std::string& Name) const { return Utf8ToWide(Dir.File(Name)); }
};

// Records what reaches the desktop and answers as told.
struct TRecordingPresenter {
  std::vector<std::string> Pages;
  std::vector<std::pair<TPoint, std::string>> Popups;
  bool Answer = true;
  TRecordingPresenter() {
    THelpPresenter P;
    P.OpenPage = [this](const WideString& Page) {
      Pages.push_back(WideToUtf8(Page));
      return Answer;
    };
    P.ShowPopup = [this](TPoint At, const WideString& Text) {
      Popups.emplace_back(At, WideToUtf8(Text));
      return Answer;
    };
    GtSetHelpPresenter(P);
  }
  ~TRecordingPresenter() { GtSetHelpPresenter(THelpPresenter()); }
};

TEST(HtmlHelpTopics, TopicsFileLookup) {
  const struct {
    UINT Id;
    bool Found;
    const char* Text;
  } Cases[] = {{10, true, "Crops the picture\nto the selection."},
               {20, true, "Rotates it."},
               {30, true, "Thirty"},
               {11, false, ""},
               {0, false, ""}};
  for (const auto& C : Cases) {
    WideString Text;
    EXPECT_EQ(GtFindPopupTopic(Topics, C.Id, Text), C.Found) << C.Id;
    EXPECT_EQ(WideToUtf8(Text), C.Text) << C.Id;
  }
}

TEST(HtmlHelpFiles, HelpFileNamesMapOntoFolders) {
  THelpFolder H;
  const struct {
    std::string Name;
    bool Found;
    std::string Folder, Inner;
  } Cases[] = {
      {"app.chm", true, "app", ""},
      {"app", true, "app", ""},
      {"book.chm", true, "book.chm", ""},
      {"app.chm::/CSHelp.txt", true, "app", "CSHelp.txt"},
      {"none.chm", false, "", ""},
      {"app/index.html", false, "", ""},
  };
  for (const auto& C : Cases) {
    WideString Folder, Inner;
    EXPECT_EQ(GtResolveHelpFile(H.W(C.Name), Folder, Inner), C.Found) << C.Name;
    if (!C.Found) continue;
    EXPECT_EQ(WideToUtf8(Folder), H.Dir.File(C.Folder)) << C.Name;
    EXPECT_EQ(WideToUtf8(Inner), C.Inner) << C.Name;
  }
  WideString Folder, Inner;
  EXPECT_FALSE(GtResolveHelpFile(WideString(), Folder, Inner));
  EXPECT_FALSE(GtResolveHelpFile(u"::/CSHelp.txt", Folder, Inner));
}

TEST(HtmlHelpCommands, PagesAndPopupsReachTheDesktop) {
  THelpFolder H;
  TRecordingPresenter R;
  const struct {
    std::string File;
    UINT Command;
    ULONG_PTR Data;
    const char* Page;  // null: nothing opened, null result
  } Pages[] = {
      {"app.chm", HH_DISPLAY_TOC, 0, "app/index.html"},
      {"app.chm", HH_DISPLAY_INDEX, 7, "app/index.html"},
      {"book.chm", HH_DISPLAY_TOC, 0, "book.chm/index.html"},
      {"app.chm", HH_HELP_CONTEXT, 42, "app/crop.html"},
      {"app.chm", HH_HELP_CONTEXT, 43, nullptr},  // mapped to a page that is not there
      {"app.chm", HH_HELP_CONTEXT, 44, nullptr},  // pages stay inside the folder
      {"app.chm", HH_HELP_CONTEXT, 45, nullptr},
      {"book.chm", HH_HELP_CONTEXT, 42, nullptr},  // no map
      {"none.chm", HH_DISPLAY_TOC, 0, nullptr},
      {"", HH_CLOSE_ALL, 0, nullptr},
      {"app.chm", 0x33, 0, nullptr},
  };
  for (const auto& C : Pages) {
    R.Pages.clear();
    const HWND Result = HtmlHelp(nullptr, C.File.empty() ? WideString() : H.W(C.File), C.Command, C.Data);
    EXPECT_EQ(Result != nullptr, C.Page != nullptr) << C.File << " " << C.Command << " " << C.Data;
    if (C.Page) EXPECT_EQ(R.Pages, std::vector<std::string>{H.Dir.File(C.Page)}) << C.File << " " << C.Command;
    else EXPECT_TRUE(R.Pages.empty()) << C.File << " " << C.Command << " " << C.Data;
  }

  const struct {
    std::string File;
    UINT Id;
    const char16_t* Text;
    const char* Shown;  // null: nothing shown, null result
  } Popups[] = {
      {"app.chm::/CSHelp.txt", 20, nullptr, "Rotates it."},
      {"app", 10, nullptr, "Crops the picture\nto the selection."},  // a folder holds CSHelp.txt
      {"app/CSHelp.txt", 30, nullptr, "Thirty"},
      {"app.chm::/CSHelp.txt", 99, nullptr, nullptr},
      {"app.chm::/Other.txt", 10, nullptr, nullptr},
      {"app.chm::/../app/CSHelp.txt", 10, nullptr, nullptr},
      {"", 0, u"Own text", "Own text"},
      {"", 0, u"", nullptr},
  };
  for (const auto& C : Popups) {
    R.Popups.clear();
    HH_POPUP P;
    P.cbStruct = 52;
    P.idString = C.Id;
    P.pszText = C.Text;
    P.pt = TPoint(-3, 9);
    const HWND Result = HtmlHelp(nullptr, C.File.empty() ? WideString() : H.W(C.File), HH_DISPLAY_TEXT_POPUP,
                                 reinterpret_cast<ULONG_PTR>(&P));
    EXPECT_EQ(Result != nullptr, C.Shown != nullptr) << C.File << " " << C.Id;
    if (!C.Shown) {
      EXPECT_TRUE(R.Popups.empty()) << C.File << " " << C.Id;
      continue;
    }
    ASSERT_EQ(R.Popups.size(), 1u) << C.File << " " << C.Id;
    EXPECT_EQ(R.Popups[0].first, TPoint(-3, 9));
    EXPECT_EQ(R.Popups[0].second, C.Shown);
  }
  EXPECT_EQ(HtmlHelp(nullptr, H.W("app"), HH_DISPLAY_TEXT_POPUP, 0), nullptr);

  // A desktop that shows nothing makes every call answer null.
  R.Answer = false;
  EXPECT_EQ(HtmlHelp(nullptr, H.W("app.chm"), HH_DISPLAY_TOC, 0), nullptr);
  EXPECT_FALSE(WinHelpW(nullptr, H.W("app.hlp"), 1, 0));
}

// Sets an environment variable for one scope.
class TEnv {
 public:
  TEnv(const char* Name, const char* Value) : FName(Name) {
    const char* Old = std::getenv(Name);
    if (Old) FOld = Old;
    FHad = Old != nullptr;
    if (Value) setenv(Name, Value, 1);
    else unsetenv(Name);
  }
  ~TEnv() {
    if (FHad) setenv(FName.c_str(), FOld.c_str(), 1);
    else unsetenv(FName.c_str());
  }

 private:
  std::string FName, FOld;
  bool FHad = false;
};

TEST(HtmlHelpBrowser, PagesGoToTheBrowserWhenThereIsOne) {
  THelpFolder H;
  const std::string Opener = H.Dir.File("opener.sh");
  const std::string Seen = H.Dir.File("seen.txt");
  std::ofstream(Opener) << "#!/bin/sh\nprintf '%s' \"$1\" > '" << Seen << ".part' && mv '" << Seen << ".part' '"
                        << Seen << "'\n";
  ASSERT_EQ(::chmod(Opener.c_str(), 0755), 0);
  {
    TEnv Browser("GT_HELP_BROWSER", Opener.c_str());
    EXPECT_NE(HtmlHelp(nullptr, H.W("app.chm"), HH_HELP_CONTEXT, 42), nullptr);
    ASSERT_TRUE(gt_test::WaitUntil([&] { return std::filesystem::exists(Seen); }));
    std::ifstream In(Seen);
    std::string Page((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
    EXPECT_EQ(Page, H.Dir.File("app/crop.html"));
  }
  {
    // No browser at all: false, and nothing raises.
    TEnv Browser("GT_HELP_BROWSER", H.Dir.File("no-such-opener").c_str());
    EXPECT_EQ(HtmlHelp(nullptr, H.W("app.chm"), HH_DISPLAY_TOC, 0), nullptr);
  }
  {
    TEnv Browser("GT_HELP_BROWSER", nullptr);
    TEnv Path("PATH", H.Dir.Path.c_str());
    EXPECT_EQ(HtmlHelp(nullptr, H.W("app.chm"), HH_DISPLAY_TOC, 0), nullptr);
  }
}

TEST(HtmlHelpBrowser, PopupTextShowsInTheHintWindow) {
  ASSERT_NE(Application->Handle(), nullptr);
  HH_POPUP P;
  P.pszText = u"Undo the last step";
  P.pt = TPoint(40, 50);
  EXPECT_NE(HtmlHelp(nullptr, WideString(), HH_DISPLAY_TEXT_POPUP, reinterpret_cast<ULONG_PTR>(&P)), nullptr);
  Application->HideHint();
}

}  // namespace
}  // namespace htmlhelp_tests
