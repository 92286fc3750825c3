// Desktop event sounds ("menu-popup", "menu-click") of the freedesktop sound
// theme, played through the desktop's event-sound library when it is
// installed; without it there are no sounds and no event counts as configured.
#pragma once

#include <string>
#include <vector>

// Whether the sound theme has a file for the event and a player is available.
bool GtSoundEventConfigured(const std::string& EventId);
// Starts the event's sound and returns at once; nothing without a player.
void GtPlaySoundEvent(const std::string& EventId);

// The theme lookup on its own: whether one of the data folders holds the
// event in the default theme ("sounds/freedesktop/stereo/<event>.oga" and the
// other file kinds the theme format allows).
bool GtSoundThemeHasEvent(const std::string& EventId, const std::vector<std::string>& DataDirs);
// The data folders of the desktop: XDG_DATA_HOME, then XDG_DATA_DIRS.
std::vector<std::string> GtDesktopDataDirs();
