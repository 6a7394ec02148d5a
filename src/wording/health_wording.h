#pragma once

#include "workflows/health_check.h"

#include <QString>

#include <vector>

// What the user reads for a problem of the health check.
QString healthProblemText(const HealthProblem& problem);
// “title”（id）, or the id alone, joined by “、”.
QString openConversationsText(const std::vector<OpenConversation>& conversations);
