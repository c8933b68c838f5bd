// The three options of the main window kept in the current user's registry between runs,
// validated by a version value.
#pragma once

#include <string>

namespace ravel {

class Form_Main;
class Registry32;

// Registry layout beneath HKEY_CURRENT_USER.
extern const char* const kProductKeyPath;   // "Software\Norquill\Ravelmend"
extern const char* const kSettingsKeyPath;  // the product key + "\Settings"
extern const char* const kSettingsVersion;  // "1.2.0"

// False when the product key holds the expected version (the stored options are valid);
// true when it had to be created anew with the defaults.
bool EnsureSettingsKey(Registry32& reg);
// The stored options into the main window's check boxes, unless the key was created anew.
void LoadSettingsAtStart(Form_Main& main);
// The check boxes into the registry, unless the key had to be created anew.
void SaveSettings(Form_Main& main);

}  // namespace ravel
