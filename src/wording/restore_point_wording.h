#pragma once

#include "storage/restore_point.h"

#include <QString>

// "登陆与配置文件、对话索引和 12 个对话文件"
QString restorePointContents(const RestorePoint& point);
// One line for a list: "2026-12-06 19:59:33  切到 TEVRUN API  登陆与配置文件  24.0 KB"
QString restorePointSummary(const RestorePoint& point);
