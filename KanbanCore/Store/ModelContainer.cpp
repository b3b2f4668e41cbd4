#include "KanbanCore/ModelContainer.h"

#include "Store/ContainerConnection.h"

#include <utility>

namespace taskory {

ModelContainer::ModelContainer(std::unique_ptr<Connection> connection)
    : connection_(std::move(connection)) {}

ModelContainer::~ModelContainer() = default;

} // namespace taskory
