#include "KanbanCore/StoreSettings.h"

#include "KanbanCore/KanbanStore.h"
#include "KanbanCore/PrivateFiles.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <limits>
#include <string>
#include <unistd.h>
#include <vector>

namespace taskory::KanbanStore {

namespace fs = std::filesystem;

namespace {

std::optional<nlohmann::json> readSettingsObject(const fs::path &file) {
  if (file.empty())
    return std::nullopt;
  const auto content = files::readRegularFile(file);
  if (!content)
    return std::nullopt;
  nlohmann::json json =
      nlohmann::json::parse(*content, nullptr, /*allow_exceptions=*/false);
  if (json.is_discarded() || !json.is_object())
    return std::nullopt;
  return json;
}

} // namespace

int64_t Settings::integer(std::string_view key) const {
  auto object = readSettingsObject(file_);
  if (!object)
    return 0;
  auto it = object->find(key);
  if (it == object->end())
    return 0;
  if (it->is_number_unsigned()) {
    auto value = it->get<uint64_t>();
    return value > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())
               ? std::numeric_limits<int64_t>::max()
               : static_cast<int64_t>(value);
  }
  if (it->is_number_integer())
    return it->get<int64_t>();
  return 0;
}

void Settings::setInteger(std::string_view key, int64_t value) const {
  // Like the platform's settings store, a write that cannot be done is
  // dropped without a message: settings are advisory.
  if (file_.empty())
    return;
  nlohmann::json object =
      readSettingsObject(file_).value_or(nlohmann::json::object());
  object[std::string(key)] = value;
  std::string text =
      object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  fs::path dir = file_.parent_path();
  if (files::createPrivateDirectories(dir) != 0)
    return;
  // Write a temporary file next to it and rename it over the old one, so a
  // reader never sees half a file. mkstemp creates it with mode 0600.
  std::string pattern = (dir.empty() ? fs::path(".") : dir).string() + "/." +
                        file_.filename().string() + ".XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  int fd = ::mkstemp(name.data());
  if (fd < 0)
    return;
  bool ok = ::write(fd, text.data(), text.size()) ==
                static_cast<ssize_t>(text.size()) &&
            ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  if (!ok || std::rename(name.data(), file_.c_str()) != 0)
    ::unlink(name.data());
}

std::optional<Settings> groupContainerDefaults() {
  auto container = groupContainer();
  if (!container)
    return std::nullopt;
  return Settings(*container / "settings.json");
}

Settings sharedDefaults() {
  if (usesGroupContainerPath())
    if (auto settings = groupContainerDefaults())
      return *settings;
  std::optional<fs::path> configHome =
      files::absoluteVariable("XDG_CONFIG_HOME");
  if (!configHome)
    if (auto home = files::homeDirectory())
      configHome = *home / ".config";
  if (!configHome)
    return Settings(fs::path()); // holds nothing, keeps nothing
  return Settings(*configHome / (std::string(appGroupID()) + ".json"));
}

} // namespace taskory::KanbanStore
