#pragma once
// Files written whole or not at all: the export, plans and fleet reports.
#include <QString>

#include <string>

namespace zadari {

/// Writes `bytes` to `path`, replacing it. On failure returns false with the platform's error
/// text in `error` and leaves no partial file beside it. An existing writable file in a folder
/// that takes no new files is written in place.
bool WriteFileAtomically(const QString& path, const std::string& bytes, QString* error);

} // namespace zadari
