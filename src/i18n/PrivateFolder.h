#pragma once
// Private per-user, per-process folders and their safe removal.
#include <QString>

namespace zadari {

/// Where private folders are made: $XDG_RUNTIME_DIR when it is a folder of this user that no one
/// else may enter, else $TMPDIR, else /tmp.
QString PrivateFolderBase();

/// The temporary folder: $TMPDIR when it is a folder, else /tmp.
QString TemporaryFolderBase();

/// Creates base/<prefix>.<pid>.XXXXXX with mode 0700 and returns its path (empty on failure).
QString CreatePrivateFolder(const QString& base, const QString& prefix);

/// Removes the folders base/<prefix>.<pid>.XXXXXX that belong to this user and whose process is
/// gone (left behind by an instance that was killed). Returns how many were removed.
int RemoveStaleFolders(const QString& base, const QString& prefix);

/// Removes a folder and everything in it without ever following a symbolic link: a link is
/// removed as a link, whatever it points to. False when something could not be removed.
bool RemoveTreeNoFollow(const QString& path);

} // namespace zadari
