#include "KanbanCore/ModelContainer.h"

#include "KanbanCore/Store/Sqlite.h"

#include <utility>

namespace taskory {

ModelContainer::ModelContainer(std::unique_ptr<SqliteDatabase> db)
    : db_(std::move(db)) {}

ModelContainer::~ModelContainer() = default;

sqlite3 *ModelContainer::connection() { return db_->handle(); }

} // namespace taskory
