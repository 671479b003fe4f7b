#pragma once
// zadari-cli apply --plan: the re-addressing of many cameras, reached through the apply command.
#include <QStringList>

namespace zadari {

/// Whether the apply command's words name a plan (--plan FILE).
bool IsApplyPlan(const QStringList& args);
/// apply --plan FILE [...]: returns the exit code.
int RunApplyPlan(const QStringList& args);

} // namespace zadari
