#pragma once
#include <cstdint>

// Result of every link, memory-service and engine operation: 0 success, 1..23 defined failures.
using TalkerStatus = int32_t;

inline constexpr TalkerStatus kTalkerOk = 0;
inline constexpr TalkerStatus kTalkerCommError = 1;
inline constexpr TalkerStatus kTalkerPortNotOpen = 2;
inline constexpr TalkerStatus kTalkerPortOpenFailed = 3;
inline constexpr TalkerStatus kTalkerFileOpenFailed = 4;
inline constexpr TalkerStatus kTalkerFileInvalid = 5;
inline constexpr TalkerStatus kTalkerTypeInvalid = 6;
inline constexpr TalkerStatus kTalkerFileReadFailed = 7;
inline constexpr TalkerStatus kTalkerMapFileFailed = 8;
inline constexpr TalkerStatus kTalkerS19ReadFailed = 9;
inline constexpr TalkerStatus kTalkerNoResponse = 10;
inline constexpr TalkerStatus kTalkerBadEcho = 11;
inline constexpr TalkerStatus kTalkerResetFailed = 12;
inline constexpr TalkerStatus kTalkerRegisterWriteFailed = 13;
inline constexpr TalkerStatus kTalkerSearchNotFound = 14;
inline constexpr TalkerStatus kTalkerEepromProgramFailed = 15;
inline constexpr TalkerStatus kTalkerS19OpenFailed = 16;
inline constexpr TalkerStatus kTalkerS19Invalid = 17;
inline constexpr TalkerStatus kTalkerS19Mismatch = 18;
inline constexpr TalkerStatus kTalkerBreakpointLimit = 19;
inline constexpr TalkerStatus kTalkerBreakpointExists = 20;
inline constexpr TalkerStatus kTalkerBreakpointNotFound = 21;
inline constexpr TalkerStatus kTalkerInvalidOpcode = 22;
inline constexpr TalkerStatus kTalkerTraceFailed = 23;

// The exact user-facing text of a status; "Unknown Error" outside 0..23.
const char* talkerStatusText(TalkerStatus status);
