#pragma once
// Firmware uploads of the upgrade: family 2 posts the file itself (UploadQueryAuth, the account
// in the query), families 3 and 9 go through the family-9 client (UploadViaClient). The checks
// of the file come first; the upload blocks, so the window and the CLI run it in a TUploadJob.
#include "access/HttpUpload.h"

#include <QString>

#include <cstdint>
#include <string>

namespace zadari {

class IT517Series;

/// Which image the user picked: the camera's system firmware or its embedded web UI.
enum class TFirmwareKind { SystemFirmware, WebUi };

/// The camera as the details panel shows it and the account from the credential dialog.
struct TUpgradeTarget {
    std::int32_t family = 0;
    std::string host; ///< IPv4 address, dotted
    int port = 80;    ///< HTTP port
    std::string user;
    std::string password;
};

enum class TUpgradeResult {
    Success, ///< "Upgrade success!"
    BadFile, ///< "The selected file is incorrect.": unreadable, too short or wrong signature
    Failed,  ///< "Upgrade failed!"
};

/// The message key and caption key of a result, and the English text of the message.
const char* UpgradeMessageKey(TUpgradeResult result);
const char* UpgradeCaptionKey(TUpgradeResult result);
const char* UpgradeMessageEnglish(TUpgradeResult result);

/// The file must be readable and at least four bytes long; family 2 also wants "BNEG" at the
/// start of system firmware and BD 9A 0C 44 at the start of a web UI.
bool CheckUpgradeFile(const QString& path, std::int32_t family, TFirmwareKind kind);

/// The family-2 request target: the CGI, the account as given, "&next_url=reboot.htm".
std::string QueryAuthTarget(TFirmwareKind kind, const std::string& user,
                            const std::string& password);

/// The family-2 request for a file: header lines in their order, part head and tail, with the
/// given boundary. The file name parameter is the path made safe for a quoted parameter.
TFileUploadRequest QueryAuthRequest(const TUpgradeTarget& target, TFirmwareKind kind,
                                    const std::string& filePath, std::int64_t fileSize,
                                    const std::string& boundary);

/// Family 2: checks the file, then posts it to the camera. Success needs a 2xx answer without a
/// Location header; redirects are not followed and a 401 is not answered.
TUpgradeResult UploadQueryAuth(const TUpgradeTarget& target, TFirmwareKind kind,
                               const QString& path, const TUploadProgress& progress = {},
                               int timeoutMs = 60000);

/// Families 3 and 9: checks the file, then hands it to the client's firmware or web-UI upload.
TUpgradeResult UploadViaClient(IT517Series& client, const TUpgradeTarget& target,
                               TFirmwareKind kind, const QString& path,
                               const TUploadProgress& progress = {});

/// The upload the family takes (2: UploadQueryAuth, any other: UploadViaClient).
TUpgradeResult RunUpgradeUpload(IT517Series& client, const TUpgradeTarget& target,
                                TFirmwareKind kind, const QString& path,
                                const TUploadProgress& progress = {});

/// "http://" + host, followed by ":" + port unless the port is 80.
std::string UpgradeBaseUrl(const TUpgradeTarget& target);

} // namespace zadari
