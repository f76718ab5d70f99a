// The global error code: how a command or a file handler tells the host that the operation
// it is part of failed or is to be abandoned.
#pragma once

#include "base/PMTypes.h"

constexpr ErrorCode kCancel = 2;

namespace ErrorUtils {
void PMSetGlobalErrorCode(ErrorCode code);
ErrorCode PMGetGlobalErrorCode();
} // namespace ErrorUtils
