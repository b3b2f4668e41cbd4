#pragma once

// Opening the store as a model container, and the guard against a store
// recorded by a newer data model. Part of KanbanStore (KanbanStore.h).

#include "KanbanCore/ModelContainer.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace taskory::KanbanStore {

// Records this build's schemaVersion in the shared settings.
void recordSchemaVersion();
// The German warning when the recorded schema version is newer than ours.
std::optional<std::string> schemaMismatch();

// Opens (creating when new) the store at storeURL(). There is no cloud on this
// platform: cloudSync true records the failed cloud set-up in containerMode
// and opens the local store. Throws StoreError with a description of what is
// wrong (a directory, not SQLite, another application's database, a newer
// layout); never overwrites such a file.
std::unique_ptr<ModelContainer> makeContainer(bool cloudSync);
// The same at an explicit path (tests, benchmarks).
std::unique_ptr<ModelContainer>
makeContainer(const std::filesystem::path &file);
// In-memory store over the same schema; nothing touches the disk.
std::unique_ptr<ModelContainer> makePreviewContainer();

} // namespace taskory::KanbanStore
