#pragma once

#include <cstdint>

// Fixed size limits shared with the planner applications.
namespace taskory::PlannerLimits {

// Enforced by the checklist operations of the tools.
inline constexpr int64_t checklistItemsPerCard = 20;
// Enforced by the applications only; this program creates no attachments.
inline constexpr int64_t attachmentsPerCard = 15;
// Every plan gets exactly this many labels, one per palette colour.
inline constexpr int64_t labelsPerPlan = 25;
inline constexpr int64_t bucketsPerPlan = 200;

} // namespace taskory::PlannerLimits
