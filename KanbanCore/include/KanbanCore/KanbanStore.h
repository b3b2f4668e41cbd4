#pragma once

// Where the store lives, how it is opened, and the guard against a store
// recorded by a newer data model: the build's fixed values, the authors and
// the process-wide state here, the rest in the headers included below, so
// that this one include shows the whole of KanbanStore.

#include "KanbanCore/ModelContainer.h"
#include "KanbanCore/StoreLocation.h"
#include "KanbanCore/StoreOpening.h"
#include "KanbanCore/StoreSettings.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace taskory::KanbanStore {

inline constexpr int64_t schemaVersion = 1;
inline constexpr bool hasCloudKitProvisioning = true;
inline constexpr bool isUsingScratchStore = false;
std::string_view appGroupID();
std::string_view cloudKitContainerID();
std::string_view installScriptURL();

namespace Author {
inline constexpr std::string_view app = "app";
inline constexpr std::string_view mcp = "mcp";
inline constexpr std::string_view widget = "widget";
inline constexpr std::string_view cloudKitImport =
    "NSCloudKitMirroringDelegate.import";
bool isForeignProcess(std::string_view author);
} // namespace Author

// Process-wide values, touched only from the main thread.
bool usesGroupContainerPath();
void setUsesGroupContainerPath(bool value);
const std::string &containerMode();
void setContainerMode(std::string mode);

} // namespace taskory::KanbanStore
