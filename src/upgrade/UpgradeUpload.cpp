#include "upgrade/UpgradeUpload.h"

#include "access/SR_517.h"
#include "access/UploadBody.h"
#include "protocols/DevInfo.h"
#include "protocols/FamilyTable.h"

#include <QFile>

namespace zadari {

namespace {

bool PostsItsOwnForm(std::int32_t family) {
    const TFamilyRow* row = FindFamily(family);
    return row != nullptr && row->upgrade == TUpgradeKind::kQueryAuthForm;
}

} // namespace

const char* UpgradeMessageKey(TUpgradeResult result) {
    switch (result) {
    case TUpgradeResult::Success:
        return "IDS_UPGRADESUCC";
    case TUpgradeResult::BadFile:
        return "IDS_ERRFILE";
    case TUpgradeResult::Failed:
        break;
    }
    return "IDS_UPGRADEFAIL";
}

const char* UpgradeCaptionKey(TUpgradeResult result) {
    return result == TUpgradeResult::Success ? "IDS_INFORMATION" : "IDS_ERROR";
}

const char* UpgradeMessageEnglish(TUpgradeResult result) {
    switch (result) {
    case TUpgradeResult::Success:
        return "Upgrade success!";
    case TUpgradeResult::BadFile:
        return "The selected file is incorrect.";
    case TUpgradeResult::Failed:
        break;
    }
    return "Upgrade failed!";
}

bool CheckUpgradeFile(const QString& path, std::int32_t family, TFirmwareKind kind) {
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(4);
    if (head.size() < 4)
        return false;
    if (!PostsItsOwnForm(family))
        return true;
    if (kind == TFirmwareKind::SystemFirmware)
        return head == QByteArray("BNEG", 4);
    return head == QByteArray("\xBD\x9A\x0C\x44", 4);
}

std::string QueryAuthTarget(TFirmwareKind kind, const std::string& user,
                            const std::string& password) {
    std::string target =
        kind == TFirmwareKind::SystemFirmware ? "/upgrade_firmware.cgi" : "/upgrade_htmls.cgi";
    target += "?user=" + user + "&pwd=" + password + "&next_url=reboot.htm";
    return target;
}

TFileUploadRequest QueryAuthRequest(const TUpgradeTarget& target, TFirmwareKind kind,
                                    const std::string& filePath, std::int64_t fileSize,
                                    const std::string& boundary) {
    TFileUploadRequest request;
    request.host = target.host;
    request.port = static_cast<std::uint16_t>(target.port);
    request.target = SafeRequestTarget(QueryAuthTarget(kind, target.user, target.password));
    request.filePath = filePath;
    request.fileSize = fileSize;
    request.bodyHead =
        MultipartPartHead(boundary, "file", SafeFormFileName(filePath), "application/octet-stream");
    request.bodyTail = MultipartTail(boundary);
    request.headers = {
        "Content-Type: multipart/form-data; boundary=" + boundary,
        "Content-Length: " + std::to_string(request.BodySize()),
        "Host: " + HostHeaderValue(target.host, static_cast<unsigned>(target.port)),
        "Accept: text/html, */*",
        "User-Agent: Mozilla/3.0 (compatible; Indy Library)",
    };
    return request;
}

TUpgradeResult UploadQueryAuth(const TUpgradeTarget& target, TFirmwareKind kind,
                               const QString& path, const TUploadProgress& progress,
                               int timeoutMs) {
    if (!CheckUpgradeFile(path, target.family, kind))
        return TUpgradeResult::BadFile;
    if (target.port <= 0 || target.port > 65535)
        return TUpgradeResult::Failed;
    const std::string filePath = QFile::encodeName(path).toStdString();
    const std::int64_t size = FileSizeOf(filePath);
    if (size < 4)
        return TUpgradeResult::BadFile;
    TFileUploadRequest request =
        QueryAuthRequest(target, kind, filePath, size, MultipartBoundary(LocalBoundaryTime()));
    request.connectTimeoutMs = timeoutMs;
    request.silenceTimeoutMs = timeoutMs;
    const TUploadAnswer answer = UploadFileRequest(request, progress);
    const bool ok =
        answer.answered && answer.status >= 200 && answer.status <= 299 && !answer.hasLocation;
    return ok ? TUpgradeResult::Success : TUpgradeResult::Failed;
}

std::string UpgradeBaseUrl(const TUpgradeTarget& target) {
    return "http://" + HostHeaderValue(target.host, static_cast<unsigned>(target.port));
}

TUpgradeResult UploadViaClient(IT517Series& client, const TUpgradeTarget& target,
                               TFirmwareKind kind, const QString& path,
                               const TUploadProgress& progress) {
    if (!CheckUpgradeFile(path, target.family, kind))
        return TUpgradeResult::BadFile;
    const std::string base = UpgradeBaseUrl(target);
    const bool ok = kind == TFirmwareKind::SystemFirmware
                        ? client.UpgradeFirmware(base, target.user, target.password, path, progress)
                        : client.UpgradeWebUI(base, target.user, target.password, path, progress);
    return ok ? TUpgradeResult::Success : TUpgradeResult::Failed;
}

TUpgradeResult RunUpgradeUpload(IT517Series& client, const TUpgradeTarget& target,
                                TFirmwareKind kind, const QString& path,
                                const TUploadProgress& progress) {
    if (PostsItsOwnForm(target.family))
        return UploadQueryAuth(target, kind, path, progress);
    return UploadViaClient(client, target, kind, path, progress);
}

} // namespace zadari
