#pragma once

namespace taskory {

// What a model context may do. A reading context runs in a snapshot that
// never waits for a writer and refuses every change; a writing one takes the
// store's write lock when it begins.
enum class ContextAccess { readOnly, readWrite };

} // namespace taskory
