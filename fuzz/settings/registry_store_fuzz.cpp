// Feeds arbitrary bytes to the registry store's parser, reads every value kind
// back and loads the settings from it (types, ranges and times of day checked),
// as a start-up with a damaged settings file would.
#include <cstddef>
#include <cstdint>
#include <string>

#include "settings/registry_store.h"
#include "settings/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  hv::RegistryStore store("/nonexistent-halvane-fuzz");
  if (!store.Parse(std::string(reinterpret_cast<const char*>(data), size))) return 0;
  for (const char* key : {hv::kSettingsKeyPath, hv::kHistoryKeyPath, "K"}) {
    for (const char* name : {"SonoThreshold", "FTPHostName", "AudioVolume", "x"}) {
      (void)store.ReadNumber(key, name);
      (void)store.ReadText(key, name, 128);
    }
  }
  hv::LoadSettingsFromStore(store);
  store.WriteText(hv::kHistoryKeyPath, "OutputDirectory", "/tmp");
  return 0;
}
