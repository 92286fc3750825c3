#include "platform/graphics/guiapp.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <cstdlib>
#include <mutex>

void GtEnsureGuiApplication() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (QCoreApplication::instance()) return;
    if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
      setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int argc = 1;
    static char name[] = "gimro-tal";
    static char* argv[] = {name, nullptr};
    // Kept for the whole run: Qt's font caches must not outlive their application.
    static QGuiApplication* app = new QGuiApplication(argc, argv);
    (void)app;
  });
}
