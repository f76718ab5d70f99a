#include "base/ErrorUtils.h"

namespace {
ErrorCode gGlobalError = kSuccess;
}

namespace ErrorUtils {
void PMSetGlobalErrorCode(ErrorCode code) {
    gGlobalError = code;
}
ErrorCode PMGetGlobalErrorCode() {
    return gGlobalError;
}
} // namespace ErrorUtils
