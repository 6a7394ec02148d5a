#pragma once

// What the engine hands its front ends to show: a saved key, a restore point, a Codex
// process. The front ends take these from here, never from the subsystems that make them.
#include "codexapp/codex_processes.h"
#include "history/history_item.h"
#include "storage/restore_point.h"
