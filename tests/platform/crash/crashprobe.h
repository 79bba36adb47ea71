#pragma once

// Values the crash probe hands to its crash handler; the tests expect them
// back from the reporter.
inline constexpr char PROBE_UPLOAD_LOCATION[] = "ftp://127.0.0.1//KYLiveMgr//";
inline constexpr char PROBE_VERSION[] = "V1.0.0";
