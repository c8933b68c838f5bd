#include "settings/Reg_Ravelmend.h"

#include "app/Form_Main.h"
#include "settings/Registry32.h"

namespace ravel {

const char* const kProductKeyPath = "Software\\Norquill\\Ravelmend";
const char* const kSettingsKeyPath = "Software\\Norquill\\Ravelmend\\Settings";
const char* const kSettingsVersion = "1.2.0";

namespace {

// Everything here is silent: no status is shown, none stops the following steps.
constexpr int kSilent = 0;

struct Option {
  const char* name;
  CheckBox Form_Main::*box;
  const char* default_value;
  // A value missing from a key written by an earlier release keeps the box's state.
  bool keep_when_missing = false;
};
const Option kOptions[] = {
    {"Preview", &Form_Main::Check_preview, "1"},
    {"Support_Hidden_Objects", &Form_Main::Check_ShowHiddenObjects, "0"},
    {"Rel_Path", &Form_Main::Check_relpath, "1"},
    // Whether saving a document file keeps the original beside it as NAME.bak.
    {"Keep_Backup", &Form_Main::mnuBackup, "1", true},
};

// Holds SuppressClickEvents for a load or a save, also when it ends early.
class Suppressed {
 public:
  explicit Suppressed(Globals& g) : g_(g) { g_.SuppressClickEvents = true; }
  ~Suppressed() { g_.SuppressClickEvents = false; }
  Suppressed(const Suppressed&) = delete;
  Suppressed& operator=(const Suppressed&) = delete;

 private:
  Globals& g_;
};

}  // namespace

bool EnsureSettingsKey(Registry32& reg) {
  HKey product = 0;
  bool valid = false;
  if (reg.OpenRegistryKey(kHkeyCurrentUser, kProductKeyPath, product, kSilent) == 0) {
    std::string version;
    std::uint32_t type = kRegSz;
    std::string status = reg.ReadRegistryValue(product, "version", version, type, kSilent);
    valid = status == "0" && version == kSettingsVersion;
  }
  reg.CloseRegistryKey(product, kSilent);
  if (valid) return false;

  reg.DeleteRegistryKeyTree(kHkeyCurrentUser, kProductKeyPath, kSilent);
  product = 0;
  reg.CreateRegistryKey(kHkeyCurrentUser, kProductKeyPath, product, kSilent);
  reg.WriteRegistryValue(product, "Version", std::string(kSettingsVersion), kRegSz, kSilent);
  HKey settings = 0;
  reg.CreateRegistryKey(product, "Settings", settings, kSilent);
  for (const Option& o : kOptions)
    reg.WriteRegistryValue(settings, o.name, std::string(o.default_value), kRegSz, kSilent);
  reg.CloseRegistryKey(settings, kSilent);
  reg.CloseRegistryKey(product, kSilent);
  return true;
}

void LoadSettingsAtStart(Form_Main& main) {
  RegistryApi* api = main.Registry();
  if (api == nullptr) return;  // no registry: the design-time states stand
  Registry32 reg(*api, main.Hst);
  if (EnsureSettingsKey(reg)) return;
  Suppressed quiet(main.G);
  HKey settings = 0;
  reg.OpenRegistryKey(kHkeyCurrentUser, kSettingsKeyPath, settings, kSilent);
  for (const Option& o : kOptions) {
    std::string text;
    std::uint32_t type = kRegSz;
    std::string status = reg.ReadRegistryValue(settings, o.name, text, type, kSilent);
    if (status != "0" && o.keep_when_missing) continue;
    (main.*o.box).SetValue(status == "0" && text == "1" ? 1 : 0);
  }
  reg.CloseRegistryKey(settings, kSilent);
}

void SaveSettings(Form_Main& main) {
  RegistryApi* api = main.Registry();
  if (api == nullptr) return;
  Registry32 reg(*api, main.Hst);
  Suppressed quiet(main.G);
  if (EnsureSettingsKey(reg)) return;
  // Created when it is missing under a valid version (opened when it is there): else no
  // save could ever store the options again.
  HKey settings = 0;
  reg.CreateRegistryKey(kHkeyCurrentUser, kSettingsKeyPath, settings, kSilent);
  for (const Option& o : kOptions)
    reg.WriteRegistryValue(settings, o.name, std::string((main.*o.box).Value() == 1 ? "1" : "0"),
                           kRegSz, kSilent);
  reg.CloseRegistryKey(settings, kSilent);
}

}  // namespace ravel
