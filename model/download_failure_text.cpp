#include "model/download_failure_text.h"

#include "model/window_texts.h"
#include "rules/player_message.h"
#include "rules/wide_text.h"

namespace patcher::model {

using namespace rules;

namespace {

std::wstring TransferReason(const DownloadFault& fault) {
    switch (fault.http) {
        case HttpError::HttpStatus:
            return kTextServerAnsweredLead + WidenUtf8(std::to_string(fault.status)) +
                   kTextServerAnsweredTail;
        case HttpError::NoConnection:
            return kTextReasonNoConnection;
        case HttpError::TlsFailure:
            return kTextReasonTls;
        case HttpError::Timeout:
            return kTextReasonTimeout;
        case HttpError::Truncated:
            return kTextReasonCut;
        default:
            return kTextReasonBadAnswer;
    }
}

std::wstring Reason(const DownloadFault& fault) {
    switch (fault.kind) {
        case DownloadFailure::Transfer:
            return TransferReason(fault);
        case DownloadFailure::ProxyAuth:
            return kTextReasonProxyAuth;
        case DownloadFailure::DiskFull:
            return kTextReasonDiskFull;
        case DownloadFailure::RefusedDestination:
            return kTextReasonRefused;
        case DownloadFailure::Mismatch:
            return kTextReasonMismatch;
        case DownloadFailure::None:
        case DownloadFailure::Local:
            break;
    }
    return kTextReasonLocal;
}

}  // namespace

std::wstring DownloadFailureHeadline(DownloadFailure kind) {
    switch (kind) {
        case DownloadFailure::Transfer:
            return kTextDownloadCut;
        case DownloadFailure::ProxyAuth:
            return WidenUtf8(ProxyAuthPlayerMessage());
        case DownloadFailure::DiskFull:
            return kTextDiskFilledUp;
        case DownloadFailure::RefusedDestination:
            return kTextFolderRefusesFile;
        case DownloadFailure::Mismatch:
            return kTextDownloadDoesNotMatch;
        case DownloadFailure::None:
        case DownloadFailure::Local:
            break;
    }
    return kTextDownloadNotSaved;
}

std::wstring DownloadFailureDetail(const DownloadFault& fault) {
    const std::wstring reason = Reason(fault);
    if (fault.path.empty()) return reason;
    return WidenUtf8(fault.path) + kTextDot + reason;
}

}  // namespace patcher::model
