// The two messages the download workflow posts to the progress dialog, and the stage codes.
#pragma once

#include "platform/win32.h"

// A new stage: wParam 0, the stage code in lParam.
constexpr UINT WM_PROGRESS_MSG = WM_USER + 0x66;
// The download is over: the progress dialog ends. wParam and lParam 0.
constexpr UINT WM_PROGRESS_TERMINATE = WM_USER + 0x64;

enum ProgressStage : LPARAM {
  STAGE_CHECKING_PRINTER = 1,
  STAGE_REPAIRING = 3,
  STAGE_READING_CULTURE = 5,
  STAGE_DOWNLOADING = 6,
};
