// Basic value types of the host SDK.
#pragma once

#include <cstddef>
#include <cstdint>

using int16 = std::int16_t;
using int32 = std::int32_t;
using int64 = std::int64_t;
using uint16 = std::uint16_t;
using uint32 = std::uint32_t;
using uint64 = std::uint64_t;
using uchar = unsigned char;
using bool16 = std::int16_t;
using textchar = char16_t;

constexpr bool16 kTrue = 1;
constexpr bool16 kFalse = 0;
#define nil nullptr

using PMIID = uint32;
using ClassID = uint32;
using ImplementationID = uint32;
using ServiceID = uint32;
using PluginID = uint32;
using ActionID = uint32;
using WidgetID = uint32;

using ErrorCode = int32;
constexpr ErrorCode kSuccess = 0;
constexpr ErrorCode kFailure = 1;

constexpr ClassID kInvalidClass = 0;
constexpr PMIID kInvalidInterfaceID = 0;
